#!/usr/bin/env node
// Measures through Chromium, for tessiva.exe under Wine and for the native build: the
// time from connectNative to the "hello" reply (each with a new host process), the rate
// of one large chunked transfer by the hand-written chunk loop, and the rate of the
// client's saveFile of a Blob of the same size.
//
//   node driver/bench.js [--hosts wine,native] [--native PATH] [--exe PATH]
//                        [--connections N] [--size MIB] [--chunk MIB] [--window N] [--rounds N]
'use strict';

const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { ControlServer } = require('./lib/server');
const { NativeHost, WineHost } = require('./lib/hosts');
const { runOne } = require('./lib/suite');
const processes = require('./lib/processes');

const REPO = path.resolve(__dirname, '..', '..', '..');
const MIB = 1024 * 1024;

function parseArgs(argv) {
  const options = {
    hosts: ['wine', 'native'],
    native: process.env.TESSIVA_BROWSER_NATIVE || path.join(REPO, 'build', 'linux', 'tessiva'),
    exe: process.env.TESSIVA_BROWSER_EXE || path.join(REPO, 'build', 'windows', 'tessiva.exe'),
    wineState: process.env.TESSIVA_BROWSER_WINE_STATE || null,
    connections: 20,
    size: 256,
    chunk: 8,
    window: 2,
    rounds: 3,
  };
  for (let i = 0; i < argv.length; i += 1) {
    const arg = argv[i];
    const value = argv[i + 1];
    if (value === undefined) throw new Error(`${arg} needs a value`);
    i += 1;
    switch (arg) {
      case '--hosts': options.hosts = value.split(','); break;
      case '--native': options.native = value; break;
      case '--exe': options.exe = value; break;
      case '--wine-state': options.wineState = value; break;
      case '--connections': options.connections = Number(value); break;
      case '--size': options.size = Number(value); break;
      case '--chunk': options.chunk = Number(value); break;
      case '--window': options.window = Number(value); break;
      case '--rounds': options.rounds = Number(value); break;
      default: throw new Error(`unknown argument ${arg}`);
    }
  }
  // A chunk's base64 text (4/3 of its bytes, plus the envelope) must fit in one 16 MiB frame.
  if (!(options.chunk > 0 && options.chunk <= 12)) throw new Error('--chunk must be from 0 to 12 MiB');
  options.wineState ||= path.join(path.dirname(path.resolve(options.exe)), 'browser-wine');
  return options;
}

function summary(values) {
  const sorted = [...values].sort((a, b) => a - b);
  const median = sorted[Math.floor(sorted.length / 2)];
  return `first ${values[0].toFixed(1)} ms, median ${median.toFixed(1)} ms, min ${sorted[0].toFixed(1)} ms, `
    + `max ${sorted[sorted.length - 1].toFixed(1)} ms over ${values.length} connections`;
}

async function main() {
  const options = parseArgs(process.argv.slice(2));
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'tessiva-bench-'));
  const server = new ControlServer();
  await server.start();
  const lines = [];
  let failed = false;
  try {
    for (const kind of options.hosts) {
      const host = kind === 'native' ? new NativeHost(options.native)
        : new WineHost(options.exe, path.join(REPO, 'cmake', 'wine-run.sh'), options.wineState);
      const warm = await host.warmUp(scratch);
      if (!warm.ok) {
        lines.push(`${kind}: the host does not work: ${warm.detail}`);
        failed = true;
        continue;
      }
      const results = {};
      await runOne({
        server, browser: 'chromium', host, scenarios: ['bench'], runDir: path.join(scratch, kind),
        timeoutMs: 600000,
        extraJob: {
          bench: {
            connections: options.connections, size: options.size * MIB, chunk: Math.round(options.chunk * MIB),
            window: options.window, rounds: options.rounds,
          },
        },
        report: (check) => {
          if (check.scenario !== 'bench') return;
          if (check.status === 'pass') results[check.name] = JSON.parse(check.detail);
          else results[check.name] = { problem: `${check.name}: ${check.detail}` };
        },
      });
      await host.stop();
      const hello = results.hello;
      lines.push(`${kind} connectNative to hello: ${hello && hello.ms ? summary(hello.ms) : (hello && hello.problem) || 'no result'}`);
      // Each transfer ran `rounds` times, the loop and the client in turn: medians.
      const median = (values) => [...values].sort((x, y) => x - y)[Math.floor(values.length / 2)];
      const rate = (r) => r.bytes / MIB / (median(r.ms) / 1000);
      const transfer = results.transfer;
      const client = results.client;
      const described = (r) => `${r.bytes / MIB} MiB in chunks of ${(r.chunk / MIB).toFixed(2)} MiB, ${r.window} in flight: `
        + `median ${median(r.ms)} ms of ${r.ms.join(', ')} ms, ${rate(r).toFixed(1)} MiB/s`;
      if (transfer && transfer.bytes) lines.push(`${kind} chunk loop, pre-made chunk text: ${described(transfer)}`);
      else lines.push(`${kind} transfer: ${(transfer && transfer.problem) || 'no result'}`);
      if (client && client.bytes) {
        lines.push(`${kind} client saveFile of a Blob: ${described(client)}`
          + (transfer && transfer.bytes ? `; ${(rate(client) / rate(transfer)).toFixed(2)} x the chunk loop` : ''));
      } else {
        lines.push(`${kind} client saveFile: ${(client && client.problem) || 'no result'}`);
      }
      const problem = results.scenario;
      if (problem) { lines.push(`${kind}: ${problem.problem}`); failed = true; }
    }
  } finally {
    await server.stop();
    fs.rmSync(scratch, { recursive: true, force: true });
  }
  console.log(lines.join('\n'));
  return failed ? 1 : 0;
}

process.on('SIGINT', () => processes.endTracked().then(() => process.exit(130)));
process.on('SIGTERM', () => processes.endTracked().then(() => process.exit(143)));

main().then((code) => process.exit(code), (error) => {
  console.error(`bench: ${error.stack || error}`);
  process.exit(1);
});
