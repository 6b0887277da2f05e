"""Full disks and hosts killed while copying into the save folder.

The settings folder, the transfers folder and the save folder each get a small tmpfs
of their own, mounted in a private mount namespace (the test runs itself again under
`unshare`; without the right to do that it says why and skips). Under Wine the
wineserver opens the files for its programs, so the prefix's server must run inside
that namespace too: one that runs outside is ended first, and the one started inside
is ended at the end.

- a chunk that does not fit answers "io_error" with the system's text, the partial file
  is cut back to the bytes counted, and once space is freed the same transfer goes on
  and is saved with the right bytes;
- a file that cannot be copied into a full save folder stays where it was, and nothing
  is left in the save folder;
- a store that cannot be written leaves the old config.json whole;
- hosts killed at random moments while copying a file into the save folder (another
  file system, so no rename) never leave part of a file under a final name, and the
  next save removes their temporary copies.

The random moments come from a seed printed at the start; TESSIVA_FAULT_SEED=<n>
replays them.
"""

import base64
import contextlib
import json
import os
import random
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from faultlib import seeded_random  # noqa: E402  (the path is set just above)
from hostlib import frame, main  # noqa: E402

INSIDE = "TESSIVA_DISK_FULL_NAMESPACE"
KILL_ROUNDS = 12


def enter_mount_namespace():
    """Runs this script again in a mount namespace of its own, where it may mount;
    returns only when that is not possible, with the reason."""
    ways = [["unshare", "--mount", "--propagation", "private"]] if os.geteuid() == 0 else []
    ways.append(["unshare", "--user", "--map-root-user", "--mount", "--propagation", "private"])
    reasons = []
    for way in ways:
        probe = subprocess.run([*way, "true"], capture_output=True, text=True)
        if probe.returncode == 0:
            env = dict(os.environ, **{INSIDE: "1"})
            raise SystemExit(subprocess.run([*way, sys.executable, *sys.argv], env=env).returncode)
        reasons.append(f"{' '.join(way)}: {probe.stderr.strip() or probe.returncode}")
    return "; ".join(reasons)


def mount_tmpfs(folder, size):
    folder.mkdir(parents=True, exist_ok=True)
    subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", str(folder)], check=True)


def unmount(folder):
    subprocess.run(["umount", "-l", str(folder)], check=False)


def fill(folder, leave):
    """Fills the file system of `folder` until about `leave` bytes are free; returns the
    filler file, whose removal frees the space again."""
    filler = folder / "filler"
    with open(filler, "wb") as out:
        try:
            free = shutil.disk_usage(folder).free
            if free > leave:
                out.write(b"\0" * (free - leave))
        except OSError:
            pass
    return filler


def request(host, body, timeout=None):
    return json.loads(host.request(json.dumps(body).encode(), timeout))


def no_space(target):
    """How the host's error text ends for a full disk (ENOSPC, ERROR_DISK_FULL)."""
    return "(os error 112)" if target.wine else "(os error 28)"


def error_of(reply):
    return (reply.get("error") or {}).get("code"), (reply.get("error") or {}).get("detail", "")


