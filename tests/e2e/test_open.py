""""open_file" over real pipes: its checks in their order, the age limit, names that
collide, targets that cannot be resolved, and applications started for real through the
detached launcher (cmd.exe under Wine, a small script natively), with "{file}" replaced
by the quoted path of the saved file."""

import json
import os
import subprocess
import sys
import time
from pathlib import Path

from hostlib import Conversation, NMClientError, main, session, stderr_tail, wine_environment

LAUNCH_TIMEOUT = 120.0  # a launcher child and cmd.exe under a cold, busy Wine


class Paths:
    """Files of this test on the local disk and the same files as the host names them:
    Windows paths under Wine (mapped with winepath), and natively the paths themselves."""

    def __init__(self, target, group):
        self.target = target
        self.root = target.root / f"open-{group}"
        self.root.mkdir()
        if target.wine:
            out = subprocess.run(["winepath", "-w", str(self.root)], env=wine_environment(target),
                                 capture_output=True, check=True, timeout=120)
            self.host_root = out.stdout.decode().strip().rstrip("\\")
        else:
            self.host_root = str(self.root)

    def host(self, local):
        relative = Path(local).relative_to(self.root)
        separator = "\\" if self.target.wine else "/"
        return separator.join([self.host_root, *relative.parts])

    def local(self, host_path):
        prefix = self.host_root + ("\\" if self.target.wine else "/")
        if not host_path.startswith(prefix):
            raise AssertionError(f"{host_path!r} is not under {self.host_root!r}")
        return self.root.joinpath(*host_path[len(prefix):].replace("\\", "/").split("/"))


def error_code(reply):
    return reply["error"]["code"] if not reply.get("ok") else ("ok", reply.get("result"))


def fresh_folder(paths, name):
    folder = paths.root / name
    folder.mkdir()
    return folder


def write(path, data=b"contents", age=None):
    path.write_bytes(data)
    if age is not None:
        stamp = time.time() - age
        os.utime(path, (stamp, stamp))
    return path


def settings(paths, saved, apps=(), type_defaults=None):
    return {"version": 1, "save_folder": paths.host(saved), "name_pattern": "{name}", "apps": list(apps),
            "type_defaults": type_defaults or {}, "reveal_after_save": False}


def configure(tally, talk, name, config):
    reply = talk.ask("set_config", config=config)
    if not reply.get("ok"):
        tally.fails(f"{name}: set_config", str(reply))
        return False
    return True


def open_request(paths, source, original_name="Report.pdf", target=None):
    return {"source_path": paths.host(source), "original_name": original_name,
            "target": target if target is not None else {"kind": "save_only"}}


def checks_group(target, tally):
    paths = Paths(target, "checks")
    saved = fresh_folder(paths, "saved")
    inbox = fresh_folder(paths, "in")
    folder = fresh_folder(paths, "in/folder")
    missing = inbox / "missing.pdf"
    bad_target = {"kind": "app"}
    with session(target, tally, "checks") as host:
        talk = Conversation(host, ascii_only=False)
        if not configure(tally, talk, "checks", settings(paths, saved)):
            return
        fresh = write(inbox / "fresh.pdf")
        old = write(inbox / "old.pdf", age=901)
        good = open_request(paths, fresh)
        cases = [
            ("no source_path", {k: v for k, v in good.items() if k != "source_path"}, "invalid_request"),
            ("source_path a number", dict(good, source_path=7), "invalid_request"),
            ("no original_name, looked at before the path",
             {k: v for k, v in open_request(paths, missing).items() if k != "original_name"}, "invalid_request"),
            ("original_name null", dict(good, original_name=None), "invalid_request"),
            ("relative 'C:file.txt'", dict(good, source_path="C:file.txt"), "invalid_request"),
            ("rooted without a drive", dict(good, source_path="\\dir\\file.txt"), "invalid_request"),
            ("missing file, before the target", open_request(paths, missing, target=bad_target), "not_found"),
            ("a folder", open_request(paths, folder, target=bad_target), "invalid_request"),
            ("901 s old, before the target", open_request(paths, old, target=bad_target), "source_too_old"),
            ("fresh with a target without app_id", dict(good, target=bad_target), "invalid_request"),
            ("fresh with an unknown kind", dict(good, target={"kind": "reveal"}), "invalid_request"),
            ("fresh without a target", {k: v for k, v in good.items() if k != "target"}, "invalid_request"),
            ("fresh with an unknown app", dict(good, target={"kind": "app", "app_id": "nope"}), "app_not_found"),
            ("fresh, default for a name without extension",
             dict(good, original_name="README", target={"kind": "default"}), "no_default"),
        ]
        for name, request, want in cases:
            tally.equal(f"open_file: {name}", error_code(talk.ask("open_file", **request)), want)
        tally.equal("nothing was saved by the refused requests", sorted(p.name for p in saved.iterdir()), [])
        tally.equal("the refused sources are where they were", (fresh.is_file(), old.is_file()), (True, True))

        # The age is taken when the request arrives, so the file is stamped right before.
        write(fresh, b"899", age=899)
        reply = talk.ask("open_file", **good)
        tally.equal("899 s old is accepted", reply.get("result"), {"saved_path": paths.host(saved / "Report.pdf")})
        write(inbox / "future.pdf", b"future", age=-3600)
        reply = talk.ask("open_file", **open_request(paths, inbox / "future.pdf"))
        tally.equal("a last-write time in the future is accepted", reply.get("result"),
                    {"saved_path": paths.host(saved / "Report_2.pdf")})
        tally.equal("the same request again: the source has moved",
                    error_code(talk.ask("open_file", **good)), "not_found")
        tally.equal("saved contents", ((saved / "Report.pdf").read_bytes(), (saved / "Report_2.pdf").read_bytes()),
                    (b"899", b"future"))


