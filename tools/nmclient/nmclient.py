#!/usr/bin/env python3
"""A native messaging client for talking to a host by hand or from a script.

    nmclient.py [--timeout S] [--quiet] [--script FILE] [--max-line N] -- HOST_COMMAND [ARGS...]

Starts HOST_COMMAND, reads requests one per line (from FILE, or standard input), sends
each as one frame (a 4-byte little-endian length and the line's bytes, unchanged) and
waits for one reply frame, printing "> request" and "< reply". Blank lines and lines
beginning with "#" are skipped. When the input ends, the host's standard input is
closed and its exit code is reported.

Exit status: 0 when every request got its reply, the host wrote nothing else and
exited with code 0; 1 when the host did not answer in time, exited early, wrote a
broken frame or exited with another code; 2 for a usage error or a host that cannot
be started.

As a module, `Host` drives a host from Python:

    with Host(["./host", "chrome-extension://abc/"]) as host:
        reply = host.request({"type": "hello", "id": 1})   # reply body as bytes
    print(host.exit_code)
"""

import argparse
import json
import os
import selectors
import struct
import subprocess
import sys
import time

# The largest message a browser accepts from a host.
BROWSER_REPLY_LIMIT = 1024 * 1024

_READ_SIZE = 1 << 20


class NMClientError(Exception):
    """The host did not hold up its side of the conversation."""


class HostTimeout(NMClientError):
    """The host did not answer (or exit) in time; it has been killed."""


class HostExited(NMClientError):
    """The host ended its output or exited before the expected replies arrived."""

    def __init__(self, message, exit_code):
        super().__init__(message)
        self.exit_code = exit_code


class ProtocolError(NMClientError):
    """The host's output is not a sequence of whole frames."""


def encode_frame(body):
    """Frames `body` (bytes): its length as 4 bytes, little-endian, then the body."""
    return struct.pack("<I", len(body)) + bytes(body)


def encode_request(request):
    """Bytes are sent unchanged; any other value is written as compact UTF-8 JSON."""
    if isinstance(request, (bytes, bytearray, memoryview)):
        return bytes(request)
    return json.dumps(request, ensure_ascii=False, separators=(",", ":")).encode("utf-8")