def transfers_group(target, tally):
    """A chunk into a full transfers folder, then the same transfer after space is freed."""
    home = target.root / "transfers-home"
    save = target.root / "transfers-saved"  # on another file system: the save copies
    host = target.host(home=home)
    cache = host.transfers_folder
    mount_tmpfs(cache, "256k")
    try:
        with host:
            reply = request(host, {"type": "set_config", "id": 1, "config": {
                "version": 1, "save_folder": target.windows_path(save)}})
            tally.equal("transfers: settings stored", reply.get("ok"), True)
            data = random.Random(7).randbytes(160 * 1024)
            chunks = [data[i:i + 40 * 1024] for i in range(0, len(data), 40 * 1024)]
            begun = request(host, {"type": "begin_transfer", "id": 2, "original_name": "full.bin", "size": len(data)})
            transfer = begun.get("result", {}).get("transfer_id")
            partials = list(cache.rglob("*.part"))
            if not transfer or len(partials) != 1:
                tally.fails("transfers: begun", f"{begun} {partials}")
                return
            partial = partials[0]
            sent = request(host, {"type": "transfer_chunk", "id": 3, "transfer_id": transfer,
                                  "data": base64.b64encode(chunks[0]).decode()})
            tally.equal("transfers: the first chunk fits", sent.get("result"), {"received": len(chunks[0])})
            filler = fill(cache, 8 * 1024)
            refused = request(host, {"type": "transfer_chunk", "id": 4, "transfer_id": transfer,
                                     "data": base64.b64encode(chunks[1]).decode()})
            code, message = error_of(refused)
            tally.equal("transfers: a chunk that does not fit", (code, message.endswith(no_space(target))),
                        ("io_error", True))
            tally.equal("transfers: the partial file is cut back to the bytes counted",
                        partial.stat().st_size, len(chunks[0]))
            filler.unlink()
            received = 0
            for number, chunk in enumerate(chunks[1:], start=5):
                reply = request(host, {"type": "transfer_chunk", "id": number, "transfer_id": transfer,
                                       "data": base64.b64encode(chunk).decode()})
                received = reply.get("result", {}).get("received")
            tally.equal("transfers: the same transfer goes on once space is freed", received, len(data))
            finished = request(host, {"type": "finish_transfer", "id": 9, "transfer_id": transfer,
                                      "target": {"kind": "save_only"}})
            saved = finished.get("result", {}).get("saved_path")
            saved = saved and target.local_path(saved)
            tally.equal("transfers: saved with the right bytes",
                        saved.read_bytes() == data if saved else finished, True)
            tally.equal("transfers: no partial file left", list(cache.rglob("*.part")), [])
            tally.equal("transfers: no copy left in the save folder",
                        sorted(p.name for p in save.iterdir()), [saved.name] if saved else [])
    finally:
        unmount(cache)


def save_folder_group(target, tally):
    """A file that cannot be copied into a full save folder stays where it was."""
    home = target.root / "save-home"
    save = target.root / "save-full"
    mount_tmpfs(save, "256k")
    try:
        host = target.host(home=home)
        with host:
            request(host, {"type": "set_config", "id": 1, "config": {
                "version": 1, "save_folder": target.windows_path(save)}})
            source = target.root / "big-source.bin"
            data = random.Random(8).randbytes(1024 * 1024)
            source.write_bytes(data)
            reply = request(host, {"type": "open_file", "id": 2, "source_path": target.windows_path(source),
                                   "original_name": "big.bin", "target": {"kind": "save_only"}})
            code, message = error_of(reply)
            tally.equal("save folder full: io_error with the system's text",
                        (code, message.endswith(no_space(target))), ("io_error", True))
            tally.equal("save folder full: the source stays whole",
                        source.is_file() and source.read_bytes() == data, True)
            tally.equal("save folder full: nothing left in the save folder", sorted(os.listdir(save)), [])
            small = target.root / "small-source.bin"
            small.write_bytes(data[:10000])
            reply = request(host, {"type": "open_file", "id": 3, "source_path": target.windows_path(small),
                                   "original_name": "small.bin", "target": {"kind": "save_only"}})
            saved = reply.get("result", {}).get("saved_path")
            tally.equal("save folder: a file that fits is copied in whole",
                        (target.local_path(saved).read_bytes() == data[:10000], small.exists()) if saved else reply, (True, False))
    finally:
        unmount(save)


