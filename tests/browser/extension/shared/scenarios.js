// The scenarios that the test extension plays against the native messaging host, the
// same in Chromium (a module service worker) and Firefox (module background scripts).
//
// The driver writes config.js beside this file with TESSIVA_TEST = {server, token}, and
// copies the client library (client/tessiva-client.js) beside it. On start the
// extension asks the driver's server for its job (which scenarios, the host's name and
// platform, time limits), runs the scenarios one after another, posts every check to
// the server as it is decided, and ends with /done. What only the driver can see (host
// processes, saved files) is asked for over /rpc.
//
// Every scenario talks to the host through the client, except those that test the wire
// itself (ids of every JSON type, messages that are not objects, the reply size limit)
// and the old hand-written chunk loop that bench.sh compares the client with: the client
// cannot send such messages by design, so they use a bare port (RawPort).
import {
  TessivaClient, HostError, ConnectionError, DEFAULT_CHUNK_SIZE, DEFAULT_WINDOW,
} from './tessiva-client.js';

const api = globalThis.browser ?? globalThis.chrome;
const config = globalThis.TESSIVA_TEST;
const MAX_REPLY_SIZE = 1024 * 1024;
const MIB = 1024 * 1024;

// ---- talking to the driver --------------------------------------------------------

async function post(path, body) {
  const response = await fetch(config.server + path, {
    method: 'POST',
    headers: { 'Content-Type': 'text/plain', 'X-Tessiva-Token': config.token },
    body: JSON.stringify(body),
  });
  if (!response.ok) throw new Error(`driver answered ${response.status} to ${path}`);
  return response.json();
}

async function rpc(op, args = {}) {
  const answer = await post('/rpc', { op, args });
  if (answer.error) throw new Error(`driver: ${answer.error}`);
  return answer.result;
}

const log = (text) => post('/log', { text }).catch(() => {});

// ---- the client and a bare port -------------------------------------------------------

/** A client with the job's time limits. */
function clientFor(job) {
  return new TessivaClient({
    hostName: job.host,
    timeoutMs: job.timeouts.reply,
    connectTimeoutMs: job.timeouts.first,
    // A browser moves a chunk of several MB to the host in well under a second on an
    // idle machine, but far slower on a busy one; the limit allows for that.
    chunkTimeoutMs: Math.max(job.timeouts.reply, 30000),
  });
}

/** A client that is disconnected at the end of `body`. */
async function withClient(job, body) {
  const client = clientFor(job);
  try {
    return await body(client);
  } finally {
    client.disconnect();
  }
}

function describe(message) {
  if (message === null || typeof message !== 'object' || Array.isArray(message)) {
    return `message ${JSON.stringify(message).slice(0, 40)}`;
  }
  const id = JSON.stringify(message.id);
  return `"${message.type}" (id ${id && id.length > 40 ? `${id.slice(0, 40)}...` : id})`;
}

/** One connectNative port whose replies are taken in the order they arrive. */
class RawPort {
  constructor(job) {
    this.job = job;
    this.queue = [];
    this.waiters = [];
    this.gone = false;
    this.goneReason = null;
    this.goneListeners = [];
    this.port = api.runtime.connectNative(job.host);
    this.port.onMessage.addListener((message) => {
      const waiter = this.waiters.shift();
      if (waiter) waiter.resolve(message);
      else this.queue.push(message);
    });
    this.port.onDisconnect.addListener((port) => {
      this.gone = true;
      const error = (port && port.error) || (api.runtime.lastError ?? null);
      this.goneReason = error ? error.message : 'the port was closed';
      for (const waiter of this.waiters.splice(0)) {
        waiter.reject(new Error(`the host closed the port before answering ${waiter.what}: ${this.goneReason}`));
      }
      for (const listener of this.goneListeners.splice(0)) listener();
    });
  }

  post(message) {
    if (this.gone) throw new Error(`the host has gone (${this.goneReason}); cannot send ${describe(message)}`);
    this.port.postMessage(message);
  }

