"""Shared pieces of the end-to-end tests: the executable under test, frames and the
expected reply texts, and a tally of checks.

Every test script is run as
    python3 test_x.py --native PATH/tessiva
    python3 test_x.py --wine PATH/wine-run.sh PATH/tessiva.exe
and ends with the line "N passed, N failed" and exit status 0 only when nothing failed.
"""

import argparse
import contextlib
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools" / "nmclient"))
import nmclient  # noqa: E402  (the path is set just above)

NMClientError = nmclient.NMClientError

# What a Chromium-family browser passes: the calling extension's origin.
ORIGIN = "chrome-extension://" + "hgfedcbaponmlkjihgfedcbaponmlkji" + "/"

MAX_MESSAGE_SIZE = 16 * 1024 * 1024
MAX_REPLY_SIZE = 1024 * 1024

# The native build is the Linux host.
PLATFORM = b"linux" if "--native" in sys.argv else b"windows"
HELLO_RESULT = b'{"host_version":"0.1.0","platform":"' + PLATFORM + b'","protocol":1}'


def frame(body):
    """A frame as the browser writes it: little-endian length, then the body."""
    return struct.pack("<I", len(body)) + body


def ok_reply(id_json, result=HELLO_RESULT):
    """The exact text of a success reply; `id_json` is the id as written JSON."""
    return b'{"id":' + id_json + b',"ok":true,"result":' + result + b"}"


def error_reply(code, id_json=b"null"):
    """The exact text of an error reply without detail."""
    return b'{"error":{"code":"' + code.encode() + b'"},"id":' + id_json + b',"ok":false}'


def describe_difference(got, want):
    """A short account of how two byte strings differ (replies can be 1 MiB long)."""
    if got is None:
        return "got nothing"
    at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
    start = max(0, at - 40)
    return (f"differs at byte {at} (got {len(got)} bytes, want {len(want)}): "
            f"got {got[start:at + 40]!r}, want {want[start:at + 40]!r}")


class Tally:
    """Counts checks and prints each failure as it happens."""

    def __init__(self):
        self.passed = 0
        self.failed = 0

    def passes(self, name):  # noqa: ARG002  (kept symmetrical with `fails`)
        self.passed += 1

    def fails(self, name, why):
        self.failed += 1
        print(f"FAIL {name}: {why}", flush=True)

    def equal(self, name, got, want):
        if got == want:
            self.passes(name)
        elif isinstance(want, bytes) and isinstance(got, (bytes, type(None))):
            self.fails(name, describe_difference(got, want))
        else:
            self.fails(name, f"got {shorten(got)}, want {shorten(want)}")

    def finish(self):
        print(f"{self.passed} passed, {self.failed} failed", flush=True)
        return 0 if self.failed == 0 and self.passed > 0 else 1


def shorten(value, limit=300):
    text = repr(value)
    return text if len(text) <= limit else f"{text[:limit]}... ({len(text)} characters)"