class Host:
    """One running host process, spoken to over its standard input and output.

    Every wait is bounded by `timeout` seconds (per call). When it passes, the host
    is killed and `HostTimeout` is raised: the conversation cannot be trusted after a
    reply that never came. `stderr` is handed to `subprocess.Popen` (None inherits).
    """

    def __init__(self, command, *, env=None, cwd=None, timeout=30.0, stderr=None):
        self.command = list(command)
        self.env = env
        self.cwd = cwd
        self.timeout = timeout
        self.stderr = stderr
        self.exit_code = None
        self._proc = None
        self._output = bytearray()  # read from the host, not yet taken as a reply
        self._output_ended = False
        self._input_closed = False

    # Lifetime ---------------------------------------------------------------------

    def start(self):
        """Starts the host. Raises OSError when the command cannot be run."""
        self._proc = subprocess.Popen(
            self.command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
            stderr=self.stderr, env=self.env, cwd=self.cwd, bufsize=0)
        # Writes never block, so a host that stops reading cannot hang the client.
        os.set_blocking(self._proc.stdin.fileno(), False)
        return self

    def __enter__(self):
        if self._proc is None:
            self.start()
        return self

    def __exit__(self, exc_type, exc, tb):
        if self.running:
            if exc_type is None:
                self.close()
            else:
                self.kill()

    @property
    def pid(self):
        return self._proc.pid if self._proc else None

    @property
    def running(self):
        return self._proc is not None and self._proc.poll() is None

    @property
    def unread(self):
        """Bytes the host wrote that were not taken as a reply (after `close`: all of them)."""
        return bytes(self._output)

    def close_input(self):
        """Closes the host's standard input: the end of the conversation."""
        if not self._input_closed:
            self._input_closed = True
            try:
                self._proc.stdin.close()
            except OSError:
                pass

    def close_output(self):
        """Closes the reading end of the host's output, so that its next write fails:
        for seeing how a host copes with a reader that went away."""
        self._output_ended = True
        self._proc.stdout.close()

    def close(self, timeout=None):
        """Closes the host's input, waits for it to exit and returns its exit code.

        Whatever the host still writes is collected in `unread`.
        """
        self.close_input()
        return self.wait(timeout)

    def wait(self, timeout=None):
        """Waits for the host to exit, reading its output meanwhile; returns the code."""
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        while self._proc.poll() is None:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                self.kill()
                raise HostTimeout(f"host did not exit within {self._span(timeout)}")
            if self._output_ended:
                time.sleep(min(remaining, 0.01))
            else:
                self._read_output(min(remaining, 0.05))
        self._finish()
        return self.exit_code

    def kill(self):
        """Kills the host (only this process) and reaps it."""
        if self._proc is None:
            return
        if self._proc.poll() is None:
            self._proc.kill()
        self._proc.wait()
        self._finish()

    def _finish(self):
        """After the exit: takes what is left in the output pipe, without waiting for
        an end that a surviving child of the host could hold off, and closes it."""
        while not self._output_ended and self._read_output(0):
            pass
        self._output_ended = True
        self._proc.stdout.close()
        self.close_input()
        self.exit_code = self._proc.returncode

    # Conversation -----------------------------------------------------------------

    def request(self, request, timeout=None):
        """Sends one request (bytes as the body, anything else as JSON) and returns
        the body of the one reply, as bytes."""
        return self.exchange(encode_frame(encode_request(request)), 1, timeout)[0]

    def send(self, data, timeout=None):
        """Writes raw bytes (framed or not) to the host's standard input."""
        self.exchange(data, 0, timeout)

    def read_replies(self, count, timeout=None):
        """Reads `count` reply frames; returns their bodies."""
        return self.exchange(b"", count, timeout)

    def exchange(self, data, replies, timeout=None):
        """Writes `data` and reads `replies` reply frames, both at once, so that
        neither pipe can fill up and stall the other side. Returns the bodies."""
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        pending = memoryview(bytes(data))
        got = []
        while True:
            while len(got) < replies:
                body = self._take_frame()
                if body is None:
                    break
                got.append(body)
            if len(got) == replies and not pending:
                return got
            if self._output_ended and len(got) < replies:
                self._fail_ended(len(got), replies, deadline)
            if self._input_closed and pending:
                if len(got) == replies:
                    raise HostExited("host stopped reading its input",
                                     self._proc.poll())
                pending = pending[len(pending):]  # keep reading: replies may still come
                continue
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                self.kill()
                raise HostTimeout(f"no reply within {self._span(timeout)}"
                                  + self._progress(len(data) - len(pending), len(data)))
            pending = self._pump(pending, remaining)

    # Internals --------------------------------------------------------------------

    def _span(self, timeout):
        return f"{self.timeout if timeout is None else timeout:g} s"

    def _pump(self, pending, wait):
        """One round of waiting: writes what the input pipe takes, reads what the
        output pipe holds. Returns the data still to be written."""
        with selectors.DefaultSelector() as selector:
            if not self._output_ended:
                selector.register(self._proc.stdout, selectors.EVENT_READ)
            if pending and not self._input_closed:
                selector.register(self._proc.stdin, selectors.EVENT_WRITE)
            if not selector.get_map():
                return pending
            for key, _ in selector.select(wait):
                if key.fileobj is self._proc.stdout:
                    self._read_output(0)
                else:
                    try:
                        written = os.write(self._proc.stdin.fileno(), pending[:_READ_SIZE])
                        pending = pending[written:]
                    except BlockingIOError:
                        pass
                    except (BrokenPipeError, ConnectionResetError):
                        self.close_input()
        return pending

    def _read_output(self, wait):
        """Reads what the host has written, waiting up to `wait` seconds for it.
        Returns False when nothing came."""
        with selectors.DefaultSelector() as selector:
            selector.register(self._proc.stdout, selectors.EVENT_READ)
            if not selector.select(wait):
                return False
        chunk = os.read(self._proc.stdout.fileno(), _READ_SIZE)
        if not chunk:
            self._output_ended = True
            return False
        self._output += chunk
        return True

    def _progress(self, written, total):
        notes = []
        if written < total:
            notes.append(f"{written} of {total} bytes written")
        if len(self._output) >= 4:
            (length,) = struct.unpack_from("<I", self._output)
            notes.append(f"a frame of {length} bytes announced, "
                         f"{len(self._output) - 4} arrived")
        elif self._output:
            notes.append(f"{len(self._output)} bytes of a length prefix arrived")
        return f" ({'; '.join(notes)})" if notes else ""

    def _take_frame(self):
        if len(self._output) < 4:
            return None
        (length,) = struct.unpack_from("<I", self._output)
        if len(self._output) < 4 + length:
            return None
        body = bytes(self._output[4:4 + length])
        del self._output[:4 + length]
        return body

    def _fail_ended(self, got, replies, deadline):
        try:
            code = self._proc.wait(max(0.0, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            self.kill()
            raise HostExited("host closed its output but did not exit", None) from None
        self._finish()
        if self._output:
            raise ProtocolError(f"host output ended inside a reply frame"
                                f"{self._progress(0, 0)}, exit code {code}")
        raise HostExited(
            f"host exited with code {code} after {got} of {replies} replies", code)


# Command line ---------------------------------------------------------------------


def _show(data, max_line):
    text = data.decode("utf-8", errors="backslashreplace")
    if max_line and len(text) > max_line:
        return f"{text[:max_line]}... ({len(data)} bytes)"
    return text


def _requests(stream):
    """Yields (line number, request body) for each line that holds a request."""
    for number, line in enumerate(stream, 1):
        body = line.rstrip(b"\n").rstrip(b"\r")
        stripped = body.strip()
        if stripped and not stripped.startswith(b"#"):
            yield number, body


def _parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="nmclient.py",
        usage="%(prog)s [--timeout S] [--quiet] [--script FILE] [--max-line N] "
              "-- HOST_COMMAND [ARGS...]",
        description="Send JSON requests, one per line, to a native messaging host "
                    "and print each reply.")
    parser.add_argument("--timeout", type=float, default=30.0, metavar="S",
                        help="seconds to wait for each reply and for the exit (default 30)")
    parser.add_argument("--quiet", action="store_true",
                        help="print only the replies, without prefixes or the exit report")
    parser.add_argument("--script", metavar="FILE",
                        help="read the requests from FILE instead of standard input")
    parser.add_argument("--max-line", type=int, default=0, metavar="N",
                        help="shorten printed requests and replies to N characters")
    if "--" not in argv:
        parser.error("put -- before the host command")
    split = argv.index("--")
    options = parser.parse_args(argv[:split])
    options.command = argv[split + 1:]
    if not options.command:
        parser.error("no host command after --")
    return options


def main(argv=None):
    options = _parse_arguments(sys.argv[1:] if argv is None else argv)

    def say(text, stream=sys.stdout):
        print(text, file=stream, flush=True)

    def complain(text):
        say(f"nmclient: {text}", sys.stderr)

    try:
        source = open(options.script, "rb") if options.script else sys.stdin.buffer
    except OSError as error:
        complain(f"cannot read {options.script}: {error.strerror}")
        return 2
    host = Host(options.command, timeout=options.timeout)
    try:
        host.start()
    except OSError as error:
        complain(f"cannot start {options.command[0]}: {error.strerror}")
        return 2

    failed = False
    line = None
    try:
        for line, body in _requests(source):
            if not options.quiet:
                say("> " + _show(body, options.max_line))
            reply = host.request(body)
            say(_show(reply, options.max_line) if options.quiet
                else "< " + _show(reply, options.max_line))
            if len(reply) > BROWSER_REPLY_LIMIT:
                complain(f"reply of {len(reply)} bytes is larger than a browser accepts "
                         f"({BROWSER_REPLY_LIMIT})")
        line = None
        code = host.close()
        if host.unread:
            complain(f"host wrote {len(host.unread)} bytes that answer no request: "
                     + _show(host.unread, 200))
            failed = True
    except NMClientError as error:
        complain(f"{error}" + (f" (request on line {line})" if line else ""))
        failed = True
        if host.running:
            host.kill()
        code = host.exit_code
    finally:
        if source is not sys.stdin.buffer:
            source.close()

    report = ("host was killed" if code is None or code < 0
              else f"host exited with code {code}")
    if options.quiet:
        if code != 0:
            complain(report)
    else:
        say(report)
    return 1 if failed or code != 0 else 0


if __name__ == "__main__":
    sys.exit(main())