  /** The next reply, or an error once `timeoutMs` passed or the port closed. */
  next(what, timeoutMs = this.job.timeouts.reply) {
    if (this.queue.length > 0) return Promise.resolve(this.queue.shift());
    if (this.gone) return Promise.reject(new Error(`the host closed the port before answering ${what}: ${this.goneReason}`));
    return new Promise((resolve, reject) => {
      const waiter = { what, resolve: null, reject: null };
      const timer = setTimeout(() => {
        const at = this.waiters.indexOf(waiter);
        if (at >= 0) this.waiters.splice(at, 1);
        reject(new Error(`no reply from the host within ${timeoutMs / 1000} s to ${what}`));
      }, timeoutMs);
      waiter.resolve = (value) => { clearTimeout(timer); resolve(value); };
      waiter.reject = (error) => { clearTimeout(timer); reject(error); };
      this.waiters.push(waiter);
    });
  }

  request(message, timeoutMs) {
    this.post(message);
    return this.next(describe(message), timeoutMs);
  }

  /** Resolves true when the host closes the port within `timeoutMs`, else false. */
  closed(timeoutMs) {
    if (this.gone) return Promise.resolve(true);
    return new Promise((resolve) => {
      const timer = setTimeout(() => resolve(false), timeoutMs);
      this.goneListeners.push(() => { clearTimeout(timer); resolve(true); });
    });
  }

  disconnect() {
    if (!this.gone) this.port.disconnect();
    this.gone = true;
    this.goneReason = 'disconnected by the extension';
  }
}

async function withRawPort(job, body) {
  const host = new RawPort(job);
  try {
    return await body(host);
  } finally {
    host.disconnect();
  }
}

// ---- checks -----------------------------------------------------------------------

class Checks {
  constructor(scenario) {
    this.scenario = scenario;
    this.sent = Promise.resolve();
    this.failures = 0;
  }

  report(name, status, detail = '') {
    if (status === 'fail') this.failures += 1;
    const body = { scenario: this.scenario, name, status, detail: String(detail) };
    this.sent = this.sent.then(() => post('/check', body)).catch(() => {});
  }

  pass(name, detail) { this.report(name, 'pass', detail); }
  fail(name, detail) { this.report(name, 'fail', detail); }
  skip(name, detail) { this.report(name, 'skip', detail); }

  /** Passes when `got` equals `want` as JSON (member order included). */
  same(name, got, want, detail = '') {
    const a = JSON.stringify(got);
    const b = JSON.stringify(want);
    if (a === b) this.pass(name, detail);
    else this.fail(name, `got ${shorten(a)}, want ${shorten(b)}`);
    return a === b;
  }

  ok(name, condition, why, detail = '') {
    if (condition) this.pass(name, detail);
    else this.fail(name, why);
    return Boolean(condition);
  }
}

function shorten(text, limit = 300) {
  if (text === undefined) return 'undefined';
  return text.length <= limit ? text : `${text.slice(0, limit)}... (${text.length} characters)`;
}

const helloResult = (job) => ({ host_version: '0.1.0', platform: job.platform, protocol: 1 });
const success = (id, result) => ({ id, ok: true, result });
const failure = (code, id = null) => ({ error: { code }, id, ok: false });

/** The outcome of a promise as {value} or {error}, for checks on either. */
const settle = (promise) => promise.then((value) => ({ value }), (error) => ({ error }));
const what = (outcome) => (outcome.error ? `${outcome.error.name}: ${outcome.error.message}` : shorten(JSON.stringify(outcome.value)));

/** Reports `name` as skipped and returns true when the host does not know the request yet. */
function pendingFeature(t, name, type, outcome) {
  if (!(outcome.error instanceof HostError && outcome.error.code === 'unknown_request')) return false;
  t.skip(name, `pending: the host answers "${type}" with unknown_request`);
  return true;
}

function toBase64(bytes) {
  if (typeof bytes.toBase64 === 'function') return bytes.toBase64();
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  }
  return btoa(text);
}

/** `size` pattern bytes as a Blob, made in pieces of 8 MiB. */
function patternBlob(size, seed) {
  const parts = [];
  for (let at = 0; at < size; at += 8 * MIB) {
    parts.push(globalThis.TessivaPattern.fill(new Uint8Array(Math.min(8 * MIB, size - at)), at, seed));
  }
  return new Blob(parts);
}

