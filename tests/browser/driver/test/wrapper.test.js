// The host wrapper that the browsers start: the browser's pipes reach the host and the
// wrapper keeps none of them, the host keeps the PID that the wrapper logs, and the
// exit status and standard error of each host are logged for the report.
//   node --test tests/browser/driver/test/
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { spawn } = require('node:child_process');
const { NativeHost } = require('../lib/hosts');
const processes = require('../lib/processes');

/** A run folder with a wrapper around a shell script standing in for the host. */
function fakeRun(script) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'tessiva-wrapper-test-'));
  const exe = path.join(dir, 'fake-host.sh');
  fs.writeFileSync(exe, `#!/bin/sh\n${script}\n`, { mode: 0o755 });
  const host = new NativeHost(exe);
  const runDir = path.join(dir, 'run');
  fs.mkdirSync(runDir);
  return { dir, host, wrapper: host.prepareRun(runDir) };
}

/** Starts the wrapper as a browser would; the test ends whatever of it still runs. */
function start(t, { dir, host, wrapper }) {
  const child = spawn(wrapper, ['chrome-extension://test/'], { stdio: ['pipe', 'pipe', 'inherit'] });
  const childStart = processes.startTime(child.pid);
  t.after(async () => {
    for (const p of host.pidsSince(0)) await processes.end(p.pid, p.start, 500);
    await processes.end(child.pid, childStart, 500);
    fs.rmSync(dir, { recursive: true, force: true });
  });
  let output = '';
  const outputEnded = new Promise((resolve) => {
    child.stdout.on('data', (part) => { output += part; });
    child.stdout.on('end', () => resolve(output));
  });
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  return { child, outputEnded, exited };
}

test('pipes reach the host; its PID, exit status and standard error are logged', async (t) => {
  // The host closes its output and then waits for a second line before it exits: the
  // output can end meanwhile only if the wrapper holds no copy of the pipe.
  const fake = fakeRun('read line; echo "got $line"; exec >&-; echo "host-side trouble" >&2; read line; exit 7');
  const { host } = fake;
  const run = start(t, fake);
  run.child.stdin.write('ping\n');
  const limit = new Promise((resolve) => setTimeout(resolve, 20000, 'still open').unref());
  const output = await Promise.race([run.outputEnded, limit]);
  assert.strictEqual(output, 'got ping\n');
  run.child.stdin.end('bye\n');
  assert.deepStrictEqual(await run.exited, { code: 7, signal: null });

  const [started] = host.pidsSince(0);
  assert.strictEqual(started.args, 'chrome-extension://test/');
  const [exit] = host.exits();
  assert.strictEqual(exit.pid, started.pid);
  assert.strictEqual(exit.status, 7);
  assert.ok(exit.ended >= exit.started);
  const report = host.report(() => 'hello').join('\n');
  assert.match(report, new RegExp(`host pid ${started.pid} started during hello, exited with status 7`));
  assert.match(report, /host-side trouble/);
  assert.match(report, new RegExp(`host-wrapper: host pid ${started.pid} exited with status 7`));
});

test('a TERM sent to the wrapper reaches the host and its status is logged', async (t) => {
  const fake = fakeRun('echo ready; exec sleep 30');
  const { host } = fake;
  const run = start(t, fake);
  await new Promise((resolve) => run.child.stdout.once('data', resolve));
  const [started] = host.pidsSince(0);
  run.child.kill('SIGTERM');
  assert.deepStrictEqual(await run.exited, { code: 143, signal: null });
  assert.deepStrictEqual(await processes.waitGone([started], 5000), []);
  assert.strictEqual(host.exits()[0].status, 143);
});
