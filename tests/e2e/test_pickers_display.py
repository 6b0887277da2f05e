"""The pickers on a real (virtual) display: each dialog appears with the title of the
language in the settings, closing it answers {"cancelled": true}, and a path typed
into a dialog is answered with that folder, or with that program's description.

A private Xvfb display is started for the run; the dialog is found by its title with
xdotool and driven with keys. Under Wine the dialogs are the system's file dialogs.
The Linux host shows GTK's file chooser for folders and GTK's list of applications,
whose Browse… button leads to the file chooser for programs: it runs on a private
session bus (dbus-run-session, so no desktop service of the machine answers), with
in-memory desktop settings, beside a window manager and another program's window, and
its applications are desktop entries with icons in a private data folder; its dialogs
must become the active window and stay above that window when it is activated after
them. A small GTK module (dialog_probe.c, loaded through GTK_MODULES) reports what the
host's windows show: the buttons ("Select", "Browse…") and GTK's own words must be in
the language of the settings, and the list must show each application's name in that
language with its own icon. Without a display the Linux host answers "cancelled" at
once. With --screenshots FOLDER (used by
scripts/screenshots-pickers.sh) every dialog is also captured (ImageMagick import)
before it is closed, and all three languages are shown.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib
from pathlib import Path

# The Linux host talks to the session bus (GTK does); the whole run gets a bus of its own.
if ("--native" in sys.argv and os.environ.get("TESSIVA_PRIVATE_BUS") != "1"
        and shutil.which("dbus-run-session") is not None):
    os.environ["TESSIVA_PRIVATE_BUS"] = "1"
    os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable, *sys.argv])

from hostlib import frame, main, session
from test_shell import SavedConfig, restart_wine

TITLES = {
    "en": {"pick_folder": "Choose the folder for saved files", "pick_application": "Choose an application"},
    "es": {"pick_folder": "Elegir la carpeta de los archivos guardados", "pick_application": "Elegir una aplicación"},
    "pt-BR": {"pick_folder": "Escolher a pasta dos arquivos salvos", "pick_application": "Escolher um aplicativo"},
}
DIALOG_TIMEOUT = 90.0
# The Linux dialogs' buttons of the host's own, and the key that presses Browse….
SELECT = {"en": "_Select", "es": "_Seleccionar", "pt-BR": "_Selecionar"}
BROWSE = {"en": ("_Browse…", "b"), "es": ("_Examinar…", "e"), "pt-BR": ("_Procurar…", "p")}
# GTK's own words from its translations: the Cancel button and a place of the file dialog.
GTK_WORDS = {"en": ("_Cancel", "Other Locations"), "es": ("_Cancelar", "Otras ubicaciones"),
             "pt-BR": ("_Cancelar", "Outros locais")}
# The applications of the private data folder: desktop entry, names (en, es, pt-BR),
# icon name and colour.
APPS = [
    ("aurora-editor.desktop", ("Aurora Editor", "Editor Aurora", "Editor Aurora"), "tessiva-test-aurora",
     (40, 110, 220)),
    ("image-viewer.desktop", ("Image Viewer", "Visor de imágenes", "Visualizador de imagens"),
     "tessiva-test-viewer", (220, 120, 30)),
    ("sketch-pad.desktop", ("Sketch Pad", "Bloc de dibujo", "Bloco de desenho"), "tessiva-test-sketch",
     (40, 160, 80)),
]
LANGUAGE_INDEX = {"en": 0, "es": 1, "pt-BR": 2}

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


class Desktop:
    """A window manager (openbox) on the display and one ordinary window of another
    program (ImageMagick's display), both ended by their own pids at the end."""

    def __init__(self, display):
        env = dict(os.environ, DISPLAY=display, HOME=tempfile.mkdtemp(prefix="tessiva-wm-"))
        self.display = display
        self.home = env["HOME"]
        self.processes = [subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)]
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and not root_windows(display, "_NET_SUPPORTING_WM_CHECK"):
            time.sleep(0.2)
        self.processes.append(subprocess.Popen(["display", "-title", "another program", "-size", "640x480",
                                                "xc:gray60"], env=env, stdout=subprocess.DEVNULL,
                                               stderr=subprocess.DEVNULL))
        self.other = find_window(display, "another program", deadline + 30)

    def activate_other(self):
        if self.other is not None:
            xdotool(self.display, "windowactivate", "--sync", self.other)

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
        shutil.rmtree(self.home, ignore_errors=True)