/** The processes started for the host since `mark`, checked to be exactly one. */
async function startedHost(t, name, mark) {
  const started = await rpc('host_pids_since', { mark });
  t.ok(name, started.length === 1, `expected one host process to start, saw ${JSON.stringify(started)}`,
    `pid ${started.map((p) => p.pid).join(', ')}`);
  return started;
}

// Browsers end a host that lingers after its port closed, but only after a grace time
// of a few seconds; a host that ends later than SELF_EXIT_MS was probably ended by the
// browser rather than by reading the end of its input.
const SELF_EXIT_MS = 2500;

async function expectHostGone(t, name, started, job) {
  const answer = await rpc('host_gone', { pids: started, timeout_ms: job.timeouts.exit });
  if (answer.left.length > 0) {
    t.fail(name, `host process ${answer.left.join(', ')} still running ${job.timeouts.exit / 1000} s after the port closed`);
  } else {
    t.ok(name, answer.ms <= SELF_EXIT_MS, `the host ended only after ${answer.ms} ms (the browser may have ended it)`,
      `ended after ${answer.ms} ms`);
  }
}

// ---- scenarios --------------------------------------------------------------------

const scenarios = {};

scenarios.hello = async (t, job) => {
  const started = performance.now();
  await withClient(job, async (client) => {
    const hello = await settle(client.connect());
    t.same('hello on connecting', hello.value ?? what(hello), helloResult(job),
      `${Math.round(performance.now() - started)} ms from connectNative`);
    t.same('the client shows the host version and platform', [client.hostVersion, client.platform],
      ['0.1.0', job.platform]);
    t.same('hello as a request', await client.hello(), helloResult(job));
  });
};

// After the host was uninstalled the browser finds no host: the port closes with an
// error and no reply ever arrives.
scenarios.absent = async (t, job) => {
  const client = clientFor(job);
  const outcome = await settle(client.connect());
  t.ok('the browser finds no host', outcome.error instanceof ConnectionError && outcome.error.reason === 'disconnected',
    `connecting gave ${what(outcome)}`, outcome.error && outcome.error.message);
  client.disconnect();
};

// Many requests sent at once, without waiting: one reply each, in the order sent, with
// the id copied unchanged whatever its type.
scenarios.order = async (t, job) => {
  const COUNT = 240;
  const cases = [];
  for (let i = 0; i < COUNT; i += 1) {
    switch (i % 8) {
      case 0: cases.push([{ type: 'hello', id: i }, success(i, helloResult(job))]); break;
      case 1: cases.push([{ type: 'hello', id: `s${i}` }, success(`s${i}`, helloResult(job))]); break;
      // Objects come back with their members in ascending key order.
      case 2: cases.push([{ type: 'hello', id: { n: i, deep: [i, { z: 1, a: 'v' }] } },
        success({ deep: [i, { a: 'v', z: 1 }], n: i }, helloResult(job))]); break;
      case 3: cases.push([{ type: 'Hello', id: i }, failure('unknown_request', i)]); break;
      case 4: cases.push([{ type: 'hello', id: [i, null, true], path: 'ignored' },
        success([i, null, true], helloResult(job))]); break;
      case 5: cases.push([[{ type: 'hello', id: i }], failure('invalid_request')]); break;
      case 6: cases.push([{ id: i }, failure('unknown_request', i)]); break;
      default: cases.push([{ type: 'hello', id: `\u00e9\u4e2d\ud83d\ude00 ${i}` },
        success(`\u00e9\u4e2d\ud83d\ude00 ${i}`, helloResult(job))]); break;
    }
  }
  await withRawPort(job, async (host) => {
    // The first request alone, so that a slow start does not count against the rest.
    await host.request({ type: 'hello', id: 'first' }, job.timeouts.first);
    const noId = await host.request({ type: 'hello' });
    t.same('hello without id gets id null', noId, success(null, helloResult(job)));
    const started = performance.now();
    for (const [message] of cases) host.post(message);
    let wrong = null;
    let received = 0;
    for (const [message, want] of cases) {
      const reply = await host.next(describe(message));
      received += 1;
      if (wrong === null && JSON.stringify(reply) !== JSON.stringify(want)) {
        wrong = `reply ${received} is ${shorten(JSON.stringify(reply))}, want ${shorten(JSON.stringify(want))}`;
      }
    }
    t.ok(`${COUNT} requests on one port answered in order`, wrong === null, wrong,
      `${Math.round(performance.now() - started)} ms`);
    const after = await host.request({ type: 'hello', id: 'after' });
    t.same('port still answers afterwards', after, success('after', helloResult(job)));
  });
};

