#!/usr/bin/env node
// Runs the browser scenarios: each chosen browser against each chosen host build, one
// run after the other, printing every check and a closing line "N passed, N failed,
// N skipped". Exits 1 when any check failed.
//
//   node driver/run.js [--browsers chromium,firefox] [--hosts wine,native,installed]
//                      [--native PATH] [--exe PATH] [--scenarios a,b] [--keep] [--verbose]
'use strict';

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { ControlServer } = require('./lib/server');
const { NativeHost, WineHost, InstalledHost, PackagedHost } = require('./lib/hosts');
const { runOne } = require('./lib/suite');
const processes = require('./lib/processes');

const REPO = path.resolve(__dirname, '..', '..', '..');
const ALL_SCENARIOS = ['hello', 'order', 'big_reply', 'disconnect', 'settings', 'transfer', 'cancel', 'host_exit', 'open_file'];
// What the installed host must pass; the others need nothing that the install changes.
const INSTALLED_SCENARIOS = ['hello', 'settings', 'transfer'];

function parseArgs(argv) {
  const options = {
    browsers: ['chromium', 'firefox'],
    // The package job installs into the system: only as root and when asked for.
    hosts: ['wine', 'native', 'installed',
      ...(process.env.TESSIVA_BROWSER_DEB === '1' && process.getuid?.() === 0 ? ['deb'] : [])],
    native: process.env.TESSIVA_BROWSER_NATIVE || path.join(REPO, 'build', 'linux', 'tessiva'),
    exe: process.env.TESSIVA_BROWSER_EXE || path.join(REPO, 'build', 'windows', 'tessiva.exe'),
    wineState: process.env.TESSIVA_BROWSER_WINE_STATE || null,
    scenarios: ALL_SCENARIOS,
    keep: false,
    verbose: false,
    runTimeout: Number(process.env.TESSIVA_BROWSER_RUN_TIMEOUT || 150),
  };
  const list = (value) => value.split(',').map((s) => s.trim()).filter(Boolean);
  for (let i = 0; i < argv.length; i += 1) {
    const arg = argv[i];
    const value = () => {
      if (i + 1 >= argv.length) throw new Error(`${arg} needs a value`);
      i += 1;
      return argv[i];
    };
    switch (arg) {
      case '--browsers': options.browsers = list(value()); break;
      case '--hosts': options.hosts = list(value()); break;
      case '--native': options.native = value(); break;
      case '--exe': options.exe = value(); break;
      case '--wine-state': options.wineState = value(); break;
      case '--scenarios': options.scenarios = list(value()); break;
      case '--run-timeout': options.runTimeout = Number(value()); break;
      case '--keep': options.keep = true; break;
      case '--verbose': options.verbose = true; break;
      default: throw new Error(`unknown argument ${arg}`);
    }
  }
  for (const b of options.browsers) if (!['chromium', 'firefox'].includes(b)) throw new Error(`unknown browser ${b}`);
  for (const h of options.hosts) if (!['wine', 'native', 'installed', 'deb'].includes(h)) throw new Error(`unknown host ${h}`);
  for (const s of options.scenarios) if (!ALL_SCENARIOS.includes(s)) throw new Error(`unknown scenario ${s}`);
  options.wineState ||= path.join(path.dirname(path.resolve(options.exe)), 'browser-wine');
  return options;
}

function makeHost(kind, options, scratch) {
  if (kind === 'native') return new NativeHost(options.native);
  if (kind === 'installed') return new InstalledHost(options.native, path.join(scratch, 'installed-home'));
  if (kind === 'deb') return new PackagedHost(options.native, path.join(scratch, 'deb-home'), scratch);
  return new WineHost(options.exe, path.join(REPO, 'cmake', 'wine-run.sh'), options.wineState);
}

class Tally {
  constructor() {
    this.counts = { pass: 0, fail: 0, skip: 0 };
    this.failures = [];
  }

  add({ run, scenario, name, status, detail }) {
    const word = { pass: 'PASS', fail: 'FAIL', skip: 'SKIP' }[status] || 'FAIL';
    this.counts[status in this.counts ? status : 'fail'] += 1;
    const line = `${word} ${run} ${scenario}: ${name}${detail ? ` (${detail})` : ''}`;
    if (status === 'fail') this.failures.push(line);
    console.log(line);
  }
}

