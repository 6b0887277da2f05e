// The extension's side of the Tessiva native messaging host: one connection over
// runtime.connectNative, opened on first use and checked with "hello"; any number of
// requests in flight, each matched to its reply by id, with a time limit and an
// AbortSignal; the host's exit fails whatever is pending and the next call connects
// again; and saveFile, which sends a file in base64 chunks. No dependencies: it runs in
// a Chrome service worker, a Firefox background script and Node (with a fake runtime).
// The wire protocol is described in docs/protocol.md of the Tessiva repository.

export const HOST_NAME = 'com.orbelle.tessiva';
export const PROTOCOL_VERSION = 1;
/** The largest message the host reads (its length prefix excluded). */
export const MAX_MESSAGE_SIZE = 16 * 1024 * 1024;
/** The largest reply the host writes; a request whose reply would be longer ends the host. */
export const MAX_REPLY_SIZE = 1024 * 1024;
/** The largest size begin_transfer accepts. */
export const MAX_TRANSFER_SIZE = 4 * 1024 * 1024 * 1024;
/** What a transfer_chunk message needs besides its data: the envelope and room for ids. */
const CHUNK_ENVELOPE = 4096;
/** The largest chunk (in bytes before base64) whose message fits in one frame. */
export const MAX_CHUNK_SIZE = Math.floor((MAX_MESSAGE_SIZE - CHUNK_ENVELOPE) / 4) * 3;
/**
 * 4 MiB less one byte, a multiple of 3 (so no chunk but the last is padded), with
 * DEFAULT_WINDOW of them in flight: the browser always has the next chunk queued while
 * the client reads and encodes one more, and about 40 MB is held at most.
 */
export const DEFAULT_CHUNK_SIZE = 4 * 1024 * 1024 - 1;
export const DEFAULT_WINDOW = 4;

/** The host answered with an error reply. */
export class HostError extends Error {
  constructor(type, code, detail) {
    super(`the host refused "${type}": ${code}${detail === undefined ? '' : ` (${detail})`}`);
    this.name = 'HostError';
    this.type = type;
    this.code = code;
    this.detail = detail;
  }
}

/**
 * The host could not be reached or ended: `reason` is "disconnected" (the port closed:
 * the host exited, crashed or was never found; `message` carries the browser's words),
 * "timeout" (no reply within the time limit; the connection stays), or "protocol" (the
 * host speaks another protocol version or sent something that is not a reply).
 */
export class ConnectionError extends Error {
  constructor(reason, message) {
    super(message);
    this.name = 'ConnectionError';
    this.reason = reason;
  }
}

function describeAbort(signal) {
  return signal.reason ?? new DOMException('the request was aborted', 'AbortError');
}

/** One port and the requests waiting on it. */
class Connection {
  constructor(runtime, hostName, onClose) {
    this.pending = new Map();
    this.closed = null; // the ConnectionError once the port is gone
    this.onClose = onClose;
    this.port = runtime.connectNative(hostName);
    this.port.onMessage.addListener((message) => this.receive(message));
    this.port.onDisconnect.addListener((port) => {
      // Firefox puts the reason on the port, Chrome in runtime.lastError.
      const error = (port && port.error) || runtime.lastError;
      const why = error && error.message ? error.message : 'the port was closed';
      this.close(new ConnectionError('disconnected', `the host ended the connection: ${why}`));
    });
  }

  receive(message) {
    const id = message !== null && typeof message === 'object' ? message.id : undefined;
    const entry = typeof id === 'number' ? this.pending.get(id) : undefined;
    // A reply to a request that timed out or was aborted arrives late: nobody waits.
    if (!entry) return;
    this.pending.delete(id);
    entry.settle();
    if (message.ok === true) entry.resolve(message.result);
    else if (message.ok === false && message.error && typeof message.error.code === 'string') {
      entry.reject(new HostError(entry.type, message.error.code, message.error.detail));
    } else {
      entry.reject(new ConnectionError('protocol', `the host's reply to "${entry.type}" is not a reply: ${JSON.stringify(message).slice(0, 200)}`));
    }
  }