def collisions_group(target, tally):
    paths = Paths(target, "collisions")
    saved = fresh_folder(paths, "saved")
    inbox = fresh_folder(paths, "in")
    write(saved / "Report.pdf", b"already there")
    with session(target, tally, "collisions") as host:
        talk = Conversation(host, ascii_only=False)
        if not configure(tally, talk, "collisions", settings(paths, saved)):
            return
        got = []
        for i, name in enumerate(["Report.pdf", "Report.PDF", "Report.pdf", "con.txt", "../up.txt"]):
            source = write(inbox / f"{i}.tmp", f"file {i}".encode())
            reply = talk.ask("open_file", **open_request(paths, source, name))
            path = reply.get("result", {}).get("saved_path", str(reply))
            got.append(paths.local(path).name if reply.get("ok") else path)
            tally.equal(f"collision {i}: the source has moved", source.exists(), False)
        tally.equal("names in the save folder", got,
                    ["Report_2.pdf", "Report_3.pdf", "Report_4.pdf", "_con.txt", ".._up.txt"])
        tally.equal("the file that was there is untouched", (saved / "Report.pdf").read_bytes(), b"already there")
        tally.equal("saved contents", [(saved / n).read_bytes() for n in got[:3]],
                    [b"file 0", b"file 1", b"file 2"])

        # Long names: what the 150-character cut leaves is stored as it is, a space before
        # the extension included; only a device name that the cut uncovers gets its "_".
        if not configure(tally, talk, "collisions", dict(settings(paths, saved), name_pattern="{name}_x")):
            return
        for i, (name, want) in enumerate([("a" * 149 + " b.txt", "a" * 149 + " .txt"),
                                          ("CON" + " " * 147 + "x.txt", "_CON" + " " * 147 + ".txt")]):
            source = write(inbox / f"long{i}.tmp", f"long {i}".encode())
            reply = talk.ask("open_file", **open_request(paths, source, name))
            path = reply.get("result", {}).get("saved_path")
            local = paths.local(path) if path else None
            tally.equal(f"long name {i}: saved as", local.name if local else str(reply), want)
            tally.equal(f"long name {i}: contents", local.read_bytes() if local else None, f"long {i}".encode())


def taken_names_group(target, tally):
    """Whatever has a name in the save folder takes it: a link whose target does not
    exist, a FIFO and a folder (natively; under Wine only the folder), and nothing is
    created where such a link points. A FIFO given as the source is refused at once."""
    paths = Paths(target, "taken")
    saved = fresh_folder(paths, "saved")
    inbox = fresh_folder(paths, "in")
    (saved / "Folder.pdf").mkdir()
    nowhere = paths.root / "nowhere.pdf"
    names = ["Folder.pdf"]
    # Wine shows a link of the file system below it only through its target, so a
    # dangling one is nothing there; it does not create the file where the link
    # points either ("File exists").
    if not target.wine:
        (saved / "Dangling.pdf").symlink_to(nowhere)
        names += ["Dangling.pdf"]
        os.mkfifo(saved / "Pipe.pdf")
        os.mkfifo(inbox / "source.fifo")
        names += ["Pipe.pdf"]
    with session(target, tally, "taken") as host:
        talk = Conversation(host, ascii_only=False)
        if not configure(tally, talk, "taken", settings(paths, saved)):
            return
        for name in names:
            source = write(inbox / f"{name}.tmp", name.encode())
            reply = talk.ask("open_file", **open_request(paths, source, name))
            want = {"saved_path": paths.host(saved / name.replace(".pdf", "_2.pdf"))}
            tally.equal(f"taken name {name}: the next name", reply.get("result", reply), want)
        if not target.wine:
            tally.equal("taken names: nothing where the link points", nowhere.exists(), False)
            tally.equal("taken names: the link is still a link", (saved / "Dangling.pdf").is_symlink(), True)
            reply = talk.ask("open_file", **open_request(paths, inbox / "source.fifo"))
            tally.equal("a FIFO as the source", error_code(reply), "invalid_request")
            # A link as the source is followed: what it points to is saved as a file of
            # its own, and the link goes as a moved source does.
            pointed = write(paths.root / "pointed.pdf", b"pointed")
            (inbox / "link.pdf").symlink_to(pointed)
            reply = talk.ask("open_file", **open_request(paths, inbox / "link.pdf", "Linked.pdf"))
            linked = saved / "Linked.pdf"
            tally.equal("a link as the source", (reply.get("result", reply), linked.is_symlink(), linked.read_bytes()
                                                 if linked.exists() else None, (inbox / "link.pdf").exists()),
                        ({"saved_path": paths.host(linked)}, False, b"pointed", False))


