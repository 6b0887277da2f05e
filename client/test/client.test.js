// The client against a fake runtime whose ports answer like the host (or not at all).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { TessivaClient, HostError, ConnectionError } from '../tessiva-client.js';

// A fault that leaves a promise pending fails the test instead of holding up the run.
const LIMIT = { timeout: 5000 };
const HELLO = { host_version: '0.1.0', platform: 'linux', protocol: 1 };

/** A runtime whose ports pass each message to `host(message, port)`; ports are kept in `ports`. */
function fakeRuntime(host) {
  const runtime = { ports: [], lastError: null };
  runtime.connectNative = () => {
    const listeners = { message: [], disconnect: [] };
    const port = {
      sent: [],
      open: true,
      onMessage: { addListener: (f) => listeners.message.push(f) },
      onDisconnect: { addListener: (f) => listeners.disconnect.push(f) },
      postMessage(message) {
        if (!port.open) throw new Error('Attempting to use a disconnected port object');
        port.sent.push(message);
        queueMicrotask(() => host(message, port));
      },
      disconnect() { port.open = false; },
      reply(id, result) { if (port.open) for (const f of listeners.message) f({ id, ok: true, result }); },
      fail(id, code, detail) { if (port.open) for (const f of listeners.message) f({ error: { code, detail }, id, ok: false }); },
      exit(message) {
        port.open = false;
        port.error = { message };
        for (const f of listeners.disconnect) f(port);
      },
    };
    runtime.ports.push(port);
    return port;
  };
  return runtime;
}

/** A host that answers hello and hands every other request to `other`. */
const answering = (other = () => {}) => (m, port) => (m.type === 'hello' ? port.reply(m.id, HELLO) : other(m, port));

test('connects once with hello, matches replies by id in any order, exposes the host', LIMIT, async () => {
  const held = [];
  const runtime = fakeRuntime(answering((m, port) => {
    held.push(m);
    // Answer the two held requests in reverse order.
    if (held.length === 2) for (const r of held.reverse()) port.reply(r.id, { echo: r.path });
  }));
  const client = new TessivaClient({ runtime });
  assert.equal(client.hostVersion, null);
  const [a, b] = await Promise.all([client.reveal('/a'), client.reveal('/b')]);
  assert.deepEqual([a, b], [{ echo: '/a' }, { echo: '/b' }]);
  assert.equal(runtime.ports.length, 1);
  assert.deepEqual(runtime.ports[0].sent.map((m) => m.type), ['hello', 'reveal', 'reveal']);
  assert.equal(new Set(runtime.ports[0].sent.map((m) => m.id)).size, 3);
  assert.deepEqual([client.hostVersion, client.platform], ['0.1.0', 'linux']);
});

test('an error reply rejects with its code and detail; a late reply to a timed-out request is dropped', LIMIT, async () => {
  let late = null;
  const runtime = fakeRuntime(answering((m, port) => {
    if (m.type === 'set_config') port.fail(m.id, 'invalid_config', 'theme');
    else if (m.id === 3) late = () => port.reply(3, { slow: true });
    else port.reply(m.id, { config: {} });
  }));
  const client = new TessivaClient({ runtime });
  await assert.rejects(client.setConfig({ version: 1, theme: 'Dark' }),
    (e) => e instanceof HostError && e.code === 'invalid_config' && e.detail === 'theme' && e.type === 'set_config');
  await assert.rejects(client.getConfig({ timeoutMs: 20 }), (e) => e instanceof ConnectionError && e.reason === 'timeout');
  late();
  assert.deepEqual(await client.getConfig(), { config: {} });
});

test('a wrong protocol version or a silent host is not kept; disconnect stops a connection being opened', LIMIT, async () => {
  const runtime = fakeRuntime((m, port) => port.reply(m.id, { ...HELLO, protocol: 2 }));
  const client = new TessivaClient({ runtime });
  await assert.rejects(client.connect(), (e) => e instanceof ConnectionError && e.reason === 'protocol');
  assert.equal(runtime.ports[0].open, false);
  const silent = fakeRuntime(() => {});
  const waiting = new TessivaClient({ runtime: silent, connectTimeoutMs: 20 });
  await assert.rejects(waiting.hello(), (e) => e instanceof ConnectionError && e.reason === 'timeout');
  assert.equal(silent.ports[0].open, false);
  const opening = waiting.connect();
  waiting.disconnect();
  await assert.rejects(opening, (e) => e instanceof ConnectionError && e.reason === 'disconnected');
  assert.equal(silent.ports[1].open, false);
});

