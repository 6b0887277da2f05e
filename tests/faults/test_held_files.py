"""Files held open by another program without delete sharing, as antivirus scanners and
editors hold them (Windows only: a Windows process of the helper holds each file for
reading with FILE_SHARE_READ alone, so nobody may replace, rename or delete it).

- A store while config.json is held: "io_error" with the system's text, the old
  config.json whole, no temporary file left; once released, the next store works.
- A save whose claimed name is held between the claim and the move (the source lies on
  another file system, so the host copies first and the helper has time to open the
  empty placeholder): "io_error", the source whole where it was, no copy left behind.
- An update while the installed executable is held: exit code 1 (quietly), the
  installed executable untouched and nothing half-placed beside it; once released, the
  update works.
"""

import json
import os
import shutil
import sys
import tempfile
import time
from pathlib import Path

from faultlib import held_open, seeded_random
from hostlib import frame, main, run_to_end

SHARED_MEMORY = Path("/dev/shm")  # a file system apart from the prefix's


def ask(host, request):
    return json.loads(host.request(json.dumps(request).encode()))


def error_of(reply):
    error = reply.get("error") or {}
    return error.get("code"), error.get("detail", "")


def held_settings_group(target, tally):
    with target.host() as host:
        first = ask(host, {"type": "set_config", "id": 1, "config": {"version": 1, "theme": "dark"}})
        tally.equal("held settings: the first store", first.get("ok"), True)
        path = host.settings_file
        before = path.read_bytes()
        with held_open(target, path):
            reply = ask(host, {"type": "set_config", "id": 2, "config": {"version": 1, "theme": "light"}})
        print(f"  a store onto a held config.json: {reply}", flush=True)
        tally.equal("held settings: io_error with the system's text",
                    (error_of(reply)[0], bool(error_of(reply)[1])), ("io_error", True))
        tally.equal("held settings: the old config.json is whole", path.read_bytes(), before)
        tally.equal("held settings: no temporary file left", sorted(os.listdir(path.parent)), ["config.json"])
        again = ask(host, {"type": "set_config", "id": 3, "config": {"version": 1, "theme": "light"}})
        tally.equal("held settings: once released, the store works",
                    (again.get("ok"), b'"theme": "light"' in path.read_bytes()), (True, True))


def held_claimed_name_group(target, tally):
    if not SHARED_MEMORY.is_dir() or not os.access(SHARED_MEMORY, os.W_OK):
        print(f"  held claimed name: SKIPPED, no writable {SHARED_MEMORY} for a source on another file system")
        return
    rng = seeded_random()
    name = f"held-{rng.randrange(10**6)}.bin"
    folder = Path(tempfile.mkdtemp(dir=SHARED_MEMORY))
    try:
        source = folder / name
        data = rng.randbytes(1024 * 1024) * 96  # copied for long enough to be caught
        source.write_bytes(data)
        with target.host() as host:
            ask(host, {"type": "set_config", "id": 1, "config": {"version": 1, "name_pattern": "{name}"}})
            save = host.save_folder
            placeholder = save / name
            with held_open(target, placeholder, wait=False) as holder:
                host.send(frame(json.dumps({"type": "open_file", "id": 2, "source_path": target.windows_path(source),
                                            "original_name": name, "target": {"kind": "save_only"}}).encode()))
                holder.wait_held()
                reply = json.loads(host.read_replies(1)[0])
                print(f"  a save onto a held claimed name: {reply}", flush=True)
                left = sorted(n for n in os.listdir(save) if n == name or n.startswith(".tessiva-copy-"))
            if reply.get("ok"):
                tally.fails("held claimed name", "the save was done before the helper held the name; "
                            "the copy was too quick to be caught")
            else:
                tally.equal("held claimed name: io_error with the system's text",
                            (error_of(reply)[0], bool(error_of(reply)[1])), ("io_error", True))
            tally.equal("held claimed name: the source is whole where it was",
                        source.is_file() and source.read_bytes() == data, True)
            # The placeholder could not be removed while it was held: it stays, empty.
            tally.equal("held claimed name: no copy left, at most the empty placeholder",
                        (left, placeholder.stat().st_size if placeholder.exists() else 0), ([name], 0))
            placeholder.unlink(missing_ok=True)
            ask(host, {"type": "set_config", "id": 3, "config": {"version": 1}})
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def held_update_group(target, tally):
    def install():
        host = target.host(args=["--quiet"], timeout=60.0)
        return run_to_end(host, b"", timeout=60.0)

    folder = target.wine_profile() / "AppData" / "Local" / "Programs" / "Tessiva"
    executable = folder / "tessiva.exe"
    tally.equal("held update: the first install", install(), (0, b""))
    try:
        os.utime(executable, (1_000_000_000, 1_000_000_000))  # an older version's time
        before, files = executable.read_bytes(), sorted(os.listdir(folder))
        with held_open(target, executable):
            code = install()
        print(f"  an update while the installed executable is held: exit code {code[0]}", flush=True)
        tally.equal("held update: exit code 1, quietly", code, (1, b""))
        tally.equal("held update: the installed executable is untouched",
                    (executable.read_bytes() == before, executable.stat().st_mtime), (True, 1_000_000_000))
        tally.equal("held update: nothing half-placed beside it", sorted(os.listdir(folder)), files)
        tally.equal("held update: once released, the update works",
                    (install(), executable.stat().st_mtime != 1_000_000_000), ((0, b""), True))
    finally:
        host = target.host(args=["--uninstall", "--quiet"], timeout=60.0)
        run_to_end(host, b"", timeout=60.0)
        # The uninstaller removes the folder a few seconds after it ends, from a command
        # processor; a later install into this prefix must not meet that removal.
        deadline = time.monotonic() + 30.0
        while folder.exists() and time.monotonic() < deadline:
            time.sleep(0.2)


if __name__ == "__main__":
    if "--wine" not in sys.argv:
        print("held files: SKIPPED, Windows only (share modes)")
        raise SystemExit(77)
    raise SystemExit(main([held_settings_group, held_claimed_name_group, held_update_group]))