// A reply of exactly MAX_REPLY_SIZE arrives and the port stays open; one byte more ends
// the host without a reply.
scenarios.big_reply = async (t, job) => {
  const mark = await rpc('host_mark');
  const host = new RawPort(job);
  try {
    const first = await host.request({ type: 'hello', id: 0 }, job.timeouts.first);
    const envelope = new TextEncoder().encode(JSON.stringify({ id: '', ok: true, result: first.result })).length;
    const length = MAX_REPLY_SIZE - envelope;
    const id = 'x'.repeat(length);
    const reply = await host.request({ type: 'hello', id });
    const size = new TextEncoder().encode(JSON.stringify(reply)).length;
    if (t.ok('reply of exactly 1 MiB arrives', reply.ok === true && reply.id === id && size === MAX_REPLY_SIZE,
      `got ${shorten(JSON.stringify(reply), 120)} (${size} bytes)`, `${size} bytes`)) {
      const after = await host.request({ type: 'hello', id: 2 });
      t.same('port stays open after the 1 MiB reply', after, success(2, helloResult(job)));
    }
    const [process] = await startedHost(t, 'one host process', mark);
    host.post({ type: 'hello', id: `${id}y` });
    let early = null;
    host.next('the over-long hello', job.timeouts.exit).then((r) => { early = r; }, () => {});
    const closed = await host.closed(job.timeouts.exit);
    t.ok('reply over 1 MiB ends the host without a reply', closed && early === null,
      early !== null ? `got a reply of ${JSON.stringify(early).length} characters`
        : `the port is still open ${job.timeouts.exit / 1000} s later`, host.goneReason);
    if (process) await expectHostGone(t, 'host process ended after the over-long reply', [process], job);
  } finally {
    host.disconnect();
  }
};

// The host ends when the extension disconnects, and no process of it is left behind;
// a request in flight then fails at once.
scenarios.disconnect = async (t, job) => {
  for (const [label, before] of [['right after a reply', false], ['with a request in flight', true]]) {
    const mark = await rpc('host_mark');
    const client = clientFor(job);
    let started = [];
    let inFlight = null;
    try {
      const hello = await settle(client.connect());
      t.same(`hello before disconnecting ${label}`, hello.value ?? what(hello), helloResult(job));
      started = await startedHost(t, `one host process (${label})`, mark);
      if (before) inFlight = settle(client.getConfig());
    } finally {
      client.disconnect();
    }
    if (inFlight) {
      const outcome = await inFlight;
      t.ok('the request in flight fails when the extension disconnects',
        outcome.error instanceof ConnectionError && outcome.error.reason === 'disconnected', `got ${what(outcome)}`);
    }
    if (started.length > 0) await expectHostGone(t, `host ends when the extension disconnects ${label}`, started, job);
  }
};

// Settings survive the connection: set_config replaces the whole record, a new
// connection (a new host process) reads it back.
scenarios.settings = async (t, job) => {
  const PATTERN_DEFAULT = '{name}_{date}_{time}';
  const stored = await withClient(job, async (client) => {
    await client.connect();
    const light = await settle(client.setConfig({ version: 1, theme: 'light', name_pattern: '{name}' }));
    if (pendingFeature(t, 'settings round trip', 'set_config', light)) return null;
    t.ok('set_config answers with the stored record', light.value && light.value.config.theme === 'light'
      && light.value.config.name_pattern === '{name}', `got ${what(light)}`);
    const dark = await client.setConfig({ version: 1, theme: 'dark' });
    t.ok('second set_config replaces the whole record', dark.config.theme === 'dark'
      && dark.effective.theme === 'dark' && dark.config.name_pattern === PATTERN_DEFAULT,
    `got ${shorten(JSON.stringify(dark))}`);
    const refused = await settle(client.setConfig({ version: 1, theme: 'Dark' }));
    t.ok('invalid theme refused with its code and detail', refused.error instanceof HostError
      && refused.error.code === 'invalid_config' && refused.error.detail === 'theme', `got ${what(refused)}`);
    return dark;
  });
  if (stored === null) return;
  await withClient(job, async (client) => {
    const reply = await settle(client.getConfig());
    if (pendingFeature(t, 'get_config in a new connection', 'get_config', reply)) return;
    const result = reply.value;
    t.ok('get_config in a new connection shows theme dark', result && result.config.theme === 'dark'
      && result.effective.theme === 'dark', `got ${what(reply)}`);
    t.same('new connection sees the same record', result && result.config, stored.config);
    t.ok('default_save_folder is a path', result && typeof result.default_save_folder === 'string',
      `got ${JSON.stringify(result && result.default_save_folder)}`);
    // Leave the defaults for the scenarios that save files.
    const reset = await client.setConfig({ version: 1 });
    t.ok('reset to defaults', reset.config.theme === 'system', `got ${shorten(JSON.stringify(reset))}`);
  });
};

