"""The Linux desktop for real, natively only: in private XDG folders with a private MIME
database, desktop entries, a hicolor theme with a PNG and an SVG icon and a private
session bus, "list_handlers" lists the entries (icons decoded and compared pixel by
pixel), "handler" and "default" targets start them on the saved file (a recording
program keeps its argv), "app_info" describes a desktop file and programs that entries
run, and "reveal" asks a recording file manager on the bus, or without one opens the
folder with the folder handler. GLib's debug logging is on throughout: any line of it
on standard output would break the frames."""

import base64
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

from hostlib import main, python_with_gi, session

WAIT = 15.0
TYPE = "application/x-tessiva-test"
# The bus and every folder the desktop libraries read are private: the script runs
# itself again under dbus-run-session with them in its environment.
if "--native" in sys.argv and "TESSIVA_DESKTOP_ROOT" not in os.environ:
    ROOT = Path(tempfile.mkdtemp(prefix="tessiva-desktop-"))
    env = dict(os.environ, TESSIVA_DESKTOP_ROOT=str(ROOT), HOME=str(ROOT / "home"), XDG_DATA_DIRS=str(ROOT / "data"),
               XDG_CONFIG_DIRS=str(ROOT / "etc"),
               PATH=f"{ROOT / 'bin'}:{os.environ.get('PATH', '/usr/bin:/bin')}", G_MESSAGES_DEBUG="all")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    status = subprocess.run(["dbus-run-session", "--", sys.executable, *sys.argv], env=env, check=False).returncode
    shutil.rmtree(ROOT, ignore_errors=True)
    raise SystemExit(status)
ROOT = Path(os.environ.get("TESSIVA_DESKTOP_ROOT", tempfile.gettempdir()))


