"""The settings requests over real pipes: "get_config" and "set_config", the bytes of
config.json in the user's roaming application-data folder, refusals that leave the
file as it was, files that read as the defaults, a failing store, and two hosts
storing at the same moment."""

import json
import threading
from pathlib import Path

from hostlib import NMClientError, main, session

DEFAULTS = {
    "version": 1, "save_folder": None, "name_pattern": "{name}_{date}_{time}", "apps": [],
    "type_defaults": {}, "language": "auto", "theme": "system", "show_detected_apps": True,
    "reveal_after_save": False,
}
DEFAULT_TEXT = (
    '{\n  "version": 1,\n  "save_folder": null,\n  "name_pattern": "{name}_{date}_{time}",\n'
    '  "apps": [],\n  "type_defaults": {},\n  "language": "auto",\n  "theme": "system",\n'
    '  "show_detected_apps": true,\n  "reveal_after_save": false\n}')


def ask(host, request):
    return json.loads(host.request(json.dumps(request).encode()))


def reply_config(reply):
    return reply.get("result", {}).get("config")


class Settings:
    """config.json of one host, removed before the checks and put back afterwards."""

    def __init__(self, target, host):
        self.path = target.settings_path(host)
        self.saved = self.path.read_bytes() if self.path.exists() else None
        self.path.unlink(missing_ok=True)
        # The Wine prefix is shared by the build's tests and kept between runs: an empty
        # settings folder left by an earlier run is removed, so that reading can be seen
        # to create nothing.
        try:
            self.path.parent.rmdir()
        except OSError:
            pass

    def text(self):
        return self.path.read_bytes().decode() if self.path.exists() else None

    def write(self, data):
        self.path.parent.mkdir(parents=True, exist_ok=True)
        self.path.write_bytes(data)

    def restore(self):
        if self.saved is None:
            self.path.unlink(missing_ok=True)
        else:
            self.path.write_bytes(self.saved)