def application(paths, target):
    """The application and its output file: cmd.exe under Wine, a script natively."""
    out = paths.root / "out.txt"
    if target.wine:
        exe = "C:\\windows\\system32\\cmd.exe"
        # cmd's echo writes the rest of the line as it is, quotes included.
        args = "/c echo {file} {file}> " + paths.host(out)
        return exe, args, out
    bin_folder = fresh_folder(paths, "bin")
    script = bin_folder / "show args.sh"
    script.write_text('#!/bin/sh\n{ pwd -P; for a in "$@"; do printf "[%s]\\n" "$a"; done; } > "$OUT_FILE"\n')
    script.chmod(0o755)
    return paths.host(script), "--first {file} --again={file}", out


def wait_for(path, timeout=LAUNCH_TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if path.is_file() and path.stat().st_size > 0:
            time.sleep(0.3)  # let the writer finish
            return path.read_bytes()
        time.sleep(0.1)
    return None


def launch_group(target, tally):
    paths = Paths(target, "launch")
    saved = fresh_folder(paths, "saved")
    inbox = fresh_folder(paths, "in")
    exe, args, out = application(paths, target)
    os.environ["OUT_FILE"] = str(out)  # read by the native script, inherited by the host
    apps = [{"id": "show", "name": "Show", "path": exe, "args": args, "file_types": ["pdf"]}]
    with session(target, tally, "launch") as host:
        talk = Conversation(host, ascii_only=False)
        if not configure(tally, talk, "launch",
                         settings(paths, saved, apps, {"pdf": "show", "txt": "handler:no such handler"})):
            return
        source = write(inbox / "a.tmp", b"%PDF")
        reply = talk.ask("open_file", **open_request(paths, source, "My Report.PDF", {"kind": "default"}))
        dest = paths.host(saved / "My Report.pdf")
        tally.equal("default application: reply", reply.get("result"), {"saved_path": dest})
        data = wait_for(out)
        if data is None:
            tally.fails("the application wrote its output", f"{out} never appeared{stderr_tail(host)}")
        elif target.wine:
            quoted = f'"{dest}"'
            tally.equal("cmd.exe got the path quoted, both times", data.decode("utf-8", "replace").rstrip("\r\n"),
                        f"{quoted} {quoted}")
        else:
            lines = data.decode().splitlines()
            tally.equal("the script's working directory is its folder", lines[:1],
                        [str((paths.root / "bin").resolve())])
            tally.equal("the script got each argument whole", lines[1:],
                        ["[--first]", f"[{dest}]", f"[--again={dest}]"])

        # A handler id that matches nothing: the reply is a success, and the child gives up.
        source = write(inbox / "b.tmp", b"text")
        reply = talk.ask("open_file", **open_request(paths, source, "notes.txt", {"kind": "default"}))
        tally.equal("unknown handler: the file is saved all the same", reply.get("result"),
                    {"saved_path": paths.host(saved / "notes.txt")})


RECORDER = """#!/usr/bin/env python3
import json, os, sys
record = {"argv": [os.fsencode(a).hex() for a in sys.argv[1:]], "cwd": os.getcwd(),
          "sid": os.getsid(0), "pgid": os.getpgid(0)}
path = os.path.join(os.environ["RECORD_FOLDER"], "%d.json" % os.getpid())
with open(path + ".tmp", "w") as out:
    json.dump(record, out)
os.rename(path + ".tmp", path)
"""


def next_record(folder, timeout=LAUNCH_TIMEOUT):
    """The one record the recording program wrote, removed; None when none came."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = sorted(folder.glob("*.json"))
        if found:
            record = json.loads(found[0].read_text())
            found[0].unlink()
            record["argv"] = [bytes.fromhex(a).decode("utf-8", "surrogateescape") for a in record["argv"]]
            return record
        time.sleep(0.05)
    return None


def app_arguments_group(target, tally):
    """Linux: "args" split by the shell's quoting into exactly the arguments the program
    gets, the saved file's path always one argument byte for byte, however odd the
    folders' names; the program runs in its own folder and its own session. The file is
    saved in "Tessiva" inside the documents folder that user-dirs names, here with
    quotes, "$", a backslash and non-ASCII in its name."""
    if target.wine:
        return  # Windows passes one command line: see launch_group
    paths = Paths(target, "apps")
    inbox = fresh_folder(paths, "in")
    records = fresh_folder(paths, "records")
    bin_folder = fresh_folder(paths, "rec bin 'x' $y")
    recorder = bin_folder / "record \"app\" \u00e9"
    recorder.write_text(RECORDER)
    recorder.chmod(0o755)
    os.environ["RECORD_FOLDER"] = str(records)  # inherited by the host and from it

    home = paths.root / "home"
    (home / "xdg-config").mkdir(parents=True)
    documents = home / "Dok \"it's\" $USER \\back \u00e9"
    # The user-dirs form: double quotes, "$HOME" and backslash escapes.
    (home / "xdg-config" / "user-dirs.dirs").write_text(
        'XDG_DOCUMENTS_DIR="$HOME/Dok \\"it\'s\\" $USER \\\\back \u00e9"\n')
    saved_folder = documents / "Tessiva"
    name = "Q1 $x {file} \u00e9t\u00e9.pdf"
    apps = [
        ("plain", "", lambda f: [f]),
        ("no token", "  -n 1  ", lambda f: ["-n", "1", f]),
        ("inside", "--file={file} -x", lambda f: ["--file=" + f, "-x"]),
        ("quoting", "'a b' \"c \\\"d\\\"\" e\\ f {file}", lambda f: ["a b", 'c "d"', "e f", f]),
        ("no expansion", "$HOME '$x' `id` ~ *.pdf {file}{file}", lambda f: ["$HOME", "$x", "`id`", "~", "*.pdf", f + f]),
    ]
    config = {"version": 1, "name_pattern": "{name}", "reveal_after_save": False, "apps": [
        {"id": f"a{i}", "name": label, "path": str(recorder), "args": args} for i, (label, args, _) in enumerate(apps)]}
    host = target.host(home=home)
    host.start()
    try:
        talk = Conversation(host, ascii_only=False)
        if not configure(tally, talk, "apps", config):
            return
        unclosed = dict(config, apps=[dict(config["apps"][0], args="-t 'open {file}")])
        reply = talk.ask("set_config", config=unclosed)
        tally.equal("an unclosed quote in args is refused", reply.get("error"),
                    {"code": "invalid_config", "detail": "app_args"})
        for i, (label, args, want) in enumerate(apps):
            source = write(inbox / f"{i}.tmp", b"%PDF")
            reply = talk.ask("open_file", source_path=str(source), original_name=name,
                             target={"kind": "app", "app_id": f"a{i}"})
            saved = reply.get("result", {}).get("saved_path")
            expected_path = str(saved_folder / (name if i == 0 else name[:-4] + f"_{i + 1}.pdf"))
            tally.equal(f"{label}: saved in the user-dirs documents folder", saved, expected_path)
            record = next_record(records)
            if record is None:
                tally.fails(f"{label}: the program ran", f"no record{stderr_tail(host)}")
                continue
            tally.equal(f"{label}: exact arguments", record["argv"], want(expected_path))
            tally.equal(f"{label}: working folder is the program's", record["cwd"], str(bin_folder))
            tally.equal(f"{label}: its own session, not the host's",
                        (record["sid"] != os.getsid(host.pid), record["sid"] == record["pgid"]), (True, True))
        code = host.close()
        tally.equal("apps: exit at the end of input", (code, host.unread), (0, b""))
    finally:
        if host.running:
            host.kill()


def launch_child_group(target, tally):
    """The child started by hand: malformed jobs end with 1 and do nothing."""
    for name, job in [("odd length", "7b2"), ("not hex", "7g"), ("unknown kind",
                      json.dumps({"launch": {"kind": "open"}, "file": "C:\\x"}).encode().hex()),
                      ("missing file", json.dumps({"launch": {"kind": "reveal"}}).encode().hex())]:
        host = target.host(args=("--launch", job))
        try:
            host.start()
            host.close_input()
            code = host.wait(LAUNCH_TIMEOUT)
        except NMClientError as error:
            tally.fails(f"launch child, {name}", str(error))
            continue
        finally:
            if host.running:
                host.kill()
        tally.equal(f"launch child, {name}: exit code", (code, host.unread), (1, b""))


if __name__ == "__main__":
    sys.exit(main([checks_group, collisions_group, taken_names_group, launch_group, app_arguments_group, launch_child_group]))