def settings_group(target, tally):
    """A store into a full settings folder leaves the old config.json whole."""
    home = target.root / "settings-home"
    host = target.host(home=home)
    config = host.settings_file.parent
    mount_tmpfs(config, "64k")
    try:
        with host:
            request(host, {"type": "set_config", "id": 1, "config": {"version": 1, "theme": "dark"}})
            stored = [p for p in config.rglob("config.json")]
            if len(stored) != 1:
                tally.fails("settings: first store", f"config.json files: {stored}")
                return
            before = stored[0].read_bytes()
            fill(config, 0)
            reply = request(host, {"type": "set_config", "id": 2, "config": {
                "version": 1, "theme": "light"}})
            code, message = error_of(reply)
            tally.equal("settings full: io_error with the system's text",
                        (code, message.endswith(no_space(target))), ("io_error", True))
            tally.equal("settings full: the old config.json is whole", stored[0].read_bytes(), before)
            tally.equal("settings full: no temporary file left",
                        sorted(p.name for p in stored[0].parent.iterdir()), ["config.json", "filler"])
    finally:
        unmount(config)


def killed_copies_group(target, tally):
    """Hosts killed while copying into the save folder never leave part of a file under
    a final name; the next save removes their temporary copies."""
    rng = seeded_random()
    home = target.root / "copy-home"
    save = target.root / "copy-save"
    mount_tmpfs(save, "512m")
    try:
        data = rng.randbytes(1024 * 1024) * 48
        bad, copies_seen = [], 0
        for round_number in range(KILL_ROUNDS):
            source = target.root / f"copy-source-{round_number}.bin"
            source.write_bytes(data)
            host = target.host(home=home)
            host.start()
            if round_number == 0:
                host.request(json.dumps({"type": "set_config", "id": 0, "config": {
                    "version": 1, "save_folder": target.windows_path(save)}}).encode())
            else:
                host.request(b'{"type":"hello","id":0}')  # it runs (under Wine that takes a while)
            host.send(frame(json.dumps({"type": "open_file", "id": 1, "source_path": target.windows_path(source),
                                        "original_name": "copy.bin", "target": {"kind": "save_only"}}).encode()))
            time.sleep(rng.uniform(0.0, 0.08))
            host.kill()
            names = os.listdir(save)
            copies_seen += sum(name.startswith(".tessiva-copy-") for name in names)
            for name in names:
                if name.startswith(".tessiva-copy-"):
                    continue
                size = (save / name).stat().st_size
                if size not in (0, len(data)):
                    bad.append((round_number, name, size))
            source.unlink(missing_ok=True)
        tally.equal("killed copies: no partial file under a final name", bad, [])
        print(f"  {KILL_ROUNDS} hosts killed, {copies_seen} temporary copies seen", flush=True)
        # The next save removes the copies of the killed hosts.
        source = target.root / "copy-last.bin"
        source.write_bytes(b"last")
        host = target.host(home=home)
        with host:
            reply = request(host, {"type": "open_file", "id": 2, "source_path": target.windows_path(source),
                                   "original_name": "last.bin", "target": {"kind": "save_only"}})
        tally.equal("killed copies: the next save works", reply.get("ok"), True)
        tally.equal("killed copies: the next save removes the temporary copies",
                    [name for name in os.listdir(save) if name.startswith(".tessiva-copy-")], [])
    finally:
        unmount(save)


@contextlib.contextmanager
def own_wineserver():
    """Under Wine: the prefix's wineserver runs in this mount namespace, for as long as
    the tests do (see the top)."""
    if "--wine" not in sys.argv:
        yield
        return
    runner, exe = sys.argv[sys.argv.index("--wine") + 1:][:2]
    state = Path(os.environ.get("TESSIVA_WINE_STATE") or Path(exe).resolve().parent / "wine")
    env = dict(os.environ, WINEPREFIX=str(state / "prefix"))
    stop = ["wineserver", "-k"]
    subprocess.run(stop, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        yield
    finally:
        subprocess.run(stop, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    if os.environ.get(INSIDE) != "1":
        why = enter_mount_namespace()
        print(f"disk full: SKIPPED, no right to mount a tmpfs here ({why})")
        raise SystemExit(77)
    with own_wineserver():
        code = main([transfers_group, save_folder_group, settings_group, killed_copies_group])
    raise SystemExit(code)