// A 64 MiB Blob made in the extension is saved by the client's saveFile, with progress,
// in 4,000,000-byte chunks (so each chunk's base64 is padded), and arrives byte for byte.
scenarios.transfer = async (t, job) => {
  const { size: SIZE, seed: SEED, chunk: CHUNK } = job.transfer;
  const pending = await withClient(job, async (client) => {
    const progress = [];
    const started = performance.now();
    const saved = await settle(client.saveFile(patternBlob(SIZE, SEED), 'sample.bin', {
      chunkSize: CHUNK, onProgress: (p) => progress.push([p.sent, p.total]),
    }));
    const ms = performance.now() - started;
    if (pendingFeature(t, 'chunked transfer', 'begin_transfer', saved)) return true;
    if (!t.ok(`saveFile of a ${SIZE / MIB} MiB Blob`, typeof saved.value === 'string', `got ${what(saved)}`,
      `${saved.value}, ${(SIZE / 1e6 / (ms / 1000)).toFixed(1)} MB/s`)) return false;
    const steps = Math.ceil(SIZE / CHUNK);
    const wanted = progress.length === steps && progress.every(([sent, total], i) =>
      sent === Math.min((i + 1) * CHUNK, SIZE) && total === SIZE);
    t.ok('progress after every chunk up to the whole size', wanted,
      `got ${progress.length} calls (want ${steps}): ${shorten(JSON.stringify(progress.slice(0, 4)))}...`);
    const verdict = await rpc('verify_pattern', { path: saved.value, size: SIZE, seed: SEED });
    t.ok('saved file has the bytes sent', verdict.ok, verdict.detail, verdict.detail);
    const partials = await rpc('partial_files');
    t.ok('no partial file left after finishing', partials.length === 0, `left: ${partials.join(', ')}`);
    return false;
  });
  if (pending) return;

  // A transfer begun and never finished: the partial file goes when the port closes.
  const mark = await rpc('host_mark');
  const client = clientFor(job);
  let started = [];
  try {
    const begin = await client.beginTransfer('abandoned.bin', 10);
    const chunk = await client.transferChunk(begin.transfer_id, 'aGVsbG8=');
    t.same('first chunk of an abandoned transfer', chunk, { received: 5 });
    const held = await rpc('partial_files');
    t.ok('partial file exists while the transfer is open', held.length === 1, `found ${JSON.stringify(held)}`);
    started = await rpc('host_pids_since', { mark });
  } finally {
    client.disconnect();
  }
  await expectHostGone(t, 'host ends with a transfer open', started, job);
  const left = await rpc('partial_files');
  t.ok('partial file gone after the host ended', left.length === 0, `left: ${left.join(', ')}`);
};