class Target:
    """The executable under test and how to start it with private state."""

    STARTUP_TIMEOUT = 180.0  # the first start under Wine may create the prefix

    def __init__(self, argv):
        parser = argparse.ArgumentParser()
        mode = parser.add_mutually_exclusive_group(required=True)
        mode.add_argument("--native", nargs=1, metavar="EXE")
        mode.add_argument("--wine", nargs=2, metavar=("RUNNER", "EXE"))
        options = parser.parse_args(argv)
        self.wine = options.wine is not None
        # Absolute, since each host runs in a folder of its own.
        self.launcher = [os.path.abspath(path)
                         for path in (options.wine if self.wine else options.native)]
        self.timeout = 20.0 if self.wine else 10.0
        self.root = Path(tempfile.mkdtemp(prefix="tessiva-e2e-"))
        # The runner's prefix and home (see cmake/wine-run.sh).
        self.wine_state = Path(os.environ.get("TESSIVA_WINE_STATE") or
                               Path(self.launcher[-1]).parent / "wine") if self.wine else None
        self._count = 0
        self._files = []

    def problems(self):
        """Reasons why the executable cannot be run at all."""
        found = []
        if self.wine and shutil.which("wine") is None:
            found.append("wine is not installed, so the Windows build cannot be tested")
        for path in self.launcher:
            if not Path(path).is_file():
                found.append(f"{path} does not exist")
        return found

    def host(self, args=(ORIGIN,), timeout=None, program=None, home=None):
        """A host (not started yet) with the given arguments after the program path.

        The native build gets a HOME of its own, or `home` where hosts must share their
        files, with XDG folders inside it that are not the defaults (see `linux_home`);
        under Wine the runner's prefix and home are private already (and shared by
        every host). `program` runs another copy of the executable, under Wine
        through the same runner. Standard error goes to a file beside that state.
        """
        self._count += 1
        folder = self.root / f"host{self._count}"
        folder.mkdir()
        env = dict(os.environ)
        if not self.wine:
            home = Path(home) if home else folder / "home"
            for name, value in linux_home(home).items():
                if value is None:
                    env.pop(name, None)
                else:
                    env[name] = value
        stderr = open(folder / "stderr", "wb")
        self._files.append(stderr)
        launcher = self.launcher if program is None else [*self.launcher[:-1], str(program)]
        host = nmclient.Host([*launcher, *args], env=env, cwd=folder,
                             timeout=timeout or self.timeout, stderr=stderr)
        host.stderr_path = folder / "stderr"
        host.home = None if self.wine else home
        if not self.wine:
            host.settings_file = home / "xdg-config" / "tessiva" / "config.json"
            host.transfers_folder = home / "xdg-cache" / "tessiva" / "transfers"
            host.save_folder = home / "My Documents" / "Tessiva"
        elif (profile := self.wine_profile()) is not None:
            host.settings_file = profile / "AppData" / "Roaming" / "Tessiva" / "config.json"
            host.transfers_folder = profile / "AppData" / "Local" / "Tessiva" / "transfers"
            host.save_folder = profile / "Documents" / "Tessiva"
        return host

    def settings_path(self, host):
        """Where `host` keeps config.json; under Wine in the prefix's profile, which is
        there once a host has run."""
        if not self.wine:
            return host.settings_file
        return self.wine_profile() / "AppData" / "Roaming" / "Tessiva" / "config.json"

    def wine_profile(self):
        """The Windows profile folder that hosts under Wine use; None before the prefix exists."""
        users = self.wine_state / "prefix" / "drive_c" / "users"
        found = sorted(p for p in users.glob("*") if p.name != "Public" and (p / "AppData").is_dir())
        return found[0] if found else None

    def windows_path(self, path):
        """How the host under test spells a local path (under Wine: on drive Z:)."""
        return "Z:" + str(path).replace("/", "\\") if self.wine else str(path)

    def local_path(self, path):
        """The local path of one that the host under test reported (under Wine a path on
        drive C: or Z:)."""
        if not self.wine:
            return Path(path)
        drive, rest = path[:1].upper(), path[3:].replace("\\", "/")
        return self.wine_state / "prefix" / "drive_c" / rest if drive == "C" else Path("/") / rest

    def cleanup(self):
        for file in self._files:
            file.close()
        shutil.rmtree(self.root, ignore_errors=True)


def python_with_gi():
    """A Python that has the GObject bindings (python3-gi), for stand-in bus services."""
    for candidate in (sys.executable, shutil.which("python3", path="/usr/bin")):
        if candidate and subprocess.run([candidate, "-c", "import gi"], capture_output=True).returncode == 0:
            return candidate
    raise AssertionError("no Python with the GObject bindings (python3-gi)")