test('the host exiting fails every pending request, and the next call connects again', LIMIT, async () => {
  const runtime = fakeRuntime(answering());
  const client = new TessivaClient({ runtime });
  const pending = [client.diagnose(), client.getConfig()];
  await client.connect();
  await new Promise((resolve) => setTimeout(resolve, 5));
  runtime.ports[0].exit('Native host has exited.');
  for (const call of pending) {
    await assert.rejects(call, (e) => e instanceof ConnectionError && e.reason === 'disconnected' && /Native host has exited/.test(e.message));
  }
  assert.equal(client.connected, false);
  assert.deepEqual(await client.hello(), HELLO);
  assert.equal(runtime.ports.length, 2);
});

test('an abort rejects with the signal\'s reason', LIMIT, async () => {
  const client = new TessivaClient({ runtime: fakeRuntime(answering()) });
  const controller = new AbortController();
  const call = client.pickFolder({ signal: controller.signal });
  setTimeout(() => controller.abort(new Error('closed by the user')), 5);
  await assert.rejects(call, /closed by the user/);
});

/** A host that keeps transfers: chunk sizes and the order of the calls are recorded. */
function transferHost(record, { failAt = Infinity } = {}) {
  let received = 0;
  return answering((m, port) => {
    record.push(m.type === 'transfer_chunk' ? Buffer.from(m.data, 'base64').length : m.type);
    if (m.type === 'begin_transfer') port.reply(m.id, { transfer_id: 't1' });
    else if (m.type === 'transfer_chunk') {
      received += Buffer.from(m.data, 'base64').length;
      if (received >= failAt) port.fail(m.id, 'io_error', 'No space left on device');
      else {
        const now = received;
        setTimeout(() => port.reply(m.id, { received: now }), 1);
      }
    } else if (m.type === 'finish_transfer') port.reply(m.id, { saved_path: '/save/a.bin' });
    else port.reply(m.id, {});
  });
}

test('saveFile sends a Blob, an ArrayBuffer and a stream in chunks of the given size with progress', LIMIT, async () => {
  const bytes = new Uint8Array(1000).map((_, i) => i * 7);
  const stream = () => new ReadableStream({
    start(c) { for (let at = 0; at < 1000; at += 333) c.enqueue(bytes.slice(at, at + 333)); c.close(); },
  });
  for (const data of [new Blob([bytes]), bytes.buffer, stream()]) {
    const record = [];
    const progress = [];
    const client = new TessivaClient({ runtime: fakeRuntime(transferHost(record)) });
    const path = await client.saveFile(data, 'a.bin', { size: 1000, chunkSize: 300, onProgress: (p) => progress.push(p.sent) });
    assert.equal(path, '/save/a.bin');
    assert.deepEqual(record, ['begin_transfer', 300, 300, 300, 100, 'finish_transfer']);
    assert.deepEqual(progress, [300, 600, 900, 1000]);
  }
  const client = new TessivaClient({ runtime: fakeRuntime(transferHost([])) });
  await assert.rejects(client.saveFile(stream(), 'a.bin'), TypeError);
  await assert.rejects(client.saveFile(stream(), 'a.bin', { size: 999, chunkSize: 300 }), /more than the 999 bytes/);
});

test('saveFile cancels the transfer on abort and on a failed chunk', LIMIT, async () => {
  const record = [];
  const client = new TessivaClient({ runtime: fakeRuntime(transferHost(record, { failAt: 600 })) });
  await assert.rejects(client.saveFile(new Uint8Array(1000), 'a.bin', { chunkSize: 300, window: 1 }),
    (e) => e instanceof HostError && e.code === 'io_error');
  assert.deepEqual(record, ['begin_transfer', 300, 300, 'cancel_transfer']);

  record.length = 0;
  const controller = new AbortController();
  const fresh = new TessivaClient({ runtime: fakeRuntime(transferHost(record)) });
  const saving = fresh.saveFile(new Uint8Array(1000), 'b.bin', {
    chunkSize: 100, signal: controller.signal, onProgress: (p) => { if (p.sent === 300) controller.abort(); },
  });
  await assert.rejects(saving, { name: 'AbortError' });
  assert.equal(record.at(-1), 'cancel_transfer');
  assert.ok(record.length < 10, `sent ${record.length} messages`);
});