// A saveFile aborted halfway rejects with the signal's reason after the client has
// cancelled the transfer: the partial file is gone while the host still runs, and the
// connection goes on. The data is a stream that holds back its second half until the
// driver has seen the partial file and the abort is made, so the transfer cannot end
// first however fast the host is.
scenarios.cancel = async (t, job) => {
  const SIZE = 16 * MIB;
  const PIECE = MIB;
  await withClient(job, async (client) => {
    await client.connect();
    const controller = new AbortController();
    let offset = 0;
    let during = null;
    const stream = new ReadableStream({
      async pull(source) {
        if (offset === SIZE / 2 && during === null) {
          during = await rpc('partial_files');
          controller.abort(new Error('stopped halfway'));
        }
        source.enqueue(globalThis.TessivaPattern.fill(new Uint8Array(PIECE), offset, 3));
        offset += PIECE;
        if (offset === SIZE) source.close();
      },
    });
    const outcome = await settle(client.saveFile(stream, 'cancelled.bin', {
      size: SIZE, chunkSize: PIECE, signal: controller.signal,
    }));
    t.ok('the partial file exists halfway', during !== null && during.length === 1, `found ${JSON.stringify(during)}`);
    t.ok('saveFile rejects with the abort reason', outcome.error && outcome.error.message === 'stopped halfway',
      `got ${what(outcome)}`, `after ${offset} of ${SIZE} bytes were read`);
    const left = await rpc('partial_files');
    t.ok('no partial file left once saveFile has rejected', left.length === 0, `left: ${left.join(', ')}`);
    t.same('the connection answers afterwards', await client.hello(), helloResult(job));
  });
};

// The host is stopped with a request in flight and then killed (by its PID, which the
// driver's wrapper reported): the pending call fails with the disconnection, and the
// next call starts a new host process.
scenarios.host_exit = async (t, job) => {
  await withClient(job, async (client) => {
    const mark = await rpc('host_mark');
    await client.connect();
    const [first] = await startedHost(t, 'one host process', mark);
    if (!first) return;
    // Stopped, the host cannot answer: the request is surely in flight when it dies.
    await rpc('signal_host', { pid: first.pid, signal: 'SIGSTOP' });
    const pending = settle(client.getConfig({ timeoutMs: 0 }));
    await rpc('signal_host', { pid: first.pid, signal: 'SIGKILL' });
    const outcome = await Promise.race([pending,
      new Promise((resolve) => setTimeout(() => resolve({ value: 'still pending' }), job.timeouts.exit))]);
    t.ok('the pending call fails when the host is killed',
      outcome.error instanceof ConnectionError && outcome.error.reason === 'disconnected', `got ${what(outcome)}`,
      outcome.error && outcome.error.message);
    const second = await rpc('host_mark');
    const again = await settle(client.getConfig());
    t.ok('the next call connects again and is answered', again.value && typeof again.value.config === 'object',
      `got ${what(again)}`);
    const [next] = await rpc('host_pids_since', { mark: second });
    t.ok('a new host process answered it', next && next.pid !== first.pid, `host processes since: ${JSON.stringify(next)}`,
      next && `pid ${next.pid}`);
  });
};

// A file that the test wrote is saved by "open_file" (moved into the save folder).
scenarios.open_file = async (t, job) => {
  const source = await rpc('make_source');
  await withClient(job, async (client) => {
    const reply = await settle(client.openFile(source.path, 'Report.txt'));
    if (pendingFeature(t, 'open_file of a file the test wrote', 'open_file', reply)) return;
    if (!t.ok('open_file saves the file', reply.value && typeof reply.value.saved_path === 'string',
      `got ${what(reply)}`, reply.value && reply.value.saved_path)) return;
    const verdict = await rpc('verify_source', { id: source.id, path: reply.value.saved_path });
    t.ok('saved file holds the source and the source is gone', verdict.ok, verdict.detail, verdict.detail);
    const again = await settle(client.openFile(source.path, 'Report.txt'));
    t.ok('the moved source is not found again', again.error instanceof HostError && again.error.code === 'not_found',
      `got ${what(again)}`);
  });
};

/**
 * The hand-written chunk loop that the extension used before the client: sends `size`
 * bytes in chunks of `chunk` bytes over a bare port, each chunk's base64 text made by
 * `make(offset, n)`, with up to `window` chunks in flight. bench.sh compares it with
 * the client's saveFile.
 */
async function sendChunks(host, transferId, size, make, chunk, window) {
  const limit = Math.max(host.job.timeouts.reply, 30000);
  let sent = 0;
  let confirmed = 0;
  let inFlight = 0;
  const started = performance.now();
  const expect = [];
  while (confirmed < size) {
    while (sent < size && inFlight < window) {
      const n = Math.min(chunk, size - sent);
      host.post({ type: 'transfer_chunk', id: sent, transfer_id: transferId, data: await make(sent, n) });
      sent += n;
      expect.push(sent);
      inFlight += 1;
    }
    const want = expect.shift();
    const reply = await host.next(`"transfer_chunk" ending at byte ${want}`, limit);
    inFlight -= 1;
    if (!(reply.ok === true && reply.result.received === want)) {
      return { error: `chunk ending at byte ${want}: got ${shorten(JSON.stringify(reply))}` };
    }
    confirmed = want;
  }
  return { ms: performance.now() - started };
}

