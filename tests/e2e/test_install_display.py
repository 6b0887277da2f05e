"""The uninstaller's and the installer's message boxes on a real (virtual) display.

Under Wine a private Xvfb display is started for the run and each box is found by its
caption "Tessiva" with xdotool: answering No to the uninstaller's question ends it
with code 2 and leaves every key in place; Yes removes them and shows the closing
box. The installer asks first: No ends it with code 2 and nothing written, not even
the programs folder; Yes installs and shows the closing box. The Linux build has no
per-user installation yet and refuses at once with code 1.
"""

import os
import shutil
import sys
import time

from hostlib import main
from test_install import HOST_KEYS, UNINSTALL_KEY, WinePrefix, install_paths, remove_installation
from test_pickers_display import VirtualDisplay, find_window, restart_wine, xdotool

BOX_TIMEOUT = 90.0


def answer(display, window, key):
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "--clearmodifiers", key)


def start(target, args):
    host = target.host(args=args, timeout=BOX_TIMEOUT)
    host.start()
    return host


def finish(host, timeout=60.0):
    try:
        return host.wait(timeout)
    except Exception:  # noqa: BLE001  (still running: end the one process we started)
        host.kill()
        return None


def add_installation_keys(prefix):
    for key in HOST_KEYS:
        prefix.add_key(key, r"C:\x\manifest.json")
    prefix.add_key(UNINSTALL_KEY, "Tessiva", "DisplayName")


def other_box(display, seen):
    """The next box captioned "Tessiva" that is not `seen`, or None after the timeout."""
    deadline = time.monotonic() + BOX_TIMEOUT
    while time.monotonic() < deadline:
        found = xdotool(display, "search", "--onlyvisible", "--name", "^Tessiva$").stdout.split()
        done = next((w for w in found if w != seen), None)
        if done is not None:
            return done
        time.sleep(0.3)
    return None


def declines(target, tally, display, args, who):
    """Starts the program with `args` and answers No to its question: exit code 2."""
    host = start(target, args)
    window = find_window(display, "Tessiva", time.monotonic() + BOX_TIMEOUT)
    tally.equal(f"{who}: the question appears", window is not None, True)
    if window is not None:
        time.sleep(1)
        answer(display, window, "n")
    tally.equal(f"{who}: No gives exit code 2", finish(host), 2)


def accepts(target, tally, display, args, who, while_open=None):
    """Starts the program with `args`, answers Yes to its question and closes the box
    that follows (after calling `while_open`): exit code 0."""
    host = start(target, args)
    question = find_window(display, "Tessiva", time.monotonic() + BOX_TIMEOUT)
    tally.equal(f"{who}: the question appears before Yes", question is not None, True)
    if question is not None:
        time.sleep(1)
        answer(display, question, "Return")
        done = other_box(display, question)
        tally.equal(f"{who}: the closing box appears after Yes", done is not None, True)
        if done is not None:
            if while_open:
                while_open()
            time.sleep(1)
            answer(display, done, "Return")
    tally.equal(f"{who}: Yes gives exit code 0", finish(host), 0)


def boxes_on_wine(target, tally, display, prefix):
    # No: exit code 2, nothing removed.
    declines(target, tally, display, ["--uninstall"], "uninstaller")
    for key in HOST_KEYS + [UNINSTALL_KEY]:
        tally.equal(f"uninstaller: after No, {key} is still there", prefix.key_exists(key), True)

    # Yes: the keys go and the closing box follows the question.
    def keys_are_gone():
        for key in HOST_KEYS + [UNINSTALL_KEY]:
            tally.equal(f"uninstaller: while the closing box is open, {key} is gone", prefix.key_exists(key), False)

    accepts(target, tally, display, ["--uninstall"], "uninstaller", keys_are_gone)

    # The installer's question: No writes and creates nothing, Yes installs and says so.
    programs = install_paths(prefix)["programs"]
    had_programs = programs.exists()
    for key in HOST_KEYS + [UNINSTALL_KEY]:
        prefix.delete_key(key)
    declines(target, tally, display, [], "installer")
    tally.equal("installer: after No, the programs folder is as it was", programs.exists(), had_programs)
    for key in HOST_KEYS + [UNINSTALL_KEY]:
        tally.equal(f"installer: after No, {key} was not written", prefix.key_exists(key), False)

    accepts(target, tally, display, [], "installer")
    tally.equal("installer: the executable is installed", install_paths(prefix)["exe"].is_file(), True)
    remove_installation(prefix)


def boxes_group(target, tally):
    if not target.wine:
        # Linux shows no box: without a terminal nothing is asked (see
        # test_linux_install), and both run to their end.
        for args in (["--uninstall"], []):
            host = start(target, args)
            tally.equal(f"linux: {args} runs without a question", finish(host), 0)
        return
    missing = [tool for tool in ("Xvfb", "xdotool") if shutil.which(tool) is None]
    if missing:
        tally.fails("setup", f"{', '.join(missing)} not installed (Debian: xvfb, xdotool)")
        return
    prefix = WinePrefix(target)
    # The keys are made before Wine moves to the new display: until a program with a
    # window has started Wine's desktop there, each reg.exe may wait a minute for it.
    add_installation_keys(prefix)
    display = VirtualDisplay()
    restart_wine(target)
    saved_display = os.environ.get("DISPLAY")
    os.environ["DISPLAY"] = display.name
    try:
        boxes_on_wine(target, tally, display.name, prefix)
    finally:
        if saved_display is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = saved_display
        restart_wine(target)
        display.close()
        for key in HOST_KEYS + [UNINSTALL_KEY]:
            prefix.delete_key(key)


if __name__ == "__main__":
    sys.exit(main([boxes_group]))