  /** Sends `message` (which has a numeric id) and waits for the reply with that id. */
  send(message, timeoutMs, signal) {
    if (this.closed) return Promise.reject(this.closed);
    if (signal && signal.aborted) return Promise.reject(describeAbort(signal));
    return new Promise((resolve, reject) => {
      const entry = { type: message.type, resolve, reject, settle: null };
      const drop = (error) => {
        if (this.pending.get(message.id) !== entry) return;
        this.pending.delete(message.id);
        entry.settle();
        reject(error);
      };
      const timer = timeoutMs > 0 && Number.isFinite(timeoutMs)
        ? setTimeout(() => drop(new ConnectionError('timeout', `no reply from the host within ${timeoutMs / 1000} s to "${message.type}"`)), timeoutMs)
        : null;
      const onAbort = () => drop(describeAbort(signal));
      if (signal) signal.addEventListener('abort', onAbort, { once: true });
      entry.settle = () => {
        if (timer !== null) clearTimeout(timer);
        if (signal) signal.removeEventListener('abort', onAbort);
      };
      this.pending.set(message.id, entry);
      try {
        this.port.postMessage(message);
      } catch (error) {
        // The port went away between our last look and now.
        drop(new ConnectionError('disconnected', `cannot send "${message.type}": ${error && error.message}`));
      }
    });
  }

  /** Fails every pending request with `error`; later sends fail with it at once. */
  close(error) {
    if (this.closed) return;
    this.closed = error;
    const entries = [...this.pending.values()];
    this.pending.clear();
    for (const entry of entries) {
      entry.settle();
      entry.reject(error);
    }
    this.onClose(this);
  }
}

function defaultRuntime() {
  const api = globalThis.browser ?? globalThis.chrome;
  if (!api || !api.runtime || typeof api.runtime.connectNative !== 'function') {
    throw new Error('no runtime.connectNative here: pass {runtime} to TessivaClient');
  }
  return api.runtime;
}

/** Pieces of at most `chunkSize` bytes of a Blob, an ArrayBuffer (view) or a ReadableStream. */
async function* pieces(data, size, chunkSize) {
  if (typeof Blob !== 'undefined' && data instanceof Blob) {
    // One slice at a time: the Blob is never read whole.
    for (let at = 0; at < size; at += chunkSize) {
      yield new Uint8Array(await data.slice(at, Math.min(at + chunkSize, size)).arrayBuffer());
    }
    return;
  }
  if (data instanceof ArrayBuffer || ArrayBuffer.isView(data)) {
    const bytes = data instanceof ArrayBuffer ? new Uint8Array(data) : new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
    for (let at = 0; at < size; at += chunkSize) yield bytes.subarray(at, Math.min(at + chunkSize, size));
    return;
  }
  // A stream: its pieces are gathered into chunks of chunkSize (the last may be shorter).
  const reader = data.getReader();
  try {
    let buffer = new Uint8Array(Math.min(chunkSize, size));
    let filled = 0;
    let total = 0;
    for (;;) {
      const { done, value } = await reader.read();
      if (done) break;
      const piece = value instanceof Uint8Array ? value : new Uint8Array(value.buffer ?? value, value.byteOffset ?? 0, value.byteLength);
      total += piece.byteLength;
      if (total > size) throw new RangeError(`the stream holds more than the ${size} bytes given as its size`);
      for (let at = 0; at < piece.byteLength;) {
        const n = Math.min(buffer.byteLength - filled, piece.byteLength - at);
        buffer.set(piece.subarray(at, at + n), filled);
        filled += n;
        at += n;
        if (filled === buffer.byteLength) {
          yield buffer;
          buffer = new Uint8Array(Math.min(chunkSize, size - total + piece.byteLength - at));
          filled = 0;
        }
      }
    }
    if (total !== size) throw new RangeError(`the stream ended after ${total} bytes, not the ${size} given as its size`);
  } finally {
    // Stops a stream that is left early (an abort or a failure) and lets its source go.
    reader.cancel().catch(() => {});
    reader.releaseLock();
  }
}

function base64(bytes) {
  if (typeof bytes.toBase64 === 'function') return bytes.toBase64();
  let text = '';
  for (let i = 0; i < bytes.length; i += 0x8000) text += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  return btoa(text);
}

/** The connection to the host; see client/README.md. */
export class TessivaClient {
  #runtime;
  #connection = null;
  #connecting = null;
  #opening = null;
  #nextId = 1;
  #hello = null;

