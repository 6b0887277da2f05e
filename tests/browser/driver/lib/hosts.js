// The host under test, as the browser starts it. The native messaging manifest names a
// wrapper script that starts the host as its child, so that it can log the host's exit
// status; the child is a start script that writes its PID (which the host keeps, since
// every step execs the next) and arguments to a log, gives the host a private home or
// Wine prefix and execs it. The host's standard error goes to a file: Wine's helper
// processes inherit it and would otherwise keep the browser's pipe open.
'use strict';

const fs = require('node:fs');
const path = require('node:path');
const { spawn, execFile } = require('node:child_process');
const processes = require('./processes');

const HOST_NAME = 'com.orbelle.tessiva';

const quote = (text) => `'${String(text).replace(/'/g, "'\\''")}'`;

/** Files of unfinished transfers (".part") anywhere under `roots`, links not followed. */
function partialFiles(roots) {
  const found = [];
  const walk = (folder) => {
    let entries;
    try {
      entries = fs.readdirSync(folder, { withFileTypes: true });
    } catch {
      return;
    }
    for (const entry of entries) {
      const full = path.join(folder, entry.name);
      if (entry.isDirectory()) walk(full);
      else if (entry.isFile() && entry.name.endsWith('.part')) found.push(full);
    }
  };
  roots.forEach(walk);
  return found;
}

/**
 * The script that the browser starts: runs `start` as its child with the browser's pipes
 * and keeps none of them itself, so the browser sees the host's output end when the host
 * (and whatever inherited its handles) ends, as if the host had been started directly.
 * TERM, INT and HUP are passed on to the host. When the host ends, its PID, exit status
 * and start and end times (ms) go to `exits`, and a line to the standard error log.
 */
function wrapperScript(start, exits, stderr) {
  return [
    '#!/bin/sh',
    '# Native messaging host for one browser test run (written by the test driver).',
    `exec 3<&0 4>&1 </dev/null >/dev/null 2>> ${quote(stderr)}`,
    'started=$(date +%s%3N)',
    `${quote(start)} "$@" <&3 >&4 3<&- 4>&- &`,
    'host=$!',
    'exec 3<&- 4>&-',
    `trap 'kill -s TERM "$host" 2>/dev/null' TERM INT HUP`,
    'wait "$host"; status=$?',
    '# A trapped signal ends "wait" early (status over 128): wait again until the host has',
    '# really ended and been reaped.',
    'while [ "$status" -gt 128 ] && kill -0 "$host" 2>/dev/null; do wait "$host"; status=$?; done',
    'ended=$(date +%s%3N)',
    `echo "$host $status $started $ended" >> ${quote(exits)}`,
    'echo "host-wrapper: host pid $host exited with status $status at $(date +%T.%3N)" >&2',
    'exit "$status"',
    '',
  ].join('\n');
}

class HostUnderTest {
  constructor(kind, exe) {
    this.kind = kind;
    this.exe = path.resolve(exe);
    this.pidsLog = null;
    this.known = new Map(); // pid -> start time, as first seen
  }

  /** Sets up one browser run's wrapper in `runDir`; returns the wrapper's path. */
  prepareRun(runDir) {
    this.runDir = runDir;
    this.pidsLog = path.join(runDir, 'host-pids.log');
    this.stderrLog = path.join(runDir, 'host-stderr.log');
    fs.writeFileSync(this.pidsLog, '');
    this.sources = path.join(runDir, 'sources');
    fs.mkdirSync(this.sources, { recursive: true });
    this.sourceCount = 0;
    this.madeSources = new Map();
    this.known.clear();
    this.exitsLog = path.join(runDir, 'host-exits.log');
    fs.writeFileSync(this.exitsLog, '');
    const start = path.join(runDir, 'host-start.sh');
    fs.writeFileSync(start, [
      '#!/bin/sh',
      '# Starts the host for one browser test run (written by the test driver).',
      `echo "$$ $*" >> ${quote(this.pidsLog)}`,
      ...this.startLines(),
      '',
    ].join('\n'), { mode: 0o755 });
    const wrapper = path.join(runDir, 'host-wrapper.sh');
    fs.writeFileSync(wrapper, wrapperScript(start, this.exitsLog, this.stderrLog), { mode: 0o755 });
    return wrapper;
  }