def linux_home(home):
    """Makes `home` a private Linux home and returns the environment that names it: the
    XDG folders inside it under names that are not the defaults, and a user-dirs
    configuration whose documents folder is "$HOME/My Documents". Variables that must
    not be set are None: the locale's, so that "auto" means English."""
    home = Path(home)
    env = {
        "HOME": str(home),
        "XDG_CONFIG_HOME": str(home / "xdg-config"),
        "XDG_CACHE_HOME": str(home / "xdg-cache"),
        "XDG_DATA_HOME": str(home / "xdg-data"),
    }
    (home / "xdg-config").mkdir(parents=True, exist_ok=True)
    dirs = home / "xdg-config" / "user-dirs.dirs"
    if not dirs.exists():
        dirs.write_text('# written by the tests\nXDG_DOWNLOAD_DIR="$HOME/Downloads"\n'
                        'XDG_DOCUMENTS_DIR="$HOME/My Documents"\n')
    for name in ("XDG_DOCUMENTS_DIR", "XDG_STATE_HOME", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"):
        env[name] = None
    return env


def stderr_tail(host, limit=400):
    path = getattr(host, "stderr_path", None)
    try:
        data = path.read_bytes() if path else b""
    except OSError:
        return ""
    return f" [host stderr: {data[-limit:]!r}]" if data.strip() else ""


def expect_reply(tally, host, name, body, want, timeout=None):
    """Sends one framed body and checks the reply text byte for byte."""
    try:
        got = host.request(body, timeout)
    except NMClientError as error:
        tally.fails(name, f"{error}{stderr_tail(host)}")
        return
    tally.equal(name, got, want)


@contextlib.contextmanager
def session(target, tally, group):
    """One host for a group of checks that leave it running. At the end its input is
    closed: it must exit with code 0 and must not have written anything else."""
    host = target.host()
    host.start()
    try:
        yield host
        if host.running or host.exit_code is None:
            try:
                code = host.close()
            except NMClientError as error:
                tally.fails(f"{group}: exit at the end of input", str(error))
                return
            tally.equal(f"{group}: exit at the end of input", (code, host.unread), (0, b""))
    finally:
        if host.running:
            host.kill()


def run_to_end(host, data, close=True, timeout=None):
    """Writes `data`, closes the input (unless told not to) and waits for the exit.
    Returns (exit code, everything the host wrote)."""
    host.start()
    try:
        if data:
            host.send(data, timeout)
        if close:
            host.close_input()
        code = host.wait(timeout)
        return code, host.unread
    finally:
        if host.running:
            host.kill()


def wine_environment(target, **extra):
    """Wine in the runner's prefix and home (see cmake/wine-run.sh), started directly
    (winepath, or a program whose loading is traced): the runner would replace WINEDEBUG
    and WINEDLLOVERRIDES, which `extra` may set."""
    state = target.wine_state
    if not (state / "prefix" / ".tessiva-ready").exists():
        # A test may get here before any program ran through the runner, which creates
        # the prefix once under its lock; Wine started directly would race with it.
        subprocess.run([target.launcher[0], "cmd", "/c", "exit"], env=dict(os.environ, TESSIVA_WINE_STATE=str(state)),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
    env.update({"WINEPREFIX": str(state / "prefix"), "HOME": str(state / "home"), "WINEDEBUG": "-all",
                "LC_ALL": "C.UTF-8", "WINEDLLOVERRIDES": "mscoree,mshtml=", "WINEARCH": "win64"})
    env.update(extra)
    return env


@contextlib.contextmanager
def private_wine_prefix(target):
    """Every program that the runner starts inside runs in a Wine prefix of its own, in
    the test's folder (the runner's TESSIVA_WINE_STATE); its server is stopped at the end."""
    shared_state = os.environ.get("TESSIVA_WINE_STATE")
    state = target.root / "wine"
    os.environ["TESSIVA_WINE_STATE"] = str(state)
    try:
        yield state
    finally:
        if shared_state is None:
            os.environ.pop("TESSIVA_WINE_STATE", None)
        else:
            os.environ["TESSIVA_WINE_STATE"] = shared_state
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=str(state / "prefix")),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)


class Conversation:
    """Requests with running ids; replies parsed. With `ascii_only` (json.dumps's
    default) every character beyond ASCII of a request is sent as a \\u escape; without
    it, as UTF-8."""

    def __init__(self, host, ascii_only=True):
        self.host = host
        self.next_id = 1
        self.ascii_only = ascii_only

    def ask(self, type_, **members):
        request = dict(members, type=type_, id=self.next_id)
        self.next_id += 1
        return json.loads(self.host.request(json.dumps(request, ensure_ascii=self.ascii_only).encode()))

    def result(self, type_, **members):
        reply = self.ask(type_, **members)
        if not reply.get("ok"):
            raise AssertionError(f"{type_} failed: {reply}")
        return reply["result"]

    def error(self, type_, **members):
        """The error code of the reply; ("ok", result) for a success."""
        reply = self.ask(type_, **members)
        return reply["error"]["code"] if not reply.get("ok") else ("ok", reply["result"])


def starts(target, tally):
    """The first start, allowed to be slow (under Wine it may create the prefix)."""
    host = target.host(timeout=Target.STARTUP_TIMEOUT)
    name = "first start answers hello"
    with host:
        try:
            got = host.request(b'{"type":"hello","id":0}')
        except NMClientError as error:
            tally.fails(name, f"{error}{stderr_tail(host)}")
            return False
        tally.equal(name, got, ok_reply(b"0"))
    return True


def main(groups, argv=None):
    """Runs each group(target, tally) in turn; returns the process exit status."""
    tally = Tally()
    target = Target(sys.argv[1:] if argv is None else argv)
    try:
        problems = target.problems()
        if problems:
            for problem in problems:
                tally.fails("setup", problem)
            return tally.finish()
        try:
            started = starts(target, tally)
        except OSError as error:
            tally.fails("first start", str(error))
            started = False
        if not started:
            return tally.finish()  # every other check would wait for its timeout
        for group in groups:
            started = time.monotonic()
            try:
                group(target, tally)
            except Exception as error:  # one broken group must not hide the others
                tally.fails(group.__name__, f"{type(error).__name__}: {error}")
                traceback.print_exc()
            print(f"  {group.__name__}: {time.monotonic() - started:.1f} s", flush=True)
        return tally.finish()
    finally:
        target.cleanup()