/**
 * `tessiva --uninstall`, after which neither browser finds the host and nothing of it is
 * left in the HOME but its settings, saved files and partial files.
 */
async function checkUninstall(host, options, scratch, tally, timings) {
  const run = `removal/${host.kind}`;
  const removed = await host.uninstall();
  tally.add({ run, scenario: 'uninstall', name: host.kind === 'deb' ? 'dpkg -r tessiva' : 'tessiva --uninstall', status: removed.ok ? 'pass' : 'fail', detail: removed.detail });
  for (const browser of options.browsers) {
    const result = await runOne({
      server: options.server, browser, host, scenarios: ['absent'], runDir: path.join(scratch, `${browser}-${host.kind}-removed`),
      timeoutMs: options.runTimeout * 1000, report: (check) => tally.add({ ...check, run: `${browser}/${host.kind}-removed` }), verbose: options.verbose,
    });
    timings.push(`${browser}/${host.kind}-removed ${(result.ms / 1000).toFixed(1)} s`);
  }
  const left = host.leftFiles();
  tally.add({ run, scenario: 'uninstall', name: host.kind === 'deb' ? 'no file of the package left' : 'nothing of the host left in the HOME', status: left.length === 0 ? 'pass' : 'fail',
    detail: left.length ? `left: ${left.join(', ')}` : '' });
}

async function main() {
  const options = parseArgs(process.argv.slice(2));
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tessiva-browser-'));
  const tally = new Tally();
  const server = new ControlServer();
  await server.start();
  options.server = server;
  const hosts = [];
  const timings = [];
  try {
    for (const kind of options.hosts) {
      const host = makeHost(kind, options, scratch);
      const exe = kind === 'wine' ? options.exe : options.native;
      if (!fs.existsSync(exe)) {
        tally.add({ run: `*/${kind}`, scenario: 'setup', name: 'host build exists', status: 'fail', detail: `${exe} is missing` });
        continue;
      }
      const warm = await host.warmUp(scratch);
      tally.add({ run: `pipe/${kind}`, scenario: 'setup', name: { installed: 'tessiva --install', deb: 'dpkg -i' }[kind] || 'host answers hello over a pipe',
        status: warm.ok ? 'pass' : 'fail', detail: `${warm.detail}, ${warm.ms} ms` });
      hosts.push(host);
      if (!warm.ok) continue;
      const scenarios = ['installed', 'deb'].includes(kind) ? options.scenarios.filter((n) => INSTALLED_SCENARIOS.includes(n)) : options.scenarios;
      for (const browser of options.browsers) {
        if (scenarios.length === 0) break;
        const runDir = path.join(scratch, `${browser}-${kind}`);
        const failuresBefore = tally.failures.length;
        const result = await runOne({
          server, browser, host, scenarios, runDir,
          timeoutMs: options.runTimeout * 1000, report: (check) => tally.add(check), verbose: options.verbose,
        });
        timings.push(`${browser}/${kind} ${(result.ms / 1000).toFixed(1)} s`);
        // A failed run shows how each host process of it ended and the tail of their
        // standard error (with --verbose the run's log has already shown it).
        if (tally.failures.length > failuresBefore && !options.verbose && result.hostReport.length) {
          console.log(`  host processes of ${browser}/${kind}:\n${result.hostReport.join('\n').split('\n').map((l) => `  ${l}`).join('\n')}`);
        }
      }
      if (['installed', 'deb'].includes(kind)) await checkUninstall(host, options, scratch, tally, timings);
    }
  } finally {
    for (const host of hosts) await host.stop();
    await server.stop();
    if (options.keep) console.log(`run folders kept in ${scratch}`);
    else fs.rmSync(scratch, { recursive: true, force: true });
  }
  if (timings.length) console.log(`runs: ${timings.join(', ')}`);
  for (const line of tally.failures) console.log(`failed: ${line}`);
  const { pass, fail, skip } = tally.counts;
  console.log(`${pass} passed, ${fail} failed, ${skip} skipped`);
  return fail === 0 && pass > 0 ? 0 : 1;
}

process.on('SIGINT', () => processes.endTracked().then(() => process.exit(130)));
process.on('SIGTERM', () => processes.endTracked().then(() => process.exit(143)));

main().then((code) => process.exit(code), (error) => {
  console.error(`browser tests: ${error.stack || error}`);
  console.log('0 passed, 1 failed, 0 skipped');
  process.exit(1);
});