  /** The host processes that the wrapper reported, from line `mark` of the log on. */
  pidsSince(mark) {
    const lines = fs.readFileSync(this.pidsLog, 'utf8').split('\n').filter(Boolean);
    return lines.slice(mark).map((line) => {
      const [pid, ...args] = line.split(' ');
      const number = Number(pid);
      if (!this.known.has(number)) {
        this.known.set(number, processes.startTime(number));
        processes.track(number, this.known.get(number));
      }
      return { pid: number, start: this.known.get(number), args: args.join(' ') };
    });
  }

  mark() {
    return fs.readFileSync(this.pidsLog, 'utf8').split('\n').filter(Boolean).length;
  }

  /** Every host process of this run that still runs. */
  leftOver() {
    this.pidsSince(0);
    return [...this.known].filter(([pid, start]) => processes.alive(pid, start)).map(([pid, start]) => ({ pid, start }));
  }

  stderrText() {
    try {
      return fs.readFileSync(this.stderrLog, 'utf8');
    } catch {
      return '';
    }
  }

  /** The host processes of this run that have ended: [{pid, status, started, ended}]. */
  exits() {
    let text = '';
    try { text = fs.readFileSync(this.exitsLog, 'utf8'); } catch { /* no run yet */ }
    return text.split('\n').filter(Boolean).map((line) => {
      const [pid, status, started, ended] = line.split(' ').map(Number);
      return { pid, status, started, ended };
    });
  }

  /**
   * What to show when a run failed: every host process of the run with the scenario that
   * ran when it started (`scenarioAt(ms)`) and its exit status, and the tail of the
   * hosts' standard error.
   */
  report(scenarioAt) {
    const ended = new Map(this.exits().map((e) => [e.pid, e]));
    const lines = [];
    for (const { pid, start, args } of this.pidsSince(0)) {
      const exit = ended.get(pid);
      let how;
      if (exit) how = `started during ${scenarioAt(exit.started)}, exited with status ${exit.status} after ${exit.ended - exit.started} ms`;
      else if (processes.alive(pid, start)) how = 'is still running';
      else how = 'has ended, status unknown (its wrapper was ended first)';
      lines.push(`host pid ${pid} ${how} (${args})`);
    }
    const stderr = this.stderrText().trimEnd().split('\n');
    const tail = stderr.slice(-40).join('\n').slice(-4000);
    if (tail.trim()) lines.push(`host standard error (${stderr.length > 40 ? 'last 40 lines' : 'all'}):`, tail);
    return lines;
  }

  /** A fresh file for "open_file": {id, path as the host names it}. */
  async makeSource() {
    this.sourceCount += 1;
    const local = path.join(this.sources, `source-${this.sourceCount}.txt`);
    const content = `report ${this.sourceCount} written at ${new Date().toISOString()}\n`.repeat(100);
    fs.writeFileSync(local, content);
    const id = String(this.sourceCount);
    this.madeSources.set(id, { local, content });
    return { id, path: await this.hostPath(local) };
  }

