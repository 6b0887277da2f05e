"""A connection that only says "hello" loads no library that a bare program does not.

Every connection starts a host, so whatever a "hello" makes it load is paid on every
connection. The bare program (bench/bare_once.c: reads a frame, answers it, exits at the
end of its input; natively linked to the C library only, for Windows statically) is the
floor. Natively the libraries mapped into the host after its reply are compared with
the bare program's; under Wine the libraries that Wine's loader reports
(WINEDEBUG=+loaddll) from the start to the exit of each. The host must not load one
the bare program does not.

Run like every e2e script; TESSIVA_BARE_ONCE names the bare program of the same build.
"""

import os
import re
import struct
import subprocess
from pathlib import Path

from hostlib import ORIGIN, frame, linux_home, main

HELLO = frame(b'{"type":"hello","id":1}')


def read_exactly(stream, size):
    data = b""
    while len(data) < size:
        piece = stream.read(size - len(data))
        if not piece:
            break
        data += piece
    return data


def converse(command, env, cwd, stderr, mapped=False):
    """Starts `command`, sends one "hello", reads the reply, closes the input and waits
    for the exit. Returns (exit code, reply body, the shared objects mapped after the
    reply when `mapped`)."""
    process = subprocess.Popen(command, env=env, cwd=cwd, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=stderr)
    try:
        process.stdin.write(HELLO)
        process.stdin.flush()
        (length,) = struct.unpack("<I", read_exactly(process.stdout, 4) or b"\0\0\0\0")
        reply = read_exactly(process.stdout, length)
        libraries = set()
        if mapped:
            for line in Path(f"/proc/{process.pid}/maps").read_text().splitlines():
                fields = line.split(maxsplit=5)
                if len(fields) > 5 and ".so" in Path(fields[5]).name:
                    libraries.add(Path(fields[5]).name)
        process.stdin.close()
        return process.wait(timeout=60), reply, libraries
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()


def native_libraries(target, tally, bare):
    host = target.host()  # a private home with its XDG folders
    folder = Path(host.home).parent
    env = dict(os.environ)
    for key, value in linux_home(host.home).items():
        if value is None:
            env.pop(key, None)
        else:
            env[key] = value
    results = {}
    for name, command in (("tessiva", [target.launcher[0], ORIGIN]), ("bare", [bare])):
        code, reply, libraries = converse(command, env, folder, subprocess.DEVNULL, mapped=True)
        tally.equal(f"{name}: answers hello and exits with 0", (code, b'"ok":true' in reply), (0, True))
        results[name] = libraries
    tally.equal(f"libraries beyond the bare program's (bare: {sorted(results['bare'])})",
                sorted(results["tessiva"] - results["bare"]), [])


LOADED = re.compile(r'trace:loaddll:\S+ Loaded L"([^"]+)"')


def wine_libraries(target, tally, bare):
    state = target.wine_state
    # The prefix and its warm wineserver come from the runner (the first start made
    # them); the programs are then started by Wine directly, with the loader's trace on.
    subprocess.run([target.launcher[0], bare], input=HELLO, capture_output=True, timeout=180)
    env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
    env.update({"WINEPREFIX": str(state / "prefix"), "HOME": str(state / "home"), "WINEDEBUG": "+loaddll",
                "LC_ALL": "C.UTF-8", "WINEDLLOVERRIDES": "mscoree,mshtml=", "WINEARCH": "win64"})
    results = {}
    for name, program in (("tessiva", target.launcher[1]), ("bare", bare)):
        folder = target.root / f"loaddll-{name}"
        folder.mkdir()
        with open(folder / "stderr", "wb") as stderr:
            code, reply, _ = converse(["wine", program, ORIGIN], env, folder, stderr)
        trace = (folder / "stderr").read_text(errors="replace")
        libraries = {Path(m.replace("\\", "/")).name.lower() for m in LOADED.findall(trace)}
        tally.equal(f"{name}: answers hello and exits with 0", (code, b'"ok":true' in reply), (0, True))
        tally.equal(f"{name}: the loader's trace lists kernel32", "kernel32.dll" in libraries, True)
        results[name] = libraries
    tally.equal(f"DLLs beyond the bare program's (bare: {sorted(results['bare'])})",
                sorted(results["tessiva"] - results["bare"]), [])


def hello_only(target, tally):
    bare = os.environ.get("TESSIVA_BARE_ONCE")
    if not bare or not Path(bare).is_file():
        tally.fails("setup", f"TESSIVA_BARE_ONCE does not name the bare program ({bare!r})")
        return
    (wine_libraries if target.wine else native_libraries)(target, tally, bare)


if __name__ == "__main__":
    raise SystemExit(main([hello_only]))
