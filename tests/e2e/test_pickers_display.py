"""The pickers on a real (virtual) display: each dialog appears with the title of the
language in the settings, closing it answers {"cancelled": true}, and a program typed
into the application dialog is answered with its description and icon.

Under Wine a private Xvfb display is started for the run; the dialog is found by its
title with xdotool and closed with the Escape key. The native stand-in shows no dialog
and answers "cancelled" at once. With --screenshots FOLDER (used by
scripts/screenshots-pickers.sh) every dialog is also captured (ImageMagick import)
before it is closed, and all three languages are shown.
"""

import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

from hostlib import frame, main, session
from test_shell import SavedConfig, restart_wine

TITLES = {
    "en": {"pick_folder": "Choose the folder for saved files", "pick_application": "Choose an application"},
    "es": {"pick_folder": "Elegir la carpeta de los archivos guardados", "pick_application": "Elegir una aplicación"},
    "pt-BR": {"pick_folder": "Escolher a pasta dos arquivos salvos", "pick_application": "Escolher um aplicativo"},
}
DIALOG_TIMEOUT = 90.0

screenshots = None
if "--screenshots" in sys.argv:
    at = sys.argv.index("--screenshots")
    screenshots = Path(sys.argv[at + 1])
    del sys.argv[at:at + 2]


def ask(host, request):
    return json.loads(host.request(json.dumps(request).encode()))


class VirtualDisplay:
    """A private Xvfb server, ended (by its own pid) when the run is over."""

    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x800x24", "-nolisten", "tcp"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as stream:
            number = stream.readline().strip()
        if not number:
            self.close()
            raise OSError("Xvfb did not start")
        self.name = ":" + number

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


def xdotool(display, *args):
    return subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=display),
                          capture_output=True, text=True, timeout=30)


def find_window(display, title, deadline):
    """The X window whose name is exactly `title`, waiting for it to be mapped."""
    pattern = "^" + "".join("\\" + c if c in ".^$*+?()[]{}|\\" else c for c in title) + "$"
    while time.monotonic() < deadline:
        found = xdotool(display, "search", "--onlyvisible", "--name", pattern)
        ids = found.stdout.split()
        if ids:
            return ids[0]
        time.sleep(0.5)
    return None


def close_dialog(display, window):
    """Presses Escape in the dialog; the dialog's Cancel."""
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "--clearmodifiers", "Escape")


def show_and_cancel(target, tally, host, display, language, kind):
    name = f"{kind} in {language}"
    title = TITLES[language][kind]
    host.send(frame(json.dumps({"type": kind, "id": name}).encode()))
    if not target.wine:
        tally.equal(f"{name}: cancelled at once", json.loads(host.read_replies(1)[0]),
                    {"id": name, "ok": True, "result": {"cancelled": True}})
        return
    window = find_window(display, title, time.monotonic() + DIALOG_TIMEOUT)
    if window is None:
        tally.fails(f"{name}: the dialog appears titled {title!r}", "no such window")
        host.kill()
        return
    tally.passes(f"{name}: the dialog appears titled {title!r}")
    time.sleep(3)  # let the dialog finish drawing its contents
    if screenshots is not None:
        screenshots.mkdir(parents=True, exist_ok=True)
        shot = screenshots / f"{kind}-{language}.png"
        subprocess.run(["import", "-display", display, "-window", "root", str(shot)], check=False, timeout=60)
        tally.equal(f"{name}: screenshot taken", shot.is_file(), True)
    reply = None
    for _ in range(5):
        close_dialog(display, window)
        try:
            reply = json.loads(host.read_replies(1, timeout=10)[0])
            break
        except Exception:  # noqa: BLE001  (the key may arrive before the dialog takes input)
            if not host.running:
                break
    tally.equal(f"{name}: closing it answers cancelled", reply,
                {"id": name, "ok": True, "result": {"cancelled": True}})


def choose_program(target, tally, host, display):
    """Types the path of our own executable into the application dialog and opens it:
    the reply describes that program."""
    name = "pick_application: typing a program's path"
    exe = "Z:" + str(Path(target.launcher[-1]).resolve()).replace("/", "\\")
    host.send(frame(json.dumps({"type": "pick_application", "id": 1}).encode()))
    window = find_window(display, TITLES["en"]["pick_application"], time.monotonic() + DIALOG_TIMEOUT)
    if window is None:
        tally.fails(name, "the dialog did not appear")
        host.kill()
        return
    time.sleep(1.5)
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "type", "--delay", "20", exe)
    xdotool(display, "key", "Return")
    try:
        reply = json.loads(host.read_replies(1, timeout=30)[0])
    except Exception as error:  # noqa: BLE001
        tally.fails(name, f"no reply: {error}")
        host.kill()
        return
    result = reply.get("result", {})
    icon = result.get("icon_png")
    tally.equal(name, (str(result.get("path", "")).lower(), result.get("name"), isinstance(icon, str) and len(icon)),
                (exe.lower(), "Tessiva", 5596))


def pickers_group(target, tally):
    if target.wine:
        missing = [tool for tool in ("Xvfb", "xdotool") + (("import",) if screenshots else ())
                   if shutil.which(tool) is None]
        if missing:
            tally.fails("setup", f"{', '.join(missing)} not installed (Debian: xvfb, xdotool, imagemagick)")
            return
        display = VirtualDisplay()
        restart_wine(target)
    else:
        display = None
    saved_display = os.environ.get("DISPLAY")
    if display is not None:
        os.environ["DISPLAY"] = display.name
    try:
        languages = list(TITLES) if screenshots else ["en", "es"]
        with session(target, tally, "pickers on a display") as host:
            config = SavedConfig(target, host)
            try:
                for language in languages:
                    if not host.running:
                        break
                    stored = ask(host, {"type": "set_config", "config": {"version": 1, "language": language}})
                    tally.equal(f"language {language} is set", stored.get("ok"), True)
                    for kind in ("pick_folder", "pick_application"):
                        if host.running:
                            show_and_cancel(target, tally, host, display.name if display else None, language, kind)
                if target.wine and host.running:
                    ask(host, {"type": "set_config", "config": {"version": 1, "language": "en"}})
                    choose_program(target, tally, host, display.name)
            finally:
                config.restore()
    finally:
        if saved_display is None:
            os.environ.pop("DISPLAY", None)
        else:
            os.environ["DISPLAY"] = saved_display
        if display is not None:
            restart_wine(target)
            display.close()


if __name__ == "__main__":
    raise SystemExit(main([pickers_group]))