  /** Answers one /rpc request of the extension. */
  async rpc(op, args, verifyPattern) {
    switch (op) {
      case 'host_mark':
        return this.mark();
      case 'host_pids_since':
        return this.pidsSince(args.mark);
      case 'host_gone': {
        const started = Date.now();
        const left = await processes.waitGone(args.pids, args.timeout_ms);
        return { left: left.map((p) => p.pid), ms: Date.now() - started };
      }
      case 'partial_files':
        return partialFiles(this.stateRoots());
      case 'signal_host': {
        // Only a host process of this run, and only the signals the scenarios need.
        this.pidsSince(0);
        if (!this.known.has(args.pid) || !processes.alive(args.pid, this.known.get(args.pid))) {
          throw new Error(`pid ${args.pid} is not a running host process of this run`);
        }
        if (!['SIGSTOP', 'SIGKILL'].includes(args.signal)) throw new Error(`signal ${args.signal} is not allowed`);
        process.kill(args.pid, args.signal);
        return {};
      }
      case 'make_source':
        return this.makeSource();
      case 'verify_source': {
        const source = this.madeSources.get(args.id);
        const saved = await this.localPath(args.path);
        let content;
        try {
          content = fs.readFileSync(saved, 'utf8');
        } catch (error) {
          return { ok: false, detail: `cannot read ${saved}: ${error.message}` };
        }
        if (content !== source.content) return { ok: false, detail: `${saved} does not hold the source's text` };
        if (fs.existsSync(source.local)) return { ok: false, detail: `the source ${source.local} is still there` };
        return { ok: true, detail: saved };
      }
      case 'verify_pattern':
        return verifyPattern(await this.localPath(args.path), args.size, args.seed);
      case 'remove_saved': {
        const saved = await this.localPath(args.path);
        const size = fs.statSync(saved).size;
        fs.rmSync(saved);
        if (size !== args.size) throw new Error(`saved file has ${size} bytes, want ${args.size}`);
        return {};
      }
      default:
        throw new Error(`unknown rpc ${op}`);
    }
  }
}

/** The native build: a private HOME per run, no XDG variables. */
class NativeHost extends HostUnderTest {
  constructor(exe) {
    super('native', exe);
    this.platform = 'linux';
    this.timeouts = { first: 10000, reply: 10000, exit: 10000 };
  }

  prepareRun(runDir) {
    this.home = path.join(runDir, 'host-home');
    fs.mkdirSync(this.home, { recursive: true });
    return super.prepareRun(runDir);
  }

  startLines() {
    return [
      `HOME=${quote(this.home)}; export HOME`,
      'unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_DOCUMENTS_DIR XDG_CACHE_HOME',
      `exec ${quote(this.exe)} "$@"`,
    ];
  }

  stateRoots() { return [this.home]; }

  // The host checks "source_path" by the Windows rules, which no POSIX path passes. A
  // path that begins with two slashes names the same file on Linux and has the form of
  // a UNC path ("//server/share/..."), so the native build accepts it.
  async hostPath(local) { return `/${local}`; }
  async localPath(hostPath) { return hostPath; }
  async stop() {}

  /** Checks, outside any browser, that the host answers at all. */
  async warmUp(scratch) {
    const home = path.join(scratch, 'native-warm-up-home');
    fs.mkdirSync(home, { recursive: true });
    return helloOverPipe(this.exe, ['chrome-extension://warm-up/'], { ...process.env, HOME: home }, 15000, this.platform,
      path.join(scratch, 'native-warm-up-stderr.log'));
  }
}

/**
 * The native build as a user gets it: `tessiva --install` into a private HOME writes
 * the program and the browsers' manifests there, and the browsers, started with that
 * HOME, find the host through them; no wrapper and no manifest of the tests. Without a
 * wrapper nothing reports the host processes, so they are found by their program file
 * (/proc/PID/exe), and their standard error is the browser's, which the launcher writes
 * to the run's browser log; their exit status is not seen.
 */
class InstalledHost extends HostUnderTest {
  constructor(exe, home) {
    super('installed', exe);
    this.platform = 'linux';
    this.timeouts = { first: 10000, reply: 10000, exit: 10000 };
    this.browserHome = path.resolve(home);
    this.program = path.join(this.browserHome, '.local', 'lib', 'tessiva', 'tessiva');
    this.seen = [];
    this.ended = new Map(); // pid -> time it was first seen gone
    this.poller = null;
  }

  /** The environment of the installer and of the browsers: the private HOME only. */
  userEnv() {
    const env = { ...process.env, HOME: this.browserHome, XDG_CONFIG_HOME: path.join(this.browserHome, '.config') };
    for (const name of ['XDG_DATA_HOME', 'XDG_CACHE_HOME', 'XDG_DOCUMENTS_DIR']) delete env[name];
    return env;
  }

