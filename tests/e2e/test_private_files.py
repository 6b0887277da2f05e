"""Files of the user's own on a machine that others share (Linux): with a umask that
lets others read, the program's folders are made the user's alone (also when an older
version left them open), and so are the settings, the log and partial files, while a
saved file gets the mode that the umask gives any new document. The folders above the
program's own are left as they are. Wine has no such modes to show."""

import json
import os
import stat
import sys

from hostlib import NMClientError, main, stderr_tail

UMASK = 0o027  # others may not read, the group may: distinct from 0600 and 0644


def mode(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


def private_group(target, tally):
    if target.wine:
        return
    home = target.root / "private-home"
    config_folder = home / "xdg-config" / "tessiva"
    config_folder.mkdir(parents=True)
    (config_folder / "config.json").write_text('{"version": 1}')
    for path, old in ((home, 0o755), (home / "xdg-config", 0o755), (config_folder, 0o755),
                      (config_folder / "config.json", 0o644)):
        os.chmod(path, old)
    (home / "xdg-cache").mkdir(mode=0o755)
    os.chmod(home / "xdg-cache", 0o755)
    previous = os.umask(UMASK)
    host = target.host(home=home)
    try:
        host.start()
    finally:
        os.umask(previous)
    try:
        def result(type_, **members):
            reply = json.loads(host.request(json.dumps(dict(members, type=type_, id=1)).encode()))
            if not reply.get("ok"):
                raise AssertionError(f"{type_} failed: {reply}")
            return reply["result"]

        result("set_config", config={"version": 1, "name_pattern": "{name}", "reveal_after_save": False})
        transfer_id = result("begin_transfer", original_name="private.txt", size=5)["transfer_id"]
        result("transfer_chunk", transfer_id=transfer_id, data="aGVsbG8")
        (part,) = [p for p in host.transfers_folder.iterdir()]
        cache = host.transfers_folder.parent
        tally.equal("private: modes while a transfer is open",
                    [oct(mode(p)) for p in (home / "xdg-cache", cache, host.transfers_folder, part)],
                    [oct(0o755), oct(0o700), oct(0o700), oct(0o600)])
        saved = result("finish_transfer", transfer_id=transfer_id, target={"kind": "save_only"})["saved_path"]
        tally.equal("private: a saved file has the umask's mode", oct(mode(saved)), oct(0o666 & ~UMASK))
        tally.equal("private: the save folder has the umask's mode", oct(mode(os.path.dirname(saved))),
                    oct(0o777 & ~UMASK))
        tally.equal("private: exit at the end of input", host.close(), 0)
        state = home / ".local" / "state" / "tessiva"
        tally.equal("private: settings and log",
                    [oct(mode(p)) for p in (home / "xdg-config", config_folder, config_folder / "config.json",
                                            state, state / "tessiva.log")],
                    [oct(0o755), oct(0o700), oct(0o600), oct(0o700), oct(0o600)])
    except (NMClientError, AssertionError, OSError, ValueError) as error:
        tally.fails("private", f"{error}{stderr_tail(host)}")
    finally:
        if host.running:
            host.kill()


if __name__ == "__main__":
    sys.exit(main([private_group]))
