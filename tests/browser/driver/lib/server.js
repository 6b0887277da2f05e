// The small HTTP server on 127.0.0.1 through which the test extension gets its job and
// reports its checks. Each browser run is a session with its own random token; a
// request without a known token is refused.
'use strict';

const http = require('node:http');
const crypto = require('node:crypto');

const MAX_BODY = 1024 * 1024;

class Session {
  constructor(token, job, handlers) {
    this.token = token;
    this.job = job;
    this.handlers = handlers;
    this.started = new Promise((resolve) => { this.markStarted = resolve; });
    this.done = new Promise((resolve) => { this.markDone = resolve; });
  }
}

class ControlServer {
  constructor() {
    this.sessions = new Map();
    this.server = http.createServer((request, response) => this.handle(request, response));
  }

  /** Listens on a free loopback port; returns the base URL. */
  async start() {
    await new Promise((resolve, reject) => {
      this.server.once('error', reject);
      this.server.listen(0, '127.0.0.1', resolve);
    });
    this.url = `http://127.0.0.1:${this.server.address().port}`;
    return this.url;
  }

  stop() {
    return new Promise((resolve) => {
      this.server.closeAllConnections?.();
      this.server.close(() => resolve());
    });
  }

  /**
   * A session for one browser run. `handlers` has check(body), rpc(op, args) -> result,
   * log(text) and scenarioDone(name).
   */
  session(job, handlers) {
    const token = crypto.randomBytes(16).toString('hex');
    const session = new Session(token, job, handlers);
    this.sessions.set(token, session);
    return session;
  }

  close(session) {
    this.sessions.delete(session.token);
  }

  handle(request, response) {
    const headers = {
      'Access-Control-Allow-Origin': '*',
      'Access-Control-Allow-Headers': 'Content-Type, X-Tessiva-Token',
      'Access-Control-Allow-Methods': 'POST, OPTIONS',
    };
    const send = (status, value) => {
      response.writeHead(status, { ...headers, 'Content-Type': 'application/json' });
      response.end(JSON.stringify(value));
    };
    if (request.method === 'OPTIONS') {
      response.writeHead(204, headers);
      response.end();
      return;
    }
    const session = this.sessions.get(request.headers['x-tessiva-token']);
    if (request.method !== 'POST' || !session) {
      send(403, { error: 'unknown session' });
      return;
    }
    const parts = [];
    let size = 0;
    request.on('data', (part) => {
      size += part.length;
      if (size <= MAX_BODY) parts.push(part);
    });
    request.on('end', () => {
      let body;
      try {
        body = JSON.parse(Buffer.concat(parts).toString('utf8'));
      } catch {
        send(400, { error: 'body is not JSON' });
        return;
      }
      this.route(session, request.url, body).then(
        (value) => send(200, value),
        (error) => send(200, { error: error && error.message ? error.message : String(error) }),
      );
    });
  }

  async route(session, path, body) {
    switch (path) {
      case '/job':
        session.markStarted(body.agent);
        return session.job;
      case '/check':
        session.handlers.check(body);
        return {};
      case '/rpc':
        return { result: await session.handlers.rpc(body.op, body.args || {}) };
      case '/log':
        session.handlers.log(String(body.text));
        return {};
      case '/scenario_done':
        session.handlers.scenarioDone(String(body.scenario));
        return {};
      case '/done':
        session.markDone();
        return {};
      default:
        throw new Error(`no such path ${path}`);
    }
  }
}

module.exports = { ControlServer };