  /** Runs the build with `args` in the private HOME: {status, output}. */
  runBuild(args) {
    return new Promise((resolve) => {
      execFile(this.exe, args, { env: this.userEnv(), timeout: 30000 }, (error, stdout, stderr) => {
        const status = error ? (typeof error.code === 'number' ? error.code : String(error.code || error.signal)) : 0;
        resolve({ status, output: `${stdout}${stderr}`.trim() });
      });
    });
  }

  /** `tessiva --install --quiet`, then the files a user gets must be there. */
  async warmUp() {
    const started = Date.now();
    fs.mkdirSync(path.join(this.browserHome, '.config'), { recursive: true });
    const { status, output } = await this.runBuild(['--install', '--quiet']);
    const missing = this.installedFiles().filter((file) => !fs.existsSync(file));
    const ok = status === 0 && missing.length === 0;
    const detail = ok ? `installed into ${this.browserHome}`
      : `--install exited with ${status}${missing.length ? `, missing ${missing.join(', ')}` : ''}${output ? `: ${output.slice(-2000)}` : ''}`;
    return { ok, detail, ms: Date.now() - started };
  }

  /** The program and the manifests that Chromium and Firefox read. */
  installedFiles() {
    return [
      this.program,
      path.join(this.browserHome, '.config', 'chromium', 'NativeMessagingHosts', `${HOST_NAME}.json`),
      path.join(this.browserHome, '.mozilla', 'native-messaging-hosts', `${HOST_NAME}.json`),
    ];
  }

  /** `tessiva --uninstall --quiet`: {ok, detail}. */
  async uninstall() {
    const { status, output } = await this.runBuild(['--uninstall', '--quiet']);
    return { ok: status === 0, detail: `exited with ${status}${output ? `: ${output.slice(-2000)}` : ''}` };
  }

  /**
   * What is left under the HOME that belongs to the host, other than its settings,
   * saved files, partial files and troubleshooting log: anything named after it, and
   * its manifests.
   */
  leftFiles() {
    const kept = [
      path.join(this.browserHome, '.config', 'tessiva'),
      path.join(this.browserHome, '.cache', 'tessiva'),
      path.join(this.browserHome, '.local', 'state', 'tessiva'),
      path.join(this.browserHome, 'Documents'),
    ];
    const found = [];
    const walk = (folder) => {
      let entries;
      try { entries = fs.readdirSync(folder, { withFileTypes: true }); } catch { return; }
      for (const entry of entries) {
        const full = path.join(folder, entry.name);
        if (kept.includes(full)) continue;
        if (/tessiva/i.test(entry.name)) found.push(full);
        else if (entry.isDirectory()) walk(full);
      }
    };
    walk(this.browserHome);
    return found;
  }

  prepareRun(runDir) {
    this.runDir = runDir;
    this.sources = path.join(runDir, 'sources');
    fs.mkdirSync(this.sources, { recursive: true });
    this.sourceCount = 0;
    this.madeSources = new Map();
    this.seen = [];
    this.ended.clear();
    this.known.clear();
    this.browserLog = null;
    clearInterval(this.poller);
    // Notes when each host process ends, for the report of a failed run.
    this.poller = setInterval(() => this.scan(), 100);
    this.poller.unref();
    return null;
  }

  /** Adds the host processes running now to those seen, in the order first seen. */
  scan() {
    const now = Date.now();
    for (const p of processes.runningProgram(this.program)) {
      if (this.known.has(p.pid) && this.known.get(p.pid) === p.start) continue;
      this.known.set(p.pid, p.start);
      processes.track(p.pid, p.start);
      this.seen.push({ ...p, seenAt: now });
    }
    for (const p of this.seen) {
      if (!this.ended.has(p.pid) && !processes.alive(p.pid, p.start)) this.ended.set(p.pid, now);
    }
  }

  mark() {
    this.scan();
    return this.seen.length;
  }

  pidsSince(mark) {
    this.scan();
    return this.seen.slice(mark).map(({ pid, start, args }) => ({ pid, start, args }));
  }

  leftOver() {
    this.scan();
    return this.seen.filter((p) => processes.alive(p.pid, p.start)).map(({ pid, start }) => ({ pid, start }));
  }

