"""Chunked transfers over real pipes: files sent in base64 chunks arrive byte for byte
in the save folder, the size and count limits, interleaved transfers, and the partial
files of unfinished transfers gone once the channel has closed, or, for a host killed
from outside, once the next host begins a transfer."""

import base64
import glob
import json
import os
import random
import shutil
import stat
import subprocess
import sys
import tempfile
from pathlib import Path

from hostlib import Conversation, NMClientError, frame, main, session, stderr_tail, wine_environment


def user_folder(target, host, windows_name):
    """A folder of the Windows profile that the host under test uses."""
    prefix = Path(os.environ["TESSIVA_WINE_STATE"]) / "prefix"
    found = [p for p in glob.glob(str(prefix / "drive_c" / "users" / "*" / "AppData" / windows_name))
             if "/Public/" not in p]
    return Path(found[0])


def transfers_folder(target, host):
    if not target.wine:
        return host.transfers_folder
    return user_folder(target, host, "Local") / "Tessiva" / "transfers"


def partial_files(target, host):
    folder = transfers_folder(target, host)
    return set(p.name for p in folder.glob("*.part")) if folder.is_dir() else set()


def local_path(target, saved_path):
    """The host's "saved_path" as a path of this machine."""
    if not target.wine:
        return Path(saved_path)
    out = subprocess.run(["winepath", "-u", saved_path], env=wine_environment(target),
                         capture_output=True, check=True, timeout=60)
    return Path(out.stdout.decode().strip())


class Settings:
    """The pattern "{name}" and a save folder of the test's own; under Wine the
    prefix's config.json is put back afterwards. Natively the default folder serves:
    "Tessiva" in the documents folder that the private home's user-dirs names."""

    def __init__(self, target, host, talk, folder):
        self.path = target.settings_path(host)
        self.saved = self.path.read_bytes() if self.path.exists() else None
        config = {"version": 1, "name_pattern": "{name}", "reveal_after_save": False}
        if target.wine:
            folder.mkdir(parents=True, exist_ok=True)
            config["save_folder"] = "Z:" + str(folder).replace("/", "\\")
            self.folder = folder
        else:
            self.folder = host.save_folder
        talk.result("set_config", config=config)

    def restore(self):
        if self.saved is None:
            self.path.unlink(missing_ok=True)
        else:
            self.path.write_bytes(self.saved)


def mixed_encodings(chunks):
    """Each chunk's base64 in another style: standard with padding, URL-safe without,
    both alphabets mixed in one text, surplus "=" at the end."""
    texts = []
    for n, chunk in enumerate(chunks):
        text = base64.b64encode(chunk).decode()
        style = n % 4
        if style == 1:
            text = text.replace("+", "-").replace("/", "_").rstrip("=")
        elif style == 2:
            half = len(text) // 2
            text = text[:half] + text[half:].replace("+", "-").replace("/", "_")
        elif style == 3:
            text += "=="
        texts.append(text)
    return texts


def send_file(talk, name, data, chunk_sizes):
    """Begins a transfer of `data`, sends it in chunks of the given sizes and returns
    the id and the received counts that the host reported."""
    transfer_id = talk.result("begin_transfer", original_name=name, size=len(data))["transfer_id"]
    chunks, at = [], 0
    for size in chunk_sizes:
        chunks.append(data[at:at + size])
        at += size
    assert at == len(data)
    counts = [talk.result("transfer_chunk", transfer_id=transfer_id, data=text)["received"]
              for text in mixed_encodings(chunks)]
    return transfer_id, counts