def png(width, height, rgba):
    """A PNG file of R, G, B, A bytes (filter 0 on every row)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + rgba[y * width * 4:(y + 1) * width * 4] for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def png_pixels(data):
    """(width, height, RGBA bytes) of a PNG file of 8-bit RGBA rows with filter 0."""
    width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
    assert (depth, colour) == (8, 6), (depth, colour)
    at, idat = 8, b""
    while at < len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"IDAT":
            idat += data[at + 8:at + 8 + size]
        at += 12 + size
    rows = zlib.decompress(idat)
    stride = width * 4 + 1
    assert all(rows[y * stride] == 0 for y in range(height))
    return width, height, b"".join(rows[y * stride + 1:(y + 1) * stride] for y in range(height))


# A 32 x 32 icon whose pixels all differ, with alpha, and a square SVG filled with blue.
PNG_PIXELS = bytes(v for y in range(32) for x in range(32) for v in (x * 8, y * 8, 255 - x * 4, 64 + y * 6))
SVG = (b'<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" viewBox="0 0 48 48">'
       b'<rect width="48" height="48" fill="#0000ff"/></svg>')


def write(path, data, mode=None):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data if isinstance(data, bytes) else data.encode())
    if mode:
        path.chmod(mode)
    return path


def entry(name, exec_line, mime=None, icon=None, extra=""):
    lines = ["[Desktop Entry]", "Type=Application", f"Name={name}", f"Exec={exec_line}"]
    lines += [f"MimeType={mime};"] if mime else []
    lines += [f"Icon={icon}"] if icon else []
    return "\n".join(lines) + "\n" + extra


def install_desktop():
    """The private desktop: a MIME type for ".tsvtest" (a kind of text/plain), entries,
    icons, the defaults, and the recording program."""
    data, records = ROOT / "data", ROOT / "records"
    records.mkdir(parents=True, exist_ok=True)
    recorder = write(ROOT / "bin" / "tessiva-record", "#!/bin/sh\n"
                     f"printf '%s\\n' \"$@\" > '{records}'/\"$1\".tmp && mv '{records}'/\"$1\".tmp '{records}'/\"$1\"\n",
                     0o755)
    write(ROOT / "bin" / "tessiva-tool", "#!/bin/sh\n", 0o755)
    write(ROOT / "bin" / "tessiva-checked", "#!/bin/sh\n", 0o755)
    write(ROOT / "bin" / "tessiva-alone", "#!/bin/sh\n", 0o755)
    write(data / "mime" / "packages" / "tessiva.xml",
          '<?xml version="1.0"?>\n<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">\n'
          f'<mime-type type="{TYPE}"><sub-class-of type="text/plain"/><glob pattern="*.tsvtest"/></mime-type>\n'
          '<mime-type type="text/plain"><glob pattern="*.txt"/></mime-type>\n'
          # GdkPixbuf picks its image loader by content type.
          '<mime-type type="image/png"><glob pattern="*.png"/>'
          '<magic><match type="string" value="\\x89PNG" offset="0"/></magic></mime-type>\n'
          '<mime-type type="image/svg+xml"><glob pattern="*.svg"/>'
          '<magic><match type="string" value="&lt;svg" offset="0:256"/></magic></mime-type>\n</mime-info>\n')
    subprocess.run(["update-mime-database", str(data / "mime")], check=True, capture_output=True)
    apps = data / "applications"
    write(apps / "tessiva-view.desktop", entry("Tessiva Viewer", f"{recorder} view %f", TYPE, "tessiva-test-png"))
    write(apps / "tessiva-edit.desktop", entry("Tessiva Editor", f"{recorder} edit %U", TYPE, "tessiva-test-svg"))
    write(apps / "tessiva-plain.desktop", entry("Tessiva Plain", f"{recorder} plain %F", TYPE))
    write(apps / "tessiva-text.desktop", entry("Tessiva Text", f"{recorder} text %f", "text/plain", "tessiva-test-wide"))
    write(apps / "tessiva-folders.desktop", entry("Tessiva Folders", f"{recorder} folder %U", "inode/directory"))
    write(apps / "tessiva-tool.desktop", entry("Tessiva Tool", "tessiva-tool --flag", icon="tessiva-test-svg",
                                               extra="NoDisplay=true\n"))
    write(apps / "tessiva-checked.desktop", entry("Tessiva Checked", "sh -c true", icon="tessiva-test-png",
                                                  extra=f"TryExec={ROOT / 'bin' / 'tessiva-checked'}\n"))
    theme = data / "icons" / "hicolor"
    write(theme / "index.theme", "[Icon Theme]\nName=Hicolor\nDirectories=32x32/apps,scalable/apps\n\n"
          "[32x32/apps]\nSize=32\nType=Fixed\n\n[scalable/apps]\nSize=48\nMinSize=8\nMaxSize=512\nType=Scalable\n")
    write(theme / "32x32" / "apps" / "tessiva-test-png.png", png(32, 32, PNG_PIXELS))
    write(theme / "scalable" / "apps" / "tessiva-test-svg.svg", SVG)
    write(theme / "32x32" / "apps" / "tessiva-test-wide.png", png(16, 8, bytes([10, 200, 30, 255]) * 128))
    write(ROOT / "etc" / "mimeapps.list",
          f"[Default Applications]\n{TYPE}=tessiva-edit.desktop\ninode/directory=tessiva-folders.desktop\n\n"
          f"[Added Associations]\n{TYPE}=tessiva-edit.desktop;tessiva-plain.desktop;tessiva-view.desktop;\n")
    subprocess.run(["update-desktop-database", str(apps)], check=True, capture_output=True)
    return records


def wait_for(path, timeout=WAIT):
    deadline = time.monotonic() + timeout
    while not path.exists():
        if time.monotonic() > deadline:
            return None
        time.sleep(0.05)
    return path.read_text()


def ask(host, request):
    return json.loads(host.request(json.dumps(request).encode()))


def host_form(host, folder):
    """How the host spells a local path: plainly when it takes a POSIX path as the save
    folder, else with the doubled leading slash that the Windows rules accept."""
    for form in ("", "/"):
        if ask(host, {"type": "set_config", "config": {"version": 1, "save_folder": form + str(folder)}}).get("ok"):
            return lambda path: form + str(path)
    raise AssertionError("no spelling of the save folder is accepted")


def icon_of(handler):
    icon = handler.get("icon_png")
    return None if icon is None else png_pixels(base64.b64decode(icon))


def handlers_group(target, tally):
    with session(target, tally, "list_handlers") as host:
        got = ask(host, {"type": "list_handlers", "ext": "TSVTEST", "icons": True})["result"]["handlers"]
        tally.equal("handlers: the default, the added ones in order, then the parent type's",
                    [(h["id"], h["name"], h["recommended"]) for h in got],
                    [("tessiva-edit.desktop", "Tessiva Editor", True), ("tessiva-plain.desktop", "Tessiva Plain", True),
                     ("tessiva-view.desktop", "Tessiva Viewer", True), ("tessiva-text.desktop", "Tessiva Text", False)])
        icons = {h["id"]: icon_of(h) for h in got}
        tally.equal("a PNG icon keeps every pixel", icons.get("tessiva-view.desktop"), (32, 32, PNG_PIXELS))
        tally.equal("an SVG icon is drawn at 32 x 32", icons.get("tessiva-edit.desktop"),
                    (32, 32, bytes([0, 0, 255, 255]) * 1024))
        clear, green = bytes(4) * 32, bytes([10, 200, 30, 255]) * 32
        tally.equal("a wide icon is scaled to fit and centred", icons.get("tessiva-text.desktop"),
                    (32, 32, clear * 8 + green * 16 + clear * 8))
        tally.equal("no icon gives null", icons.get("tessiva-plain.desktop", "absent"), None)
        plain = ask(host, {"type": "list_handlers", "ext": "tsvtest"})["result"]["handlers"]
        tally.equal("without icons asked for, none", {h["icon_png"] for h in plain}, {None})
        tally.equal("an unknown extension has no handlers",
                    ask(host, {"type": "list_handlers", "ext": "zzqq"})["result"], {"handlers": []})


def open_group(target, tally):
    records = ROOT / "records"
    saved = ROOT / "saved"
    saved.mkdir()
    with session(target, tally, "handler targets") as host:
        spell = host_form(host, saved)
        ask(host, {"type": "set_config", "config": {
            "version": 1, "save_folder": spell(saved), "name_pattern": "{name}",
            "type_defaults": {"tsvtest": "handler:tessiva-edit.desktop"}}})
        for kind, target_json, record, name in [
                ("handler", {"kind": "handler", "handler_id": "tessiva-view.desktop"}, "view", "one file.tsvtest"),
                ("default", {"kind": "default"}, "edit", "two file.tsvtest")]:
            source = write(ROOT / "in" / name, b"data")
            reply = ask(host, {"type": "open_file", "source_path": spell(source), "original_name": name,
                               "target": target_json})
            path = reply.get("result", {}).get("saved_path", "")
            # GIO hands local files to %U as paths too.
            tally.equal(f'a "{kind}" target starts the entry on the saved file', wait_for(records / record),
                        f"{record}\n{path}\n")
        reply = ask(host, {"type": "open_file", "source_path": spell(write(ROOT / "in" / "x.tsvtest", b"x")),
                           "original_name": "x.tsvtest",
                           "target": {"kind": "handler", "handler_id": "tessiva-folders.desktop"}})
        tally.equal("an entry not registered for the type is not started",
                    (reply.get("ok"), wait_for(records / "folder", 2.0)), (True, None))


def app_info_group(target, tally):
    bin_folder, apps = ROOT / "bin", ROOT / "data" / "applications"
    with session(target, tally, "app_info") as host:
        spell = host_form(host, ROOT)
        for name, path, want_name, want_icon in [
                ("a desktop file", apps / "tessiva-view.desktop", "Tessiva Viewer", (32, 32, PNG_PIXELS)),
                ("a program on PATH that an entry runs", bin_folder / "tessiva-tool", "Tessiva Tool", "svg"),
                ("a program an entry names as TryExec", bin_folder / "tessiva-checked", "Tessiva Checked",
                 (32, 32, PNG_PIXELS)),
                ("a program no entry runs", bin_folder / "tessiva-alone", "tessiva-alone", None)]:
            result = ask(host, {"type": "app_info", "path": spell(path)}).get("result", {})
            icon = icon_of(result) if result.get("icon_png") else None
            if want_icon == "svg":
                want_icon = (32, 32, bytes([0, 0, 255, 255]) * 1024)
            tally.equal(f"app_info of {name}", (result.get("name"), icon), (want_name, want_icon))


FILE_MANAGER = """
import json, sys
from gi.repository import Gio, GLib
XML = ("<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'>"
       "<arg type='as' direction='in'/><arg type='s' direction='in'/></method></interface></node>")
