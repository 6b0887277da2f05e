// One browser run: a browser with the test extension, the host registered through the
// wrapper, the job handed to the extension, every check collected, and everything that
// the run started ended by PID, within a hard time limit.
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const { launchChromium, launchFirefox } = require('./browsers');
const processes = require('./processes');
const { verifyPattern } = require('./verify');
const { HOST_NAME } = require('./hosts');

const LAUNCHERS = { chromium: launchChromium, firefox: launchFirefox };

/**
 * Runs `scenarios` in `browser` against `host`. `report(check)` is called for every
 * check as it arrives; check = {run, scenario, name, status, detail}.
 */
async function runOne({ server, browser, host, scenarios, runDir, timeoutMs, extraJob = {}, report, verbose }) {
  const label = `${browser}/${host.kind}`;
  const logLines = [];
  const log = (text) => {
    logLines.push(text);
    if (verbose) console.log(`  [${label}] ${text}`);
  };
  const emit = (scenario, name, status, detail = '') => report({ run: label, scenario, name, status, detail });
  const finished = new Set();
  const doneAt = []; // [scenario, ms] in the order the scenarios finished
  const scenarioAt = (ms) => {
    const found = doneAt.find(([, at]) => at >= ms);
    if (found) return found[0];
    return scenarios.find((name) => !finished.has(name)) || 'the end of the run';
  };

  fs.mkdirSync(runDir, { recursive: true });
  const wrapper = host.prepareRun(runDir);
  const job = {
    host: HOST_NAME,
    platform: host.platform,
    scenarios,
    timeouts: host.timeouts,
    transfer: { size: 64 * 1024 * 1024, seed: 0x5eed, chunk: 4000000 },
    ...extraJob,
  };
  const session = server.session(job, {
    check: (body) => emit(body.scenario, body.name, body.status, body.detail),
    rpc: (op, args) => host.rpc(op, args, verifyPattern),
    log,
    scenarioDone: (name) => {
      finished.add(name);
      doneAt.push([name, Date.now()]);
    },
  });

  let handle = null;
  let hostReport = [];
  const started = Date.now();
  let timer = null;
  const deadline = new Promise((resolve) => {
    timer = setTimeout(() => resolve('timeout'), timeoutMs);
  });
  const launching = LAUNCHERS[browser]({
    runDir, wrapper, hostExe: host.exe, home: host.browserHome, settings: { server: server.url, token: session.token }, log,
    browserLog: (file) => { host.browserLog = file; },
  });
  launching.catch(() => {});
  try {
    handle = await Promise.race([
      launching,
      deadline.then(() => { throw new Error(`the browser did not start within ${timeoutMs / 1000} s`); }),
    ]);
    const startLimit = processes.sleep(60000).then(() => 'no-start');
    const first = await Promise.race([session.started.then(() => 'started'), handle.exited, deadline, startLimit]);
    if (first !== 'started') {
      const why = first === 'timeout' || first === 'no-start'
        ? 'the test extension never asked for its job (it did not load or could not reach the driver)' : first;
      emit('run', 'extension starts', 'fail', why);
    } else {
      log(`extension started after ${Date.now() - started} ms`);
      const end = await Promise.race([session.done.then(() => 'done'), handle.exited, deadline]);
      if (end !== 'done') {
        const why = end === 'timeout' ? `the run did not finish within ${timeoutMs / 1000} s` : end;
        for (const name of scenarios) {
          if (!finished.has(name)) emit(name, 'scenario finishes', 'fail', why);
        }
      }
    }
  } catch (error) {
    emit('run', 'browser starts', 'fail', error.message);
  } finally {
    clearTimeout(timer);
    // Every host process of the run must have ended by now (each scenario closed its
    // ports); whatever is left is reported and then ended.
    const left = await processes.waitGone(host.leftOver(), host.timeouts.exit);
    if (left.length === 0) emit('run', 'no host process left behind', 'pass');
    else emit('run', 'no host process left behind', 'fail', `still running: pid ${left.map((p) => p.pid).join(', ')}`);
    if (!handle) handle = await Promise.race([launching.catch(() => null), processes.sleep(15000).then(() => null)]);
    if (handle) await handle.close();
    for (const p of host.leftOver()) await processes.end(p.pid, p.start);
    server.close(session);
    hostReport = host.report(scenarioAt);
    if (hostReport.length) log(hostReport.join('\n'));
    fs.writeFileSync(path.join(runDir, 'driver.log'), logLines.join('\n'));
  }
  return { ms: Date.now() - started, log: logLines, hostReport };
}

module.exports = { runOne };