  constructor({ runtime, hostName = HOST_NAME, timeoutMs = 10000, connectTimeoutMs = 30000, chunkTimeoutMs = 30000 } = {}) {
    this.#runtime = runtime ?? null;
    this.hostName = hostName;
    this.timeoutMs = timeoutMs;
    this.connectTimeoutMs = connectTimeoutMs;
    this.chunkTimeoutMs = chunkTimeoutMs;
  }

  /** What the host answered to "hello" on the current (or last) connection, or null. */
  get hostInfo() { return this.#hello; }
  get hostVersion() { return this.#hello ? this.#hello.host_version : null; }
  get platform() { return this.#hello ? this.#hello.platform : null; }
  /** Whether a port is open now. */
  get connected() { return this.#connection !== null && this.#connection.closed === null; }

  /** Opens the connection unless it is open, and returns the host's "hello" result. */
  async connect({ signal } = {}) {
    await this.#open(signal);
    return this.#hello;
  }

  /** Closes the port: pending requests fail, the host ends, the next call connects again. */
  disconnect() {
    // Also a connection still waiting for its "hello": its callers get the error.
    for (const connection of [this.#connection, this.#opening]) {
      if (!connection || connection.closed) continue;
      try {
        connection.port.disconnect();
      } catch {
        // Already gone.
      }
      connection.close(new ConnectionError('disconnected', 'the connection was closed by the extension'));
    }
    this.#connection = null;
  }

  #open(signal) {
    if (this.#connection && this.#connection.closed === null) return Promise.resolve(this.#connection);
    if (!this.#connecting) {
      this.#connecting = this.#handshake().finally(() => { this.#connecting = null; });
    }
    if (!signal) return this.#connecting;
    // An abort stops this caller's wait, not the connection that others may share.
    return new Promise((resolve, reject) => {
      if (signal.aborted) { reject(describeAbort(signal)); return; }
      const onAbort = () => reject(describeAbort(signal));
      signal.addEventListener('abort', onAbort, { once: true });
      this.#connecting.then(resolve, reject).finally(() => signal.removeEventListener('abort', onAbort));
    });
  }

  async #handshake() {
    const runtime = this.#runtime ?? defaultRuntime();
    const connection = new Connection(runtime, this.hostName, (closed) => {
      if (this.#connection === closed) this.#connection = null;
    });
    this.#opening = connection;
    try {
      const hello = await connection.send({ type: 'hello', id: this.#nextId++ }, this.connectTimeoutMs);
      if (!hello || hello.protocol !== PROTOCOL_VERSION) {
        throw new ConnectionError('protocol', `the host speaks protocol ${hello && hello.protocol}, this client ${PROTOCOL_VERSION}`);
      }
      if (connection.closed) throw connection.closed;
      this.#hello = hello;
      this.#connection = connection;
      return connection;
    } catch (error) {
      // A host that did not answer in time or speaks another protocol is not kept.
      if (!connection.closed) {
        try { connection.port.disconnect(); } catch { /* already gone */ }
        connection.close(error);
      }
      throw error;
    } finally {
      this.#opening = null;
    }
  }

  /**
   * Sends one request: `params` are its members besides "type" and "id". Resolves with
   * the result; rejects with a HostError, a ConnectionError, or the signal's reason.
   */
  async request(type, params = {}, { timeoutMs = this.timeoutMs, signal } = {}) {
    const connection = await this.#open(signal);
    return connection.send({ ...params, type, id: this.#nextId++ }, timeoutMs, signal);
  }

  hello(options) { return this.request('hello', {}, options); }
  getConfig(options) { return this.request('get_config', {}, options); }
  setConfig(config, options) { return this.request('set_config', { config }, options); }
  beginTransfer(originalName, size, options) { return this.request('begin_transfer', { original_name: originalName, size }, options); }
  transferChunk(transferId, data, options) {
    return this.request('transfer_chunk', { transfer_id: transferId, data }, { timeoutMs: this.chunkTimeoutMs, ...options });
  }
  finishTransfer(transferId, target = { kind: 'save_only' }, options) {
    return this.request('finish_transfer', { transfer_id: transferId, target }, options);
  }
  cancelTransfer(transferId, options) { return this.request('cancel_transfer', { transfer_id: transferId }, options); }
  openFile(sourcePath, originalName, target = { kind: 'save_only' }, options) {
    return this.request('open_file', { source_path: sourcePath, original_name: originalName, target }, options);
  }
  listHandlers(ext, { icons = false, ...options } = {}) { return this.request('list_handlers', { ext, icons }, options); }
  appInfo(path, options) { return this.request('app_info', { path }, options); }
  // The pickers wait for the user: no time limit unless one is given.
  pickFolder(options) { return this.request('pick_folder', {}, { timeoutMs: 0, ...options }); }
  pickApplication(options) { return this.request('pick_application', {}, { timeoutMs: 0, ...options }); }
  openSaveFolder(options) { return this.request('open_save_folder', {}, options); }
  reveal(path, options) { return this.request('reveal', { path }, options); }
  diagnose(options) { return this.request('diagnose', {}, options); }

  /**
   * Saves `data` (a Blob, an ArrayBuffer or view, or a ReadableStream with `size`) as
   * `name` in the user's save folder and returns the saved path. Sends base64 chunks of
   * `chunkSize` bytes with up to `window` of them in flight, reading only those and the
   * next; calls
   * `onProgress({sent, total})` as the host confirms each. On an abort or any failure the
   * transfer is cancelled (the host deletes its partial file) before the call rejects.
   */
  async saveFile(data, name, { target = { kind: 'save_only' }, onProgress, signal, size, chunkSize = DEFAULT_CHUNK_SIZE, window = DEFAULT_WINDOW } = {}) {
    const total = data instanceof ArrayBuffer || ArrayBuffer.isView(data) ? data.byteLength
      : typeof Blob !== 'undefined' && data instanceof Blob ? data.size : size;
    if (!Number.isSafeInteger(total) || total < 0) {
      throw new TypeError('saveFile needs the size of a stream up front: pass {size} (the host reserves nothing, but checks every byte against it)');
    }
    if (!(Number.isInteger(chunkSize) && chunkSize > 0 && chunkSize <= MAX_CHUNK_SIZE)) {
      throw new RangeError(`chunkSize must be from 1 to ${MAX_CHUNK_SIZE}`);
    }
    if (!(Number.isInteger(window) && window >= 1)) throw new RangeError('window must be at least 1');
    if (signal && signal.aborted) throw describeAbort(signal);

    // Every message of the transfer goes over one connection: a transfer is a state of
    // one host process, so if that process ends the transfer has failed.
    const connection = await this.#open(signal);
    const send = (type, params, timeoutMs = this.timeoutMs) =>
      connection.send({ ...params, type, id: this.#nextId++ }, timeoutMs, signal);
    const begin = await send('begin_transfer', { original_name: name, size: total });
    const transferId = begin.transfer_id;
    const source = pieces(data, total, chunkSize);
    try {
      const inFlight = [];
      let confirmed = 0;
      const settleOldest = async () => {
        confirmed = (await inFlight.shift()).received;
        if (onProgress) onProgress({ sent: confirmed, total });
      };
      // The next chunk is read and encoded while the ones before it travel, so the host
      // never waits for the reading; at most `window` chunks and the next are held.
      const ahead = () => {
        const next = source.next().then((r) => (r.done ? null : base64(r.value)));
        next.catch(() => {});
        return next;
      };
      let upcoming = ahead();
      for (let text = await upcoming; text !== null; text = await upcoming) {
        if (signal && signal.aborted) throw describeAbort(signal);
        upcoming = ahead();
        const sending = send('transfer_chunk', { transfer_id: transferId, data: text }, this.chunkTimeoutMs);
        // A rejection is taken when the chunk's turn comes; until then it is not unhandled.
        sending.catch(() => {});
        inFlight.push(sending);
        if (inFlight.length >= window) await settleOldest();
      }
      while (inFlight.length > 0) await settleOldest();
      if (confirmed !== total) throw new ConnectionError('protocol', `the host confirmed ${confirmed} of ${total} bytes`);
      const finish = await send('finish_transfer', { transfer_id: transferId, target });
      return finish.saved_path;
    } catch (error) {
      // Stops the source (a stream is cancelled); not awaited, as a stalled stream
      // would hold it up.
      source.return().catch(() => {});
      await this.#cancel(connection, transferId);
      throw error;
    }
  }

  /** Cancels a transfer after a failure, while its host process still runs. */
  async #cancel(connection, transferId) {
    // A host that ended deleted its partial files as it went.
    if (connection.closed) return;
    try {
      await connection.send({ type: 'cancel_transfer', id: this.#nextId++, transfer_id: transferId }, this.timeoutMs);
    } catch {
      // The host went away meanwhile, or does not answer: nothing more to do here.
    }
  }
}