def call(connection, sender, path, interface, method, parameters, invocation):
    with open(sys.argv[1], "a") as out:
        out.write(json.dumps([method, *parameters.unpack()]) + "\\n")
    invocation.return_value(None)
def acquired(connection, name):
    info = Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0]
    connection.register_object("/org/freedesktop/FileManager1", info, call, None, None)
Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.FileManager1", Gio.BusNameOwnerFlags.NONE,
                 acquired, lambda *_: print("ready", flush=True), None)
GLib.MainLoop().run()
"""


def reveal_group(target, tally):
    folder = ROOT / "reveal"
    item = write(folder / "shown file.tsvtest", b"x")
    calls, records = ROOT / "show-items", ROOT / "records"
    # Without GLib's debug messages, which the service's GLib would print on its output.
    quiet = {name: value for name, value in os.environ.items() if name != "G_MESSAGES_DEBUG"}
    service = subprocess.Popen([python_with_gi(), "-c", FILE_MANAGER, str(calls)], stdout=subprocess.PIPE, env=quiet)
    try:
        tally.equal("the recording file manager is on the bus", service.stdout.readline(), b"ready\n")
        with session(target, tally, "reveal") as host:
            host_form(host, folder)
            tally.equal("reveal", ask(host, {"type": "reveal", "path": str(item)}), {"id": None, "ok": True,
                                                                                    "result": {}})
            tally.equal("ShowItems gets the file's URI", wait_for(calls),
                        json.dumps(["ShowItems", [item.as_uri()], ""]) + "\n")
    finally:
        service.terminate()
        service.wait(WAIT)
    with session(target, tally, "reveal without a file manager") as host:
        spell = host_form(host, folder)
        ask(host, {"type": "reveal", "path": spell(item)})
        tally.equal("without the service the folder handler opens the file's folder",
                    wait_for(records / "folder"), f"folder\n{spell(folder)}\n")
        (records / "folder").unlink(missing_ok=True)
        ask(host, {"type": "open_save_folder"})
        tally.equal("open_save_folder opens the save folder itself", wait_for(records / "folder"),
                    f"folder\n{spell(folder)}\n")


def libraries_group(target, tally):
    # The desktop libraries cost milliseconds to load: a session that never needs them
    # must not have them, one that lists handlers with icons has them.
    with session(target, tally, "libraries") as host:
        ask(host, {"type": "hello"})
        tally.equal("a hello-only session has no GLib", b"libglib" in Path(f"/proc/{host.pid}/maps").read_bytes(),
                    False)
        ask(host, {"type": "list_handlers", "ext": "tsvtest", "icons": True})
        maps = Path(f"/proc/{host.pid}/maps").read_bytes()
        tally.equal("icons load GIO and GTK", (b"libgio-2.0" in maps, b"libgtk-3" in maps), (True, True))


def stdout_group(target, tally):
    # The other groups ran with G_MESSAGES_DEBUG=all: their replies parsed as frames.
    # This checks that the logging was on, on standard error.
    with session(target, tally, "debug logging") as host:
        ask(host, {"type": "list_handlers", "ext": "tsvtest", "icons": True})
    logged = host.stderr_path.read_bytes()
    tally.equal("GLib's debug messages went to standard error", b"GLib" in logged or b"Gtk" in logged, True)


if __name__ == "__main__":
    if "--native" not in sys.argv:
        print("skipped: the Linux desktop is tested natively only")
        raise SystemExit(0)
    install_desktop()
    raise SystemExit(main([libraries_group, handlers_group, open_group, app_info_group, reveal_group, stdout_group]))
