"""The shell requests over real pipes: "list_handlers" (validation; Wine has no
handlers, natively the machine's own are listed), "app_info" of our own executable,
"reveal" inside and outside the save folder, "open_save_folder", and pickers that
cannot be shown without a display."""

import base64
import json
import os
import struct
import subprocess
from pathlib import Path

from hostlib import main, session


def ask(host, request):
    return json.loads(host.request(json.dumps(request).encode()))


def error_of(code):
    return {"error": {"code": code}, "id": None, "ok": False}


def ok(result):
    return {"id": None, "ok": True, "result": result}


def host_path(target, path):
    """`path` (a path of this machine) as the host under test spells it: under Wine on
    the drive that maps the root; natively as it is."""
    text = str(path)
    return "Z:" + text.replace("/", "\\") if target.wine else text


class SavedConfig:
    """Keeps config.json of the host's profile and puts it back afterwards."""

    def __init__(self, target, host):
        self.path = target.settings_path(host)
        self.saved = self.path.read_bytes() if self.path.exists() else None

    def restore(self):
        if self.saved is None:
            self.path.unlink(missing_ok=True)
        else:
            self.path.write_bytes(self.saved)


def restart_wine(target):
    """Ends the wineserver of the run's private prefix (and with it every process there),
    so that the next Wine process starts a desktop on the display of its own
    environment: Wine's desktop process keeps the display it was started with."""
    exe = Path(target.launcher[-1])
    state = os.environ.get("TESSIVA_WINE_STATE") or str(exe.parent / "wine")
    subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=str(Path(state) / "prefix")),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=False)


def png_size(data):
    """(width, height) of a PNG file, or None for anything else."""
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", data[16:24])


def list_handlers_group(target, tally):
    with session(target, tally, "list_handlers") as host:
        for name, request in [("missing ext", {}), ("empty ext", {"ext": ""}), ("dotted", {"ext": ".pdf"}),
                              ("two parts", {"ext": "tar.gz"}), ("33 characters", {"ext": "a" * 33}),
                              ("number", {"ext": 7}), ("accented", {"ext": "caf\u00e9"})]:
            tally.equal(f"list_handlers refuses: {name}",
                        ask(host, dict({"type": "list_handlers"}, **request)), error_of("invalid_request"))
        for name, request in [("upper case", {"ext": "PDF"}), ("32 characters", {"ext": "a" * 32}),
                              ("with icons", {"ext": "pdf", "icons": True}),
                              ("icons as text", {"ext": "txt", "icons": "yes"})]:
            reply = ask(host, dict({"type": "list_handlers"}, **request))
            if not target.wine:
                # Natively the machine's own desktop entries answer (test_desktop checks
                # them in a private desktop); here only the request's acceptance counts.
                handlers = reply.get("result", {}).get("handlers")
                reply = ok({"handlers": []}) if isinstance(handlers, list) and reply.get("ok") else reply
            tally.equal(f"list_handlers: {name}", reply, ok({"handlers": []}))


def app_info_group(target, tally):
    exe = Path(target.launcher[-1])
    with session(target, tally, "app_info") as host:
        reply = ask(host, {"type": "app_info", "path": host_path(target, exe)})
        result = reply.get("result", {})
        tally.equal("app_info of our own program: path as given",
                    result.get("path"), host_path(target, exe))
        if target.wine:
            tally.equal("app_info of tessiva.exe: the version resource's description", result.get("name"), "Tessiva")
            icon = result.get("icon_png")
            tally.equal("app_info of tessiva.exe: a 32 x 32 PNG",
                        png_size(base64.b64decode(icon, validate=True)) if isinstance(icon, str) else icon, (32, 32))
        else:
            tally.equal("app_info natively: the stem, no icon", (result.get("name"), result.get("icon_png")),
                        ("tessiva", None))
        for name, path in [("relative", "tessiva.exe"), ("folder", host_path(target, exe.parent)),
                           ("missing", host_path(target, exe.parent / "missing.exe"))]:
            tally.equal(f"app_info refuses: {name}", ask(host, {"type": "app_info", "path": path}),
                        error_of("not_found"))
        tally.equal("app_info without a path", ask(host, {"type": "app_info"}), error_of("invalid_request"))


def reveal_group(target, tally):
    root = target.root / "reveal"
    saved = root / "Saved"
    (saved / "sub").mkdir(parents=True)
    (saved / "sub" / "a.pdf").write_bytes(b"%PDF")
    (root / "Saved2").mkdir()
    (root / "Saved2" / "b.pdf").write_bytes(b"%PDF")
    (root / "outside.pdf").write_bytes(b"%PDF")
    sep = "\\" if target.wine else "/"

    with session(target, tally, "reveal") as host:
        config = SavedConfig(target, host)
        try:
            stored = ask(host, {"type": "set_config",
                                "config": {"version": 1, "save_folder": host_path(target, saved)}})
            tally.equal("the save folder is set", stored.get("ok"), True)
            inside = host_path(target, saved / "sub" / "a.pdf")
            accepted = [("a file in a subfolder", inside),
                        ("the save folder itself", host_path(target, saved)),
                        ("a path with a .. part", host_path(target, saved) + sep + "sub" + sep + ".." + sep + "sub"
                         + sep + "a.pdf")]
            if target.wine:
                accepted.append(("another letter case", inside.upper()))
            for name, path in accepted:
                tally.equal(f"reveal accepts {name}", ask(host, {"type": "reveal", "path": path}), ok({}))

            outside = "C:\\windows\\notepad.exe" if target.wine else "/bin/sh"
            refused = [("a system program", outside),
                       ("the folder above", host_path(target, root)),
                       ("a sibling folder", host_path(target, root / "Saved2")),
                       ("a file in a sibling folder", host_path(target, root / "Saved2" / "b.pdf")),
                       ("a .. part that leaves", host_path(target, saved) + sep + ".." + sep + "outside.pdf"),
                       ("a missing file", host_path(target, saved / "sub" / "missing.pdf")),
                       # From the host's working folder this would lead inside: relative
                       # paths mean nothing to the browser and are refused as such.
                       ("a relative path", sep.join(["..", "reveal", "Saved", "sub", "a.pdf"])),
                       ("a number", 5)]
            for name, path in refused:
                tally.equal(f"reveal refuses {name}", ask(host, {"type": "reveal", "path": path}),
                            error_of("invalid_request"))
            tally.equal("reveal without a path", ask(host, {"type": "reveal"}), error_of("invalid_request"))

            fresh = root / "New" / "Folder"
            ask(host, {"type": "set_config", "config": {"version": 1, "save_folder": host_path(target, fresh)}})
            tally.equal("open_save_folder", ask(host, {"type": "open_save_folder"}), ok({}))
            tally.equal("open_save_folder created the folder", fresh.is_dir(), True)
        finally:
            config.restore()


def pickers_group(target, tally):
    # Without a display no dialog can be shown; both pickers then answer "cancelled"
    # rather than failing.
    display = os.environ.pop("DISPLAY", None)
    if display is not None and target.wine:
        restart_wine(target)  # a desktop started on that display would show the dialogs
    try:
        with session(target, tally, "pickers without a display") as host:
            for kind in ("pick_folder", "pick_application"):
                tally.equal(f"{kind} without a display", ask(host, {"type": kind}), ok({"cancelled": True}))
    finally:
        if display is not None:
            os.environ["DISPLAY"] = display


if __name__ == "__main__":
    raise SystemExit(main([list_handlers_group, app_info_group, reveal_group, pickers_group]))