def root_windows(display, name):
    """The window ids in the root window's property `name`, in their order."""
    found = subprocess.run(["xprop", "-display", display, "-root", name], capture_output=True, text=True,
                           timeout=30)
    _, _, ids = found.stdout.partition("#")
    return [int(text, 16) for text in ids.replace(",", " ").split() if text.startswith("0x")]


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


def probe_lines(probe, title, wanted, deadline):
    """What the probe last reported of the visible window titled `title`, once it
    includes every line of `wanted` (at the deadline, whatever it reports)."""
    while True:
        try:
            text = probe.read_text(encoding="utf-8")
        except OSError:
            text = ""
        lines, inside = [], False
        for line in text.splitlines():
            if line.startswith("window\t"):
                inside = line == "window\t" + title
            elif inside:
                lines.append(line)
        if all(line in lines for line in wanted) or time.monotonic() > deadline:
            return lines
        time.sleep(0.25)


def check_contents(tally, probe, places, name, language, kind, title):
    """The dialog's buttons and GTK's words are in `language`; the application list
    names every application of the private data folder in it, with its own icon."""
    cancel, place = GTK_WORDS[language]
    wanted = [f"button\t{cancel}", f"button\t{SELECT[language]}"]
    wanted.append(f"label\t{place}" if kind == "pick_folder" else f"button\t{BROWSE[language][0]}")
    lines = probe_lines(probe, title, wanted, time.monotonic() + 15)
    tally.equal(f"{name}: the buttons and GTK's own words are in {language}",
                [line for line in wanted if line not in lines], [])
    if kind != "pick_application":
        return
    rows = {}
    for line in lines:
        if line.startswith("row\t"):
            _, text, icon = line.split("\t")
            rows[text] = icon
    icons = places["data"] / "icons" / "hicolor" / "48x48" / "apps"
    expected = {names[LANGUAGE_INDEX[language]]: str(icons / f"{icon}.png") for _, names, icon, _ in APPS}
    tally.equal(f"{name}: the applications are listed by name with their own icons",
                {text: rows.get(text) for text in expected}, expected)


def show_and_cancel(target, tally, host, display, language, kind, desktop=None, probe=None, places=None):
    name = f"{kind} in {language}"
    title = TITLES[language][kind]
    host.send(frame(json.dumps({"type": kind, "id": name}).encode()))
    window = find_window(display, title, time.monotonic() + DIALOG_TIMEOUT)
    if window is None:
        tally.fails(f"{name}: the dialog appears titled {title!r}", "no such window")
        host.kill()
        return
    tally.passes(f"{name}: the dialog appears titled {title!r}")
    if probe is not None:
        check_contents(tally, probe, places, name, language, kind, title)
    if not target.wine:
        tally.equal(f"{name}: the dialog asks to stay above other windows", is_kept_above(display, window), True)
    if desktop is not None:
        time.sleep(1)
        tally.equal(f"{name}: the dialog is the active window", root_windows(display, "_NET_ACTIVE_WINDOW"),
                    [int(window)])
        desktop.activate_other()
        time.sleep(1)
        stacking = root_windows(display, "_NET_CLIENT_LIST_STACKING")
        tally.equal(f"{name}: the dialog stays above another program's window activated after it",
                    (stacking[-1:], int(desktop.other or 0) in stacking), ([int(window)], True))
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


def type_and_choose(tally, host, display, name, request_id, title, text):
    """Asks for the application dialog, types `text` into it as it opens and presses
    Return; gives the reply, or None after a failure."""
    host.send(frame(json.dumps({"type": "pick_application", "id": request_id}).encode()))
    window = find_window(display, title, time.monotonic() + DIALOG_TIMEOUT)
    if window is None:
        tally.fails(name, "the dialog did not appear")
        host.kill()
        return None
    time.sleep(1.5)
    xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "type", "--delay", "20", text)
    time.sleep(0.5)
    xdotool(display, "key", "Return")
    try:
        return json.loads(host.read_replies(1, timeout=30)[0])
    except Exception as error:  # noqa: BLE001
        tally.fails(name, f"no reply: {error}")
        host.kill()
        return None