// Measurements for bench.sh: the time from connectNative to the "hello" reply, each
// time with a new host process; the time of one large transfer by the old chunk loop,
// which sends the same pre-made chunk again and again so that only the browser and the
// host are measured; and that of the client's saveFile of a Blob of the same size, at
// the client's own chunk size and window, which reads and encodes every chunk as an
// extension must.
scenarios.bench = async (t, job) => {
  const times = [];
  for (let i = 0; i < job.bench.connections; i += 1) {
    const mark = await rpc('host_mark');
    const started = performance.now();
    const client = clientFor(job);
    await client.connect();
    times.push(performance.now() - started);
    const pids = await rpc('host_pids_since', { mark });
    client.disconnect();
    await rpc('host_gone', { pids, timeout_ms: job.timeouts.exit });
  }
  t.pass('hello', JSON.stringify({ ms: times.map((ms) => Math.round(ms * 100) / 100) }));
  // The loop and the client take turns, so that a busy moment of the machine does not
  // fall on one of them only; bench.sh compares their medians.
  const { size, chunk, window, rounds } = job.bench;
  const blob = patternBlob(size, 7);
  const loop = [];
  const client = [];
  for (let round = 0; round < rounds; round += 1) {
    await withRawPort(job, async (host) => {
      const begin = await host.request({ type: 'begin_transfer', id: 'b', original_name: 'bench.bin', size }, job.timeouts.first);
      if (begin.ok !== true) throw new Error(`begin_transfer failed: ${JSON.stringify(begin)}`);
      const pattern = (offset, n) => toBase64(globalThis.TessivaPattern.fill(new Uint8Array(n), offset, 7));
      const whole = pattern(0, chunk);
      const make = async (offset, n) => (n === chunk ? whole : pattern(offset, n));
      const started = performance.now();
      const sent = await sendChunks(host, begin.result.transfer_id, size, make, chunk, window);
      if (sent.error) throw new Error(sent.error);
      const finish = await host.request({
        type: 'finish_transfer', id: 'f', transfer_id: begin.result.transfer_id, target: { kind: 'save_only' },
      });
      loop.push(Math.round(performance.now() - started));
      if (finish.ok !== true) throw new Error(`finish_transfer failed: ${JSON.stringify(finish)}`);
      await rpc('remove_saved', { path: finish.result.saved_path, size });
    });
    await withClient(job, async (tessiva) => {
      await tessiva.connect();
      const started = performance.now();
      // At the client's own chunk size and window: what an extension gets.
      const path = await tessiva.saveFile(blob, 'bench.bin');
      client.push(Math.round(performance.now() - started));
      await rpc('remove_saved', { path, size });
    });
  }
  t.pass('transfer', JSON.stringify({ bytes: size, ms: loop, chunk, window }));
  t.pass('client', JSON.stringify({ bytes: size, ms: client, chunk: DEFAULT_CHUNK_SIZE, window: DEFAULT_WINDOW }));
};

// ---- the run ----------------------------------------------------------------------

async function run() {
  let job = null;
  for (let attempt = 0; job === null; attempt += 1) {
    try {
      job = await post('/job', { agent: navigator.userAgent });
    } catch (error) {
      if (attempt >= 20) throw error;
      await new Promise((resolve) => setTimeout(resolve, 250));
    }
  }
  for (const name of job.scenarios) {
    const t = new Checks(name);
    const body = scenarios[name];
    try {
      if (!body) throw new Error(`no scenario named ${name}`);
      await body(t, job);
    } catch (error) {
      t.fail('scenario', error && error.message ? error.message : String(error));
    }
    await t.sent;
    await post('/scenario_done', { scenario: name }).catch(() => {});
  }
  await post('/done', {});
}

run().catch((error) => log(`extension failed: ${error && error.stack ? error.stack : error}`));