def chunks_group(target, tally):
    rng = random.Random(7)
    with session(target, tally, "chunks") as host:
        talk = Conversation(host)
        settings = Settings(target, host, talk, target.root / "save-chunks")
        save = settings.folder
        try:
            # Every byte value, chunk sizes that leave 0, 1 and 2 bytes of a last group,
            # and one chunk in a frame close to the largest accepted.
            data = bytes(range(256)) * 4 + rng.randbytes(12_001_500)
            sizes = [1, 2, 3, 4, 5, 1018, 12_000_000]
            sizes.append(len(data) - sum(sizes))
            before = partial_files(target, host)
            transfer_id, counts = send_file(talk, "Report.bin", data, sizes)
            opened = partial_files(target, host) - before
            tally.equal("chunks: first id", transfer_id, "t1")
            tally.equal("chunks: received counts", counts, [sum(sizes[:n + 1]) for n in range(len(sizes))])
            tally.equal("chunks: one partial file while open", len(opened), 1)
            saved = talk.result("finish_transfer", transfer_id=transfer_id, target={"kind": "save_only"})
            path = local_path(target, saved["saved_path"])
            tally.equal("chunks: saved in the save folder as named", path, save / "Report.bin")
            tally.equal("chunks: contents byte for byte", path.read_bytes() == data, True)
            tally.equal("chunks: partial file gone after finish", opened & partial_files(target, host), set())

            # Size 0: finished at once, an empty file.
            empty_id = talk.result("begin_transfer", original_name="empty.txt", size=0)["transfer_id"]
            tally.equal("size 0: next id", empty_id, "t2")
            saved = talk.result("finish_transfer", transfer_id=empty_id, target={"kind": "save_only"})
            path = local_path(target, saved["saved_path"])
            tally.equal("size 0: an empty file", (path, path.read_bytes()), (save / "empty.txt", b""))

            # Incomplete: refused, removed, and gone for a second finish.
            short_id = talk.result("begin_transfer", original_name="short.txt", size=10)["transfer_id"]
            talk.result("transfer_chunk", transfer_id=short_id, data="aGVsbG8")
            tally.equal("incomplete: refused",
                        talk.error("finish_transfer", transfer_id=short_id, target={"kind": "save_only"}),
                        "incomplete_transfer")
            tally.equal("incomplete: second finish",
                        talk.error("finish_transfer", transfer_id=short_id, target={"kind": "save_only"}),
                        "not_found")
            tally.equal("incomplete: nothing saved", (save / "short.txt").exists(), False)
        finally:
            settings.restore()


def interleaved_group(target, tally):
    rng = random.Random(11)
    with session(target, tally, "interleaved") as host:
        talk = Conversation(host)
        settings = Settings(target, host, talk, target.root / "save-interleaved")
        try:
            files = [("a.dat", rng.randbytes(100_000)), ("b.dat", rng.randbytes(100_001)),
                     ("a.dat", rng.randbytes(99_999))]
            ids = [talk.result("begin_transfer", original_name=name, size=len(data))["transfer_id"]
                   for name, data in files]
            tally.equal("interleaved: ids", ids, ["t1", "t2", "t3"])
            pieces = [[data[i:i + 7_001] for i in range(0, len(data), 7_001)] for _, data in files]
            texts = [mixed_encodings(p) for p in pieces]
            for step in range(max(len(t) for t in texts)):
                for n in (2, 0, 1):
                    if step < len(texts[n]):
                        talk.result("transfer_chunk", transfer_id=ids[n], data=texts[n][step])
            # A refused chunk of one transfer leaves the others alone.
            tally.equal("interleaved: past the size", talk.error("transfer_chunk", transfer_id=ids[1], data="AA"),
                        "invalid_request")
            paths = []
            for n in (1, 0, 2):
                saved = talk.result("finish_transfer", transfer_id=ids[n], target={"kind": "save_only"})
                paths.append((n, local_path(target, saved["saved_path"])))
            tally.equal("interleaved: names", sorted(p.name for _, p in paths), ["a.dat", "a_2.dat", "b.dat"])
            tally.equal("interleaved: contents", all(p.read_bytes() == files[n][1] for n, p in paths), True)
        finally:
            settings.restore()


def limits_group(target, tally):
    with session(target, tally, "limits") as host:
        talk = Conversation(host)
        tally.equal("limits: 4294967297", talk.error("begin_transfer", original_name="x", size=4294967297),
                    "file_too_large")
        for n in range(1, 9):
            tally.equal(f"limits: transfer {n} opens",
                        talk.error("begin_transfer", original_name="x", size=4294967296 if n == 1 else n),
                        ("ok", {"transfer_id": f"t{n}"}))
        tally.equal("limits: the ninth is busy", talk.error("begin_transfer", original_name="x", size=1), "busy")
        tally.equal("limits: too large even when busy",
                    talk.error("begin_transfer", original_name="x", size=5 * 2**30), "file_too_large")
        for size in (-1, 1.5, "5"):
            tally.equal(f"limits: size {size!r}",
                        talk.error("begin_transfer", original_name="x", size=size), "invalid_request")
        tally.equal("limits: cancel", talk.error("cancel_transfer", transfer_id="t5"), ("ok", {}))
        tally.equal("limits: cancel of an unknown id", talk.error("cancel_transfer", transfer_id="t99"), ("ok", {}))
        tally.equal("limits: next id after a cancel", talk.error("begin_transfer", original_name="x", size=0),
                    ("ok", {"transfer_id": "t9"}))
        tally.equal("limits: undecodable data before the id",
                    talk.error("transfer_chunk", transfer_id="t99", data="aGVsb"), "invalid_request")
        tally.equal("limits: unknown id", talk.error("transfer_chunk", transfer_id="t99", data="aGVs"), "not_found")