def choose_program(target, tally, host, display):
    """Types the path of our own executable into the application dialog and opens it:
    the reply describes that program."""
    name = "pick_application: typing a program's path"
    exe = "Z:" + str(Path(target.launcher[-1]).resolve()).replace("/", "\\")
    reply = type_and_choose(tally, host, display, name, 1, TITLES["en"]["pick_application"], exe)
    if reply is None:
        return
    result = reply.get("result", {})
    icon = result.get("icon_png")
    tally.equal(name, (str(result.get("path", "")).lower(), result.get("name"), isinstance(icon, str) and len(icon)),
                (exe.lower(), "Tessiva", 5596))


def is_kept_above(display, window):
    """Whether the window carries the window manager's "above" state (set by the client
    when it maps the window; a window manager keeps it while it runs)."""
    found = subprocess.run(["xprop", "-id", window, "_NET_WM_STATE"], env=dict(os.environ, DISPLAY=display),
                           capture_output=True, text=True, timeout=30)
    return "_NET_WM_STATE_ABOVE" in found.stdout


def type_path(target, tally, host, display, language, kind, path, browse=False):
    """Opens the dialog of `kind`, types `path` into its location entry (ctrl+L) and
    presses Return; gives the reply's result, or None after a failure. With `browse`,
    the application list's Browse… button is pressed first (by its access key), and
    the path is typed into the file dialog that takes the list's place."""
    name = f"{kind} in {language}: typing {path}"
    title = TITLES[language][kind]
    host.send(frame(json.dumps({"type": kind, "id": name}).encode()))
    window = find_window(display, title, time.monotonic() + DIALOG_TIMEOUT)
    if window is None:
        tally.fails(name, "the dialog did not appear")
        host.kill()
        return None
    time.sleep(1.5)
    xdotool(display, "windowfocus", "--sync", window)
    if browse:
        xdotool(display, "key", "--clearmodifiers", "alt+" + BROWSE[language][1])
        deadline = time.monotonic() + 30
        listed = window
        while window == listed and time.monotonic() < deadline:
            time.sleep(0.25)
            window = find_window(display, title, deadline)
        if window in (None, listed):
            tally.fails(name, "Browse… did not open the file dialog")
            host.kill()
            return None
        time.sleep(1.5)
        xdotool(display, "windowfocus", "--sync", window)
    xdotool(display, "key", "--clearmodifiers", "ctrl+l")
    time.sleep(0.5)
    xdotool(display, "type", "--delay", "20", path)
    time.sleep(0.5)
    xdotool(display, "key", "Return")
    try:
        reply = json.loads(host.read_replies(1, timeout=30)[0])
    except Exception as error:  # noqa: BLE001
        tally.fails(name, f"no reply: {error}")
        host.kill()
        return None
    tally.equal(f"{name}: answered", (reply.get("id"), reply.get("ok")), (name, True))
    gone = find_window(display, TITLES[language][kind], time.monotonic() + 0.1)
    tally.equal(f"{name}: the dialog is gone when the reply comes", gone, None)
    return reply.get("result")


def choose_listed(tally, host, display, language, places):
    """Types the start of an application's name into the list and presses Return: the
    reply describes its desktop entry in the private data folder."""
    entry, names, _, _ = APPS[0]
    name = f"pick_application in {language}: choosing {names[LANGUAGE_INDEX[language]]} in the list"
    reply = type_and_choose(tally, host, display, name, name, TITLES[language]["pick_application"],
                            names[LANGUAGE_INDEX[language]])
    if reply is None:
        return
    # The reply is the "app_info" of the entry: its name in the host's own language
    # (English here), as the dialog's language is gone with the dialog.
    result = reply.get("result", {})
    tally.equal(name, (reply.get("id"), sorted(result), result.get("path"), result.get("name"),
                       isinstance(result.get("icon_png"), str)),
                (name, ["icon_png", "name", "path"], str(places["data"] / "applications" / entry), names[0], True))