  report(scenarioAt) {
    this.scan();
    clearInterval(this.poller);
    const lines = [];
    for (const p of this.seen) {
      const gone = this.ended.get(p.pid);
      const how = gone ? `ended about ${gone - p.seenAt} ms after it was first seen (exit status not seen without a wrapper)`
        : processes.alive(p.pid, p.start) ? 'is still running' : 'has ended';
      lines.push(`host pid ${p.pid} first seen during ${scenarioAt(p.seenAt)}, ${how} (${p.args})`);
    }
    let text = '';
    try { text = fs.readFileSync(this.browserLog, 'utf8'); } catch { /* no log */ }
    // Chromium's complaints about a missing session bus would hide the host's lines.
    const tail = text.trimEnd().split('\n').filter((line) => !line.includes(':ERROR:dbus/'))
      .slice(-40).join('\n').slice(-4000);
    if (tail.trim()) lines.push(`browser and host standard error (${this.browserLog}, last lines):`, tail);
    return lines;
  }

  stateRoots() { return [this.browserHome]; }
  async hostPath(local) { return `/${local}`; }
  async localPath(hostPath) { return hostPath; }
  async stop() { clearInterval(this.poller); }
}

/**
 * The Debian package as CPack builds it from the native build's folder, installed with
 * `dpkg -i`: the browsers, with a private HOME, find the host through the system-wide
 * manifests. `dpkg -r tessiva` must then leave none of the package's files, and no
 * folder that only the package had made.
 */
class PackagedHost extends InstalledHost {
  constructor(exe, home, scratch) {
    super(exe, home);
    this.kind = 'deb';
    this.program = '/usr/lib/tessiva/tessiva';
    this.work = path.join(scratch, 'deb');
    this.listed = [];
    this.before = new Set(); // listed paths that existed before the package was installed
  }

  command(program, args, timeout = 120000) {
    return new Promise((resolve) => {
      execFile(program, args, { timeout, maxBuffer: 16 << 20 }, (error, stdout, stderr) => {
        const status = error ? (typeof error.code === 'number' ? error.code : String(error.code || error.signal)) : 0;
        resolve({ status, stdout, output: `${stdout}${stderr}`.trim() });
      });
    });
  }

  async warmUp() {
    const started = Date.now();
    const failed = (detail) => ({ ok: false, detail, ms: Date.now() - started });
    processes.onInterrupt(() => this.stop());
    // A package that this run did not install is left alone.
    if ((await this.command('dpkg-query', ['-W', 'tessiva'])).status === 0) return failed('tessiva is already installed');
    fs.mkdirSync(this.work, { recursive: true });
    const buildDir = path.dirname(this.exe);
    if (!fs.existsSync(path.join(buildDir, 'CPackConfig.cmake'))) return failed(`${buildDir} is not a CMake build folder`);
    // The package also takes files that only the build's default target makes.
    const made = await this.command('cmake', ['--build', buildDir, '--target', 'tessiva', 'tessiva_package_files'], 600000);
    if (made.status !== 0) return failed(`building the package's files failed: ${made.output.slice(-2000)}`);
    const built = await this.command('cpack', ['-G', 'DEB', '-B', this.work, '--config', path.join(buildDir, 'CPackConfig.cmake')], 300000);
    const debs = fs.existsSync(this.work) ? fs.readdirSync(this.work).filter((n) => /^tessiva_.*\.deb$/.test(n)) : [];
    if (built.status !== 0 || debs.length !== 1) return failed(`cpack exited with ${built.status}: ${built.output.slice(-2000)}`);
    const deb = path.join(this.work, debs[0]);
    const contents = await this.command('dpkg-deb', ['-c', deb]);
    for (const line of contents.stdout.split('\n').filter(Boolean)) {
      const listed = line.split(/\s+/).slice(5).join(' ').replace(/ -> .*$/, '').replace(/^\./, '').replace(/\/$/, '');
      if (listed && fs.existsSync(listed)) this.before.add(listed);
    }
    const installed = await this.command('dpkg', ['-i', deb]);
    if (installed.status !== 0) return failed(`dpkg -i exited with ${installed.status}: ${installed.output.slice(-2000)}`);
    this.listed = (await this.command('dpkg', ['-L', 'tessiva'])).stdout.split('\n').filter((l) => l.startsWith('/'));
    const missing = this.installedFiles().filter((file) => !fs.existsSync(file));
    if (missing.length) return failed(`installed, but missing ${missing.join(', ')}`);
    fs.mkdirSync(path.join(this.browserHome, '.config'), { recursive: true });
    return { ok: true, detail: `${debs[0]} installed, ${this.listed.length} paths`, ms: Date.now() - started };
  }