def cleanup_group(target, tally):
    """Unfinished transfers lose their partial files when the channel closes: at the
    end of input (exit 0) and when the input breaks off inside a frame (exit 1)."""
    for how, tail, want_code in (("end of input", b"", 0), ("broken frame", b"\x10\x00\x00\x00{", 1)):
        host = target.host()
        begins = b"".join(frame(json.dumps({"type": "begin_transfer", "id": n, "original_name": "x",
                                            "size": 10}).encode()) for n in range(3))
        chunk = frame(b'{"type":"transfer_chunk","id":9,"transfer_id":"t2","data":"aGVsbG8"}')
        try:
            host.start()
            before = partial_files(target, host)
            replies = host.exchange(begins + chunk, 4)
            opened = partial_files(target, host) - before
            tally.equal(f"cleanup ({how}): replies", [json.loads(r)["ok"] for r in replies], [True] * 4)
            tally.equal(f"cleanup ({how}): three partial files", len(opened), 3)
            if tail:
                host.send(tail)
            code = host.close()
            tally.equal(f"cleanup ({how}): exit code", code, want_code)
            tally.equal(f"cleanup ({how}): partial files gone", opened & partial_files(target, host), set())
        except NMClientError as error:
            tally.fails(f"cleanup ({how})", f"{error}{stderr_tail(host)}")
        finally:
            if host.running:
                host.kill()


def ended_host_group(target, tally):
    """A host killed from outside (SIGKILL, under Wine to the Wine process that runs
    it) cannot delete its partial file; the next host's first "begin_transfer" does.
    Files of a live host stay, and so does every file not named like a partial file.
    A live host of another copy of the executable (another folder, as a system and a
    per-user install are) is a live host too: its transfer survives the sweep and is
    saved whole."""
    home = target.root / "shared-home"  # natively every host has its own otherwise
    copy = target.root / "elsewhere" / Path(target.launcher[-1]).name
    copy.parent.mkdir()
    shutil.copy2(target.launcher[-1], copy)
    hosts, others, folder = [], [], None

    def begin(program=None, chunk=None):
        """A new host that opens one transfer; returns it, its conversation, the
        transfer's id and its partial file's name."""
        host = target.host(program=program, home=home)
        hosts.append(host)
        host.start()
        talk = Conversation(host)
        before = partial_files(target, host)
        transfer_id = talk.result("begin_transfer", original_name="other.txt", size=5 if chunk else 10)["transfer_id"]
        if chunk:
            talk.result("transfer_chunk", transfer_id=transfer_id, data=chunk)
        opened = partial_files(target, host) - before
        assert len(opened) == 1, f"new partial files: {opened}"
        return host, talk, transfer_id, opened.pop()

    try:
        other, other_talk, other_id, other_file = begin(program=copy, chunk="aGVsbG8")
        live, _, _, live_file = begin()
        ended, _, _, ended_file = begin(chunk="aGVsbG8")
        ended.kill()
        folder = transfers_folder(target, ended)
        tally.equal("ended host: its partial file stays behind", (folder / ended_file).read_bytes(), b"hello")
        ended_pid = ended_file.split("-")[0]
        others = ["notes.txt", f"{ended_pid}-t1.part.bak", f"0{ended_pid}-t1.part", f"{ended_pid}-t1.txt",
                  f"{ended_pid}_t1.part"]
        for name in others:
            (folder / name).write_bytes(b"keep")

        following, _, _, following_file = begin()
        present = set(p.name for p in folder.iterdir())
        tally.equal("ended host: first transfer of the next host", following_file.split("-")[1], "t1.part")
        tally.equal("ended host: its partial file removed", ended_file in present, False)
        tally.equal("ended host: a live host's partial file kept", live_file in present, True)
        tally.equal("ended host: another copy's partial file kept", other_file in present, True)
        tally.equal("ended host: other names kept", sorted(n for n in others if n in present), sorted(others))
        saved = other_talk.result("finish_transfer", transfer_id=other_id, target={"kind": "save_only"})
        saved_file = local_path(target, saved["saved_path"])
        tally.equal("ended host: another copy's transfer saved whole", saved_file.read_bytes(), b"hello")
        saved_file.unlink()
        for host in (live, following, other):
            tally.equal("ended host: the others end normally", host.close(), 0)
        tally.equal("ended host: all partial files gone at the end",
                    partial_files(target, live) - set(others), set())
    except (NMClientError, AssertionError) as error:
        tally.fails("ended host", f"{error}{''.join(stderr_tail(h) for h in hosts)}")
    finally:
        for host in hosts:
            if host.running:
                host.kill()
        # Under Wine the folder is the prefix's, shared with the other tests.
        for name in others:
            (folder / name).unlink(missing_ok=True)


