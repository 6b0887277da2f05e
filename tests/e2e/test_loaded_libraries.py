"""The libraries a host loads.

- A connection that only says "hello" loads no library that a bare program does not.
  Every connection starts a host, so whatever a "hello" makes it load is paid on every
  connection. The bare program (bench/bare_once.c: reads a frame, answers it, exits at
  the end of its input; natively linked to the C library only, for Windows statically)
  is the floor. Natively the libraries mapped into each after its reply are compared;
  under Wine the libraries that Wine's loader reports (WINEDEBUG=+loaddll) from the
  start to the exit of each.
- Windows: a library planted beside the program under a system library's name is never
  loaded. The installer is usually started from the Downloads folder, where anyone's
  file may lie. Wine prefers its own copy of a system library unless told to load the
  native one, so the planted one (imm32.dll, which the user interface library loads by
  name once a request needs the shell) is made native for the test.

Run like every e2e script; TESSIVA_BARE_ONCE names the bare program of the same build
and, for Windows, TESSIVA_PLANTED_LIBRARY the library to plant
(tests/windows/planted_library.c).
"""

import os
import re
import shutil
import struct
import subprocess
from pathlib import Path

from hostlib import ORIGIN, frame, linux_home, main, wine_environment

HELLO = frame(b'{"type":"hello","id":1}')
# Finding the settings' folder loads the shell, and with it the user interface library.
GET_CONFIG = frame(b'{"type":"get_config","id":2}')
# With +pid each line starts with the process's and the thread's ids.
LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\S+ Loaded L"([^"]+)"', re.MULTILINE)


def read_exactly(stream, size):
    data = b""
    while len(data) < size:
        piece = stream.read(size - len(data))
        if not piece:
            break
        data += piece
    return data


def converse(command, env, cwd, stderr, requests=(HELLO,), mapped=False):
    """Starts `command`, sends each request and reads its reply, closes the input and
    waits for the exit. Returns (exit code, the replies, the shared objects mapped after
    the last reply when `mapped`)."""
    process = subprocess.Popen(command, env=env, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=stderr)
    try:
        replies = []
        for request in requests:
            process.stdin.write(request)
            process.stdin.flush()
            (length,) = struct.unpack("<I", read_exactly(process.stdout, 4).ljust(4, b"\0"))
            replies.append(read_exactly(process.stdout, length))
        libraries = set()
        if mapped:
            for line in Path(f"/proc/{process.pid}/maps").read_text().splitlines():
                fields = line.split(maxsplit=5)
                if len(fields) > 5 and ".so" in Path(fields[5]).name:
                    libraries.add(Path(fields[5]).name)
        process.stdin.close()
        return process.wait(timeout=60), replies, libraries
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def answered(replies):
    return bool(replies) and all(b'"ok":true' in reply for reply in replies)


def bare_program(tally):
    bare = os.environ.get("TESSIVA_BARE_ONCE")
    if not bare or not Path(bare).is_file():
        tally.fails("setup", f"TESSIVA_BARE_ONCE does not name the bare program ({bare!r})")
        return None
    return bare


def native_libraries(target, tally, bare):
    host = target.host()  # a private home with its XDG folders
    env = dict(os.environ)
    for key, value in linux_home(host.home).items():
        if value is None:
            env.pop(key, None)
        else:
            env[key] = value
    results = {}
    for name, command in (("tessiva", [target.launcher[0], ORIGIN]), ("bare", [bare])):
        code, replies, libraries = converse(command, env, host.home.parent, subprocess.DEVNULL, mapped=True)
        tally.equal(f"{name}: answers hello and exits with 0", (code, answered(replies)), (0, True))
        results[name] = libraries
    tally.equal(f"libraries beyond the bare program's (bare: {sorted(results['bare'])})",
                sorted(results["tessiva"] - results["bare"]), [])


def wine_libraries(target, tally, bare):
    # The prefix and its warm wineserver come from the runner (the first start made
    # them, this keeps the server warm).
    subprocess.run([target.launcher[0], bare], input=HELLO, capture_output=True, timeout=180)
    env = wine_environment(target, WINEDEBUG="+pid,+loaddll")
    results = {}
    for name, program in (("tessiva", target.launcher[1]), ("bare", bare)):
        folder = target.root / f"loaddll-{name}"
        folder.mkdir()
        with open(folder / "stderr", "wb") as stderr:
            code, replies, _ = converse(["wine", program, ORIGIN], env, folder, stderr)
        trace = (folder / "stderr").read_text(errors="replace")
        loaded = [(pid, path.replace("\\\\", "\\").rsplit("\\", 1)[-1].lower())
                  for pid, path in LOADED.findall(trace)]
        # Only the program's own process: a Wine service started meanwhile would write
        # its trace to the same file.
        own = {pid for pid, name in loaded if name == Path(program).name.lower()}
        libraries = {name for pid, name in loaded if pid in own} - {Path(program).name.lower()}
        tally.equal(f"{name}: answers hello and exits with 0", (code, answered(replies)), (0, True))
        tally.equal(f"{name}: the loader's trace lists kernel32", "kernel32.dll" in libraries, True)
        results[name] = libraries
    tally.equal(f"DLLs beyond the bare program's (bare: {sorted(results['bare'])})",
                sorted(results["tessiva"] - results["bare"]), [])


def hello_only(target, tally):
    if os.environ.get("TESSIVA_HOST_SANITIZED"):
        print("  (a sanitized host loads the sanitizers' runtimes: its libraries are not compared)")
        return
    bare = bare_program(tally)
    if bare:
        (wine_libraries if target.wine else native_libraries)(target, tally, bare)


def planted_library(target, tally):
    if not target.wine:
        return  # the Linux loader does not search the program's folder
    planted = os.environ.get("TESSIVA_PLANTED_LIBRARY")
    if not planted or not Path(planted).is_file():
        tally.fails("setup", f"TESSIVA_PLANTED_LIBRARY does not name the planted library ({planted!r})")
        return
    downloads = target.root / "downloads"
    downloads.mkdir()
    program = downloads / "tessiva.exe"
    shutil.copy(target.launcher[1], program)
    shutil.copy(planted, downloads / "imm32.dll")
    mark = target.root / "planted-library-loaded"
    env = wine_environment(target, WINEDLLOVERRIDES="mscoree,mshtml=;imm32=n,b",
                           TESSIVA_PLANTED_MARK=target.windows_path(mark))
    code, replies, _ = converse(["wine", str(program), ORIGIN], env, downloads, subprocess.DEVNULL,
                                requests=(HELLO, GET_CONFIG))
    tally.equal("planted library: hello and get_config answered, exit 0", (code, answered(replies)), (0, True))
    tally.equal("planted library: never loaded", mark.exists(), False)


if __name__ == "__main__":
    raise SystemExit(main([hello_only, planted_library]))