  installedFiles() {
    return [
      this.program,
      `/etc/chromium/native-messaging-hosts/${HOST_NAME}.json`,
      `/usr/lib/mozilla/native-messaging-hosts/${HOST_NAME}.json`,
    ];
  }

  async uninstall() {
    const { status, output } = await this.command('dpkg', ['-r', 'tessiva']);
    return { ok: status === 0, detail: `dpkg -r tessiva exited with ${status}${status ? `: ${output.slice(-2000)}` : ''}` };
  }

  /** Listed paths still there: any file or link, and folders that were not there before. */
  leftFiles() {
    return this.listed.filter((listed) => {
      let info;
      try { info = fs.lstatSync(listed); } catch { return false; }
      return !info.isDirectory() || !this.before.has(listed);
    });
  }

  /** Removes the package when an interrupted run left it installed. */
  async stop() {
    await super.stop();
    if (this.listed.length && (await this.command('dpkg-query', ['-W', 'tessiva'])).status === 0) {
      await this.command('dpkg', ['-r', 'tessiva']);
    }
  }
}

/** tessiva.exe under Wine, in the tests' own prefix (TESSIVA_WINE_STATE). */
class WineHost extends HostUnderTest {
  constructor(exe, runner, state) {
    super('wine', exe);
    this.runner = path.resolve(runner);
    this.state = path.resolve(state);
    this.platform = 'windows';
    this.timeouts = { first: 30000, reply: 20000, exit: 10000 };
    this.env = {
      ...process.env,
      WINEPREFIX: path.join(this.state, 'prefix'),
      HOME: path.join(this.state, 'home'),
      WINEDEBUG: '-all',
      LC_ALL: 'C.UTF-8',
      WINEDLLOVERRIDES: 'mscoree,mshtml=',
      WINEARCH: 'win64',
    };
  }

  startLines() {
    return [
      `TESSIVA_WINE_STATE=${quote(this.state)}; export TESSIVA_WINE_STATE`,
      'TESSIVA_WINE_PERSIST=forever; export TESSIVA_WINE_PERSIST',
      `exec ${quote(this.runner)} ${quote(this.exe)} "$@"`,
    ];
  }

  prepareRun(runDir) {
    this.clearAppState();
    return super.prepareRun(runDir);
  }

  /** Removes what the host stored in the prefix, so that each run starts afresh. */
  clearAppState() {
    const users = path.join(this.state, 'prefix', 'drive_c', 'users');
    let names = [];
    try { names = fs.readdirSync(users); } catch { /* no prefix yet */ }
    for (const user of names) {
      for (const sub of [['AppData', 'Roaming'], ['AppData', 'Local'], ['Documents']]) {
        fs.rmSync(path.join(users, user, ...sub, 'Tessiva'), { recursive: true, force: true });
      }
    }
    fs.rmSync(path.join(this.state, 'home', 'Tessiva'), { recursive: true, force: true });
  }

  stateRoots() {
    return [path.join(this.state, 'prefix', 'drive_c', 'users'), path.join(this.state, 'home')];
  }

  winepath(flag, value) {
    return new Promise((resolve, reject) => {
      execFile('winepath', [flag, value], { env: this.env, timeout: 20000 }, (error, stdout) => {
        if (error) reject(new Error(`winepath ${flag} ${value}: ${error.message}`));
        else resolve(stdout.replace(/\r?\n$/, ''));
      });
    });
  }

