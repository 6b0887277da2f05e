// Processes by PID: whether one still runs, ending one, and the children of this
// driver. Nothing here matches processes by name: only PIDs that this run started
// (or that the wrapper it wrote reported) are ever signalled.
'use strict';

const fs = require('node:fs');

/** The fields of /proc/PID/stat after the command name, or null when PID is gone. */
function stat(pid) {
  let text;
  try {
    text = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
  } catch {
    return null;
  }
  // The command name is in parentheses and may itself hold spaces and parentheses.
  const fields = text.slice(text.lastIndexOf(')') + 2).split(' ');
  return { state: fields[0], ppid: Number(fields[1]), start: fields[19] };
}

/** The start time of PID (clock ticks since boot), or null when it is not running. */
function startTime(pid) {
  const s = stat(pid);
  return s && !'ZX'.includes(s.state) ? s.start : null;
}

/**
 * True while the process that had `start` as its start time runs. A zombie counts as
 * ended, and so does a different process that got the same PID later.
 */
function alive(pid, start) {
  const s = stat(pid);
  if (s === null || 'ZX'.includes(s.state)) return false;
  return start === null || start === undefined || s.start === start;
}

function cmdline(pid) {
  try {
    return fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0').filter(Boolean);
  } catch {
    return [];
  }
}

/** Direct children of `parent` whose command line contains `marker`. */
function childrenWith(parent, marker) {
  const found = [];
  for (const name of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    const s = stat(name);
    if (s && s.ppid === parent && cmdline(name).some((arg) => arg.includes(marker))) found.push(Number(name));
  }
  return found;
}

/**
 * Every running process whose program is the file `exe` (also after that file was
 * replaced or removed), as [{pid, start, args}]. Only used for a program path that
 * belongs to the run, so nothing else can match.
 */
function runningProgram(exe) {
  const found = [];
  for (const name of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(name)) continue;
    let target;
    try {
      target = fs.readlinkSync(`/proc/${name}/exe`);
    } catch {
      continue;
    }
    if (target !== exe && target !== `${exe} (deleted)`) continue;
    const start = startTime(name);
    if (start !== null) found.push({ pid: Number(name), start, args: cmdline(name).slice(1).join(' ') });
  }
  return found;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

/** Waits until every {pid, start} has ended or `timeoutMs` passed; returns those left. */
async function waitGone(processes, timeoutMs) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    const left = processes.filter((p) => alive(p.pid, p.start));
    if (left.length === 0 || Date.now() >= deadline) return left;
    await sleep(25);
  }
}

/** Ends the process: SIGTERM, then SIGKILL after `graceMs`. */
async function end(pid, start, graceMs = 3000) {
  if (!alive(pid, start)) return true;
  try { process.kill(pid, 'SIGTERM'); } catch { return true; }
  if ((await waitGone([{ pid, start }], graceMs)).length === 0) return true;
  try { process.kill(pid, 'SIGKILL'); } catch { return true; }
  return (await waitGone([{ pid, start }], 2000)).length === 0;
}

// Everything this run started, so that an interrupted run (SIGINT, SIGTERM) can still
// end it by PID, and the cleanups (such as stopping a Wine prefix's server) to run then.
const tracked = new Map();
const cleanups = new Set();

function track(pid, start) { tracked.set(pid, start); }
function onInterrupt(cleanup) { cleanups.add(cleanup); return () => cleanups.delete(cleanup); }

async function endTracked() {
  for (const [pid, start] of tracked) {
    if (alive(pid, start)) {
      try { process.kill(pid, 'SIGKILL'); } catch { /* already gone */ }
    }
  }
  for (const cleanup of cleanups) {
    try { await cleanup(); } catch { /* best effort while exiting */ }
  }
}

module.exports = { alive, startTime, childrenWith, runningProgram, waitGone, end, sleep, track, onInterrupt, endTracked };