def planted_group(target, tally):
    """Nothing that another hand puts where the host writes is followed (natively, where
    links and FIFOs can be put there): a partial file swapped for a link before
    "finish_transfer" is not what gets saved, and the copy into a save folder on
    another file system takes none of the names where a link and a FIFO wait."""
    if target.wine:
        return
    with session(target, tally, "planted") as host:
        talk = Conversation(host)
        settings = Settings(target, host, talk, None)
        victim = target.root / "victim.txt"
        victim.write_bytes(b"the victim's own")
        try:
            transfer_id = talk.result("begin_transfer", original_name="swapped.txt", size=5)["transfer_id"]
            talk.result("transfer_chunk", transfer_id=transfer_id, data="aGVsbG8")
            (part,) = partial_files(target, host)
            part_path = transfers_folder(target, host) / part
            part_path.unlink()
            part_path.symlink_to(victim)
            saved = Path(talk.result("finish_transfer", transfer_id=transfer_id,
                                     target={"kind": "save_only"})["saved_path"])
            tally.equal("planted: a swapped partial file: what was received is saved",
                        (saved.is_symlink(), saved.read_bytes()), (False, b"hello"))
            tally.equal("planted: the link's target untouched", victim.read_bytes(), b"the victim's own")

            shm = Path("/dev/shm")
            if not shm.is_dir() or os.stat(shm).st_dev == os.stat(target.root).st_dev:
                print("  planted: no second file system at /dev/shm, the copy is not tried", flush=True)
                return
            with tempfile.TemporaryDirectory(dir=shm) as other:
                save = Path(other)
                talk.result("set_config", config={"version": 1, "name_pattern": "{name}",
                                                  "save_folder": str(save), "reveal_after_save": False})
                transfer_id = talk.result("begin_transfer", original_name="copied.txt", size=5)["transfer_id"]
                talk.result("transfer_chunk", transfer_id=transfer_id, data="aGVsbG8")
                pid = next(iter(partial_files(target, host))).split("-")[0]
                (save / f".tessiva-copy-{pid}.tmp").symlink_to(victim)
                os.mkfifo(save / f".tessiva-copy-{pid}-2.tmp")
                saved = Path(talk.result("finish_transfer", transfer_id=transfer_id,
                                         target={"kind": "save_only"})["saved_path"])
                tally.equal("planted: the copy to another file system", saved.read_bytes(), b"hello")
                tally.equal("planted: the link's target untouched by the copy", victim.read_bytes(),
                            b"the victim's own")
                tally.equal("planted: the planted names left as they were",
                            ((save / f".tessiva-copy-{pid}.tmp").is_symlink(),
                             stat.S_ISFIFO(os.lstat(save / f".tessiva-copy-{pid}-2.tmp").st_mode)), (True, True))
        except (NMClientError, AssertionError, ValueError) as error:
            tally.fails("planted", f"{error}{stderr_tail(host)}")
        finally:
            settings.restore()


GROUPS = [chunks_group, interleaved_group, limits_group, cleanup_group, ended_host_group, planted_group]

if __name__ == "__main__":
    sys.exit(main(GROUPS))
