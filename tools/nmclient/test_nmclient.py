"""The client against small fake hosts: replies, timeouts, early exits, cut-off frames."""

import io
import os
import subprocess
import sys
import tempfile
import unittest
from contextlib import redirect_stderr, redirect_stdout
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import nmclient  # noqa: E402

# Echoes each frame back; its behaviour at the second frame is chosen by argv[1].
FAKE_HOST = r"""
import struct, sys, time
mode = sys.argv[1]
stdin, stdout = sys.stdin.buffer, sys.stdout.buffer
count = 0
while True:
    head = stdin.read(4)
    if len(head) < 4:
        sys.exit(0)
    body = stdin.read(struct.unpack("<I", head)[0])
    count += 1
    if count == 2 and mode == "hang":
        time.sleep(60)
    if count == 2 and mode == "die":
        sys.exit(3)
    if count == 2 and mode == "cut":
        stdout.write(struct.pack("<I", 10) + b"abc"); stdout.flush(); sys.exit(0)
    if mode == "double":
        body = body * 2
    stdout.write(struct.pack("<I", len(body)) + body)
    if count == 2 and mode == "extra":
        stdout.write(b"junk")
    stdout.flush()
"""


def fake(mode):
    return [sys.executable, "-c", FAKE_HOST, mode]


class HostTest(unittest.TestCase):
    def test_large_request_and_reply_do_not_deadlock(self):
        body = b'"' + b"x" * (3 << 20) + b'"'
        with nmclient.Host(fake("double"), timeout=20) as host:
            self.assertEqual(host.request(body), body * 2)
            frames = nmclient.encode_frame(b"1") + nmclient.encode_frame(b"[2]")
            self.assertEqual(host.exchange(frames, 2), [b"11", b"[2][2]"])
        self.assertEqual(host.exit_code, 0)

    def test_values_are_sent_as_compact_json(self):
        with nmclient.Host(fake("echo"), timeout=20) as host:
            self.assertEqual(host.request({"a": [1, "é"]}), '{"a":[1,"é"]}'.encode())

    def test_failures(self):
        cases = [
            ("hang", nmclient.HostTimeout, None),
            ("die", nmclient.HostExited, 3),
            ("cut", nmclient.ProtocolError, 0),
        ]
        for mode, error, code in cases:
            with self.subTest(mode=mode):
                host = nmclient.Host(fake(mode), timeout=2).start()
                self.assertEqual(host.request(b"1"), b"1")
                with self.assertRaises(error):
                    host.request(b"2")
                self.assertFalse(host.running)
                if code is not None:
                    self.assertEqual(host.exit_code, code)

    def test_bytes_after_the_replies_are_kept(self):
        host = nmclient.Host(fake("extra"), timeout=5).start()
        host.exchange(nmclient.encode_frame(b"1") + nmclient.encode_frame(b"2"), 2)
        self.assertEqual(host.close(), 0)
        self.assertEqual(host.unread, b"junk")


class CommandLineTest(unittest.TestCase):
    def run_client(self, mode, lines, *options):
        with tempfile.NamedTemporaryFile("wb", suffix=".jsonl", delete=False) as script:
            script.write(lines)
        out, err = io.StringIO(), io.StringIO()
        try:
            with redirect_stdout(out), redirect_stderr(err):
                status = nmclient.main(["--timeout", "2", "--script", script.name, *options,
                                        "--", *fake(mode)])
        finally:
            os.unlink(script.name)
        return status, out.getvalue(), err.getvalue()

    def test_transcript(self):
        status, out, err = self.run_client("echo", b'{"a":1}\n\n# note\r\n{"b":2}\r\n')
        self.assertEqual((status, err), (0, ""))
        self.assertEqual(out, '> {"a":1}\n< {"a":1}\n> {"b":2}\n< {"b":2}\n'
                              "host exited with code 0\n")

    def test_quiet_prints_replies_only(self):
        status, out, _ = self.run_client("echo", b"[1]\n[2]\n", "--quiet")
        self.assertEqual((status, out), (0, "[1]\n[2]\n"))

    def test_failures_are_reported(self):
        cases = [
            ("die", "host exited with code 3", "host exited with code 3\n"),
            ("hang", "no reply within 2 s", "host was killed\n"),
            ("extra", "4 bytes that answer no request", "host exited with code 0\n"),
        ]
        for mode, message, report in cases:
            with self.subTest(mode=mode):
                status, out, err = self.run_client(mode, b"1\n2\n")
                self.assertEqual(status, 1)
                self.assertIn(message, err)
                self.assertTrue(out.endswith(report), out)

    def test_usage_errors(self):
        for argv in (["--", "/nonexistent/host"], ["no-separator"]):
            with self.subTest(argv=argv):
                result = subprocess.run([sys.executable, nmclient.__file__, *argv],
                                        capture_output=True, stdin=subprocess.DEVNULL)
                self.assertEqual(result.returncode, 2)
                self.assertEqual(result.stdout, b"")


if __name__ == "__main__":
    unittest.main()