def native_choices(target, tally, host, display, language, places):
    """Both dialogs answer with the path typed into them; the application list with
    the desktop entry of the application chosen in it."""
    folder = type_path(target, tally, host, display, language, "pick_folder", str(places["folder"]))
    if folder is not None:
        tally.equal(f"pick_folder in {language}: the typed folder", folder, {"path": str(places["folder"])})
    if not host.running:
        return
    choose_listed(tally, host, display, language, places)
    if not host.running:
        return
    for program in (places["entry"], places["executable"]):
        result = type_path(target, tally, host, display, language, "pick_application", str(program), browse=True)
        if result is None:
            return
        tally.equal(f"pick_application in {language}: the typed program {program.name}",
                    (result.get("path"), isinstance(result.get("name"), str) and bool(result.get("name"))),
                    (str(program), True))


def icon_png(colour, size=48):
    """A PNG of a disc of `colour` with a white square inside it."""
    rows = []
    for y in range(size):
        row = bytearray([0])
        for x in range(size):
            dx, dy = x - size / 2 + 0.5, y - size / 2 + 0.5
            if abs(dx) < size / 6 and abs(dy) < size / 6:
                row += bytes((255, 255, 255, 255))
            elif dx * dx + dy * dy <= (size / 2 - 1) ** 2:
                row += bytes((*colour, 255))
            else:
                row += bytes(4)
        rows.append(bytes(row))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))


def private_data(root):
    """A data folder for XDG_DATA_DIRS: the system's data (themes, types, settings
    schemas) without its applications, and instead the applications of APPS with
    their icons in the hicolor theme, so that the list is the same on every machine."""
    data = root / "data"
    (data / "applications").mkdir(parents=True)
    apps = data / "icons" / "hicolor" / "48x48" / "apps"
    apps.mkdir(parents=True)
    system = Path("/usr/share")
    for item in system.iterdir():
        if item.name not in ("applications", "icons"):
            (data / item.name).symlink_to(item)
    for theme in (system / "icons").iterdir():
        if theme.name != "hicolor":
            (data / "icons" / theme.name).symlink_to(theme)
    (data / "icons" / "hicolor" / "index.theme").symlink_to(system / "icons" / "hicolor" / "index.theme")
    for entry, (en, es, pt), icon, colour in APPS:
        (data / "applications" / entry).write_text(
            f"[Desktop Entry]\nType=Application\nName={en}\nName[es]={es}\nName[pt_BR]={pt}\n"
            f"Icon={icon}\nExec=true %f\n", encoding="utf-8")
        (apps / f"{icon}.png").write_bytes(icon_png(colour))
    return data


def test_places():
    """A folder and two programs (a desktop entry, an executable script) to choose,
    with spaces in their names, and the private data folder."""
    root = Path(tempfile.mkdtemp(prefix="tessiva-pickers-"))
    folder = root / "saved files"
    folder.mkdir()
    entry = root / "my editor.desktop"
    entry.write_text("[Desktop Entry]\nType=Application\nName=My editor\nExec=true %f\n")
    executable = root / "my tool"
    executable.write_text("#!/bin/sh\nexit 0\n")
    executable.chmod(0o755)
    return root, {"folder": folder, "entry": entry, "executable": executable, "data": private_data(root)}


def no_display_group(target, tally):
    """Without a display both dialogs answer "cancelled" at once."""
    if target.wine:
        return
    saved = {name: os.environ.pop(name, None) for name in ("DISPLAY", "WAYLAND_DISPLAY")}
    try:
        with session(target, tally, "pickers without a display") as host:
            for kind in ("pick_folder", "pick_application"):
                started = time.monotonic()
                host.send(frame(json.dumps({"type": kind, "id": kind}).encode()))
                reply = json.loads(host.read_replies(1, timeout=10)[0])
                tally.equal(f"{kind} without a display: cancelled at once",
                            (reply, time.monotonic() - started < 5),
                            ({"id": kind, "ok": True, "result": {"cancelled": True}}, True))
            tally.equal("nothing on standard error without a display", host.stderr_path.read_bytes(), b"")
    finally:
        for name, value in saved.items():
            if value is not None:
                os.environ[name] = value