def requests_group(target, tally):
    with session(target, tally, "config requests") as host:
        settings = Settings(target, host)
        try:
            reply = ask(host, {"type": "get_config", "id": 1, "extra": True})
            result = reply["result"]
            tally.equal("no file: the defaults", (result["config"], result["effective"]), (DEFAULTS, DEFAULTS))
            folder = result["default_save_folder"]
            if target.wine:
                tally.equal("no file: default folder in Documents",
                            folder.replace("\\", "/").endswith("/Documents/Tessiva"), True)
            else:
                tally.equal("no file: default folder in the user-dirs documents folder",
                            folder, str(host.save_folder))
            tally.equal("reading creates nothing", settings.path.parent.exists(), False)

            reply = ask(host, {"type": "set_config", "id": 2, "config": {"version": 1, "theme": "dark"}})
            dark = dict(DEFAULTS, theme="dark")
            tally.equal("set_config answers the stored record", (reply["ok"], reply_config(reply),
                                                                  reply["result"]["effective"]), (True, dark, dark))
            tally.equal("config.json holds exactly the written form",
                        settings.text(), DEFAULT_TEXT.replace('"system"', '"dark"'))
            stored = settings.text()

            chosen = "D:\\Files" if target.wine else "/srv/My Files"
            folder_config = {"version": 1, "save_folder": chosen}
            reply = ask(host, {"type": "set_config", "config": folder_config})
            tally.equal("a set save folder leaves default_save_folder alone",
                        (reply_config(reply)["save_folder"], reply["result"]["default_save_folder"]),
                        (chosen, folder))
            ask(host, {"type": "set_config", "config": {"version": 1, "theme": "dark"}})

            app_a = "C:\\a.exe" if target.wine else "/usr/bin/a"
            refusals = [
                ("no config", {}, "invalid type: null, expected struct Config"),
                ("config as JSON text", {"config": '{"version":1}'},
                 'invalid type: string "{\\"version\\":1}", expected struct Config'),
                ("empty record", {"config": {}}, "missing field `version`"),
                ("unknown member", {"config": {"version": 1, "extra": 1}},
                 "unknown field `extra`, expected one of `version`, `save_folder`, `name_pattern`, `apps`, "
                 "`type_defaults`, `language`, `theme`, `show_detected_apps`, `reveal_after_save`"),
                ("unknown app member", {"config": {"version": 1, "apps": [
                    {"id": "a", "name": "A", "path": app_a, "icon": 1}]}},
                 "unknown field `icon`, expected one of `id`, `name`, `path`, `args`, `file_types`"),
                ("negative version", {"config": {"version": -1}}, "invalid value: integer `-1`, expected u32"),
                ("version 2", {"config": {"version": 2}}, "version"),
                ("duplicate app ids", {"config": {"version": 1, "apps": [
                    {"id": "a", "name": "A", "path": app_a}, {"id": "a", "name": "B", "path": app_a}]}},
                 "app_id"),
                ("relative app path", {"config": {"version": 1, "apps": [
                    {"id": "a", "name": "A", "path": "a.exe"}]}}, "app_path"),
                ("app path of the other system", {"config": {"version": 1, "apps": [
                    {"id": "a", "name": "A", "path": "/usr/bin/a" if target.wine else "C:\\a.exe"}]}}, "app_path"),
                ("save folder of the other system", {"config": {
                    "version": 1, "save_folder": "/srv/files" if target.wine else "D:\\Files"}}, "save_folder"),
                ("pattern without placeholder", {"config": {"version": 1, "name_pattern": "file"}}, "name_pattern"),
                ("language", {"config": {"version": 1, "language": "pt-br"}}, "language"),
                ("theme", {"config": {"version": 1, "theme": "Dark"}}, "theme"),
                ("type default to no app", {"config": {"version": 1, "type_defaults": {"pdf": "zzz"}}},
                 "type_defaults"),
            ]
            for name, members, detail in refusals:
                reply = ask(host, dict({"type": "set_config", "id": name}, **members))
                tally.equal(f"refused: {name}", reply, {"error": {"code": "invalid_config", "detail": detail},
                                                        "id": name, "ok": False})
                tally.equal(f"refused: {name}: file unchanged", settings.text(), stored)

            broken = [
                ("byte-order mark", b"\xef\xbb\xbf" + stored.encode()),
                ("trailing comma", stored[:-2].encode() + b",\n}"),
                ("unknown member", b'{"version":1,"theme":"dark","extra":1}'),
                ("version 2", b'{"version":2,"theme":"dark"}'),
                ("text after the record", stored.encode() + b"x"),
            ]
            for name, data in broken:
                settings.write(data)
                reply = ask(host, {"type": "get_config"})
                tally.equal(f"file with {name} reads as the defaults", reply_config(reply), DEFAULTS)
                tally.equal(f"file with {name} is left alone", settings.path.read_bytes(), data)
            settings.write(stored.encode())

            # A store whose rename cannot replace config.json (a folder stands in its
            # place) answers with the system's text and leaves no temporary file.
            settings.path.unlink()
            settings.path.mkdir()
            try:
                reply = ask(host, {"type": "set_config", "config": {"version": 1, "theme": "light"}})
                error = reply.get("error", {})
                tally.equal("failed store: io_error with the system's text",
                            (error.get("code"), error.get("detail", "").endswith(")"),
                             " (os error " in error.get("detail", "")), ("io_error", True, True))
                tally.equal("failed store: no temporary file left",
                            sorted(p.name for p in settings.path.parent.iterdir()), ["config.json"])
            finally:
                settings.path.rmdir()
        finally:
            settings.restore()


def concurrent_group(target, tally):
    """Two hosts store different records as fast as they can; every read of the file
    sees one of the two records whole."""
    rounds = 40
    first, second = target.host(), target.host()
    second.env = first.env  # natively, config.json is found through HOME: share it
    texts = {DEFAULT_TEXT.replace('"system"', f'"{theme}"') for theme in ("dark", "light")}
    requests = [json.dumps({"type": "set_config", "config": {"version": 1, "theme": theme}}).encode()
                for theme in ("dark", "light")]
    with first, second:
        settings = Settings(target, first)
        seen, bad = [], []
        stop = threading.Event()

        def watch():
            while not stop.is_set():
                try:
                    text = settings.path.read_bytes().decode()
                except (FileNotFoundError, PermissionError):
                    continue
                seen.append(text)
                if text not in texts:
                    bad.append(text)

        watcher = threading.Thread(target=watch)
        watcher.start()
        try:
            for _ in range(rounds):
                for host, body in zip((first, second), requests):
                    host.send(len(body).to_bytes(4, "little") + body)
                first.read_replies(1)
                second.read_replies(1)
        except NMClientError as error:
            tally.fails("concurrent stores", str(error))
        finally:
            stop.set()
            watcher.join()
            tally.equal("concurrent stores: every read sees one record whole", bad[:1], [])
            tally.equal("concurrent stores: the file was read", bool(seen), True)
            tally.equal("concurrent stores: the end is one of the two", settings.text() in texts, True)
            settings.restore()


if __name__ == "__main__":
    raise SystemExit(main([requests_group, concurrent_group]))
