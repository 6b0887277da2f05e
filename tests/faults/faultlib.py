"""Pieces the fault tests share beyond tests/e2e/hostlib.py: the printed seed, the id
a host writes into the names of its files, and the Windows helper (fault_helper.exe,
built with the Windows build) that holds files open and reads handle counts.

On ending hosts: `Host.kill` sends SIGKILL to the process it started. Natively that
is the host. Under Wine it is the host too: the runner script and the wine launcher
only exec, so the Unix process is the Windows process (its /proc entry is the host's,
with its memory), and SIGKILL ends it at once, like TerminateProcess: none of its code
runs any more, nothing it buffered is written, and the wineserver, seeing its
connection drop, closes its handles and marks it ended.
"""

import contextlib
import json
import os
import random
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
import hostlib  # noqa: E402  (the path is set just above)


def seeded_random():
    seed = int(os.environ.get("TESSIVA_FAULT_SEED", random.randrange(1 << 32)))
    print(f"  seed {seed} (replay with TESSIVA_FAULT_SEED={seed})", flush=True)
    return random.Random(seed)


def id_in_names(host):
    """The process id that `host` writes into the names of its files (under Wine the
    Windows id, which is not the Unix one), read from the name of a partial file it
    creates. Partial files already in its transfers folder must belong to ended hosts:
    they are removed first, so that the new one is the only one."""
    folder = host.transfers_folder
    for leftover in folder.glob("*.part") if folder.is_dir() else []:
        leftover.unlink(missing_ok=True)
    reply = json.loads(host.request({"type": "begin_transfer", "id": "id", "original_name": "id.txt", "size": 1}))
    names = [p.name for p in folder.glob("*.part")]
    host.request({"type": "cancel_transfer", "id": "id", "transfer_id": reply["result"]["transfer_id"]})
    if len(names) != 1:
        raise AssertionError(f"one partial file expected, found {names}")
    return int(names[0].split("-")[0])


def helper_command(target, *args):
    """The command that runs the Windows helper through the Wine runner."""
    helper = os.environ.get("TESSIVA_FAULT_HELPER")
    if not helper:
        raise AssertionError("TESSIVA_FAULT_HELPER names no helper program")
    return [*target.launcher[:-1], helper, *args]


def helper_environment(target):
    return dict(os.environ, TESSIVA_WINE_STATE=str(target.wine_state))


class Holder:
    """A Windows process that holds one file open (see `held_open`)."""

    def __init__(self, process, path):
        self.process, self.path = process, path

    def wait_held(self):
        line = self.process.stdout.readline().strip()
        if line != "held":
            raise AssertionError(f"the helper could not hold {self.path}: {line or 'no answer'}")


@contextlib.contextmanager
def held_open(target, path, wait=True):
    """Holds the file at local `path` open for reading with read sharing only, from a
    Windows process, while the block runs. The helper waits for the file to appear:
    with `wait` the block starts once the file is held, without it as soon as the
    helper looks for it (the block then calls `wait_held` on what it is given)."""
    helper = subprocess.Popen(helper_command(target, "hold", target.windows_path(path)),
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                              env=helper_environment(target))
    holder = Holder(helper, path)
    try:
        line = helper.stdout.readline().strip()
        if line != "waiting":
            raise AssertionError(f"the helper did not start: {line or 'no answer'}")
        if wait:
            holder.wait_held()
        yield holder
    finally:
        helper.stdin.close()
        try:
            helper.wait(30)
        except subprocess.TimeoutExpired:
            helper.kill()
            helper.wait()


def handle_counts(target, windows_id):
    """{source: count or the reason there is none} for the process `windows_id`, as
    GetProcessHandleCount and the system's process list report it."""
    run = subprocess.run(helper_command(target, "handles", str(windows_id)), capture_output=True,
                         text=True, env=helper_environment(target), timeout=60)
    counts = {}
    for line in run.stdout.splitlines():
        source, _, value = line.partition(" ")
        counts[source] = int(value) if value.isdigit() else value
    return counts