  hostPath(local) { return this.winepath('-w', local); }
  localPath(hostPath) { return this.winepath('-u', hostPath); }

  /**
   * The first start may create the prefix (a minute on a small machine). The prefix's
   * wineserver, started by this warm-up, stays until stop() ends it: a server that ended
   * between two hosts of a run would be replaced by one that Wine starts by itself,
   * which ends whenever no program runs, so that every later host would start against
   * a server that may be shutting down. A server left by an earlier run, which may have
   * a time limit, is stopped first.
   */
  async warmUp(scratch) {
    processes.onInterrupt(() => this.stop());
    fs.mkdirSync(this.state, { recursive: true });
    if (fs.existsSync(path.join(this.state, 'prefix'))) await this.stop();
    this.clearAppState();
    const env = { ...process.env, TESSIVA_WINE_STATE: this.state, TESSIVA_WINE_PERSIST: 'forever' };
    const fresh = !fs.existsSync(path.join(this.state, 'prefix', '.tessiva-ready'));
    return helloOverPipe(this.runner, [this.exe, 'chrome-extension://warm-up/'], env, fresh ? 240000 : 60000, this.platform,
      path.join(scratch, 'wine-warm-up-stderr.log'));
  }

  /** Stops the prefix's wineserver and with it every Wine process of the prefix. */
  async stop() {
    await new Promise((resolve) => {
      execFile('wineserver', ['-k'], { env: this.env, timeout: 20000 }, () => resolve());
    });
  }
}

/**
 * Starts `program` with `args`, sends one "hello" frame and reads the reply, outside any
 * browser: tells apart a host that does not work at all from a browser problem. The
 * host's standard error goes to `stderrLog`; when the host fails, its tail is part of
 * the detail.
 */
function helloOverPipe(program, args, env, timeoutMs, platform, stderrLog) {
  return new Promise((resolve) => {
    const started = Date.now();
    const stderr = fs.openSync(stderrLog, 'w');
    const child = spawn(program, args, { env, stdio: ['pipe', 'pipe', stderr] });
    fs.closeSync(stderr);
    const pid = child.pid;
    const start = processes.startTime(pid);
    processes.track(pid, start);
    let output = Buffer.alloc(0);
    let settled = false;
    const finish = (ok, detail) => {
      if (settled) return;
      settled = true;
      clearTimeout(timer);
      child.stdin.end();
      processes.waitGone([{ pid, start }], 10000).then((left) => {
        if (left.length > 0) processes.end(pid, start);
        let tail = '';
        if (!ok) {
          try { tail = fs.readFileSync(stderrLog, 'utf8').trimEnd().split('\n').slice(-20).join('\n'); } catch { /* none */ }
        }
        resolve({ ok, detail: tail ? `${detail}; its standard error ends:\n${tail}` : detail, ms: Date.now() - started });
      });
    };
    const timer = setTimeout(() => finish(false, `no reply to "hello" over a pipe within ${timeoutMs / 1000} s`), timeoutMs);
    child.on('error', (error) => finish(false, `cannot start ${program}: ${error.message}`));
    child.on('exit', (code, signal) => finish(false, `the host exited with ${signal ? `signal ${signal}` : `code ${code}`} before answering "hello"`));
    child.stdout.on('data', (part) => {
      output = Buffer.concat([output, part]);
      if (output.length >= 4 && output.length >= 4 + output.readUInt32LE(0)) {
        const text = output.subarray(4, 4 + output.readUInt32LE(0)).toString('utf8');
        const want = `{"id":1,"ok":true,"result":{"host_version":"0.1.0","platform":"${platform}","protocol":1}}`;
        finish(text === want, text === want ? 'answers "hello"' : `answered ${text.slice(0, 200)}`);
      }
    });
    const body = Buffer.from('{"type":"hello","id":1}');
    const frame = Buffer.alloc(4);
    frame.writeUInt32LE(body.length);
    child.stdin.on('error', () => {});
    child.stdin.write(Buffer.concat([frame, body]));
  });
}

module.exports = { HOST_NAME, NativeHost, WineHost, InstalledHost, PackagedHost };