def pickers_group(target, tally):
    tools = ("Xvfb", "xdotool") + (("import",) if screenshots else ()) + (
        () if target.wine else ("xprop", "openbox", "display"))
    missing = [tool for tool in tools if shutil.which(tool) is None]
    if missing:
        tally.fails("setup", f"{', '.join(missing)} not installed "
                    "(Debian: xvfb, xdotool, imagemagick, x11-utils, openbox)")
        return
    if not target.wine and os.environ.get("TESSIVA_PRIVATE_BUS") != "1":
        tally.fails("setup", "dbus-run-session is not installed (Debian: dbus)")
        return
    display = VirtualDisplay()
    if target.wine:
        restart_wine(target)
    saved_environment = {name: os.environ.get(name) for name in (
        "DISPLAY", "WAYLAND_DISPLAY", "GSETTINGS_BACKEND", "GTK_USE_PORTAL", "NO_AT_BRIDGE", "XDG_RUNTIME_DIR",
        "LSAN_OPTIONS", "XDG_DATA_DIRS", "GTK_MODULES", "TESSIVA_DIALOG_PROBE_OUT")}
    os.environ["DISPLAY"] = display.name
    places_root, places, desktop, probe = None, None, None, None
    if not target.wine:
        # GTK's settings stay in memory, nothing asks for the accessibility bus, and
        # the runtime folder is the run's own.
        os.environ.pop("WAYLAND_DISPLAY", None)
        os.environ.pop("GTK_USE_PORTAL", None)
        os.environ.update(GSETTINGS_BACKEND="memory", NO_AT_BRIDGE="1")
        # A sanitized host: what GTK and its libraries keep until the exit is no leak
        # of ours (their stacks are only known with the slow unwinder).
        suppressions = Path(__file__).resolve().parents[1] / "lsan_desktop_libraries.supp"
        os.environ["LSAN_OPTIONS"] = ":".join(filter(None, (
            os.environ.get("LSAN_OPTIONS"), f"suppressions={suppressions}", "print_suppressions=0",
            "fast_unwind_on_malloc=0")))
        places_root, places = test_places()
        runtime = places_root / "runtime"
        runtime.mkdir(mode=0o700)
        os.environ["XDG_RUNTIME_DIR"] = str(runtime)
        desktop = Desktop(display.name)
        if desktop.other is None:
            tally.fails("setup", "the other program's window did not appear")
        # The host's applications and the probe, not the desktop's.
        os.environ["XDG_DATA_DIRS"] = str(places["data"])
        # The probe module, built beside the host (ctest names it).
        module = Path(os.environ.get("TESSIVA_DIALOG_PROBE")
                      or Path(target.launcher[-1]).parent / "libtessiva_dialog_probe.so")
        if module.is_file():
            probe = places_root / "probe.txt"
            os.environ.update(GTK_MODULES=str(module), TESSIVA_DIALOG_PROBE_OUT=str(probe))
        else:
            tally.fails("setup", f"the dialog probe {module} is not built")
    try:
        languages = list(TITLES) if screenshots or not target.wine else ["en", "es"]
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
                            show_and_cancel(target, tally, host, display.name, language, kind, desktop, probe,
                                            places)
                    if not target.wine and host.running:
                        native_choices(target, tally, host, display.name, language, places)
                if target.wine and host.running:
                    ask(host, {"type": "set_config", "config": {"version": 1, "language": "en"}})
                    choose_program(target, tally, host, display.name)
            finally:
                config.restore()
    finally:
        for name, value in saved_environment.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value
        if target.wine:
            restart_wine(target)
        if desktop is not None:
            desktop.close()
        display.close()
        if places_root is not None:
            shutil.rmtree(places_root, ignore_errors=True)


if __name__ == "__main__":
    raise SystemExit(main([pickers_group, no_display_group]))
