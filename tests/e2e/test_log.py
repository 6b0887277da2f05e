"""The troubleshooting log over real pipes: a short session leaves a start line, one
line per request with its outcome and duration, and an end line with the reason; none
of the file names, chunk data, settings values or paths of the session appear in it;
a flood of requests keeps the log and its older file near their size limit; and where
the older file's name cannot be taken, the log stops at its limit and replies go on."""

import base64
import glob
import json
import os
import random
import re
import struct
import time
from pathlib import Path

from hostlib import frame, main, run_to_end, session

SEED = int(os.environ.get("TESSIVA_TEST_SEED", random.randrange(1 << 30)))
print(f"seed {SEED}", flush=True)
MARK = f"{random.Random(SEED).randrange(1 << 40):010x}"

LINE = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z pid=\d+ (.*)$")


def log_folder(target, host):
    if not target.wine:
        return host.home / ".local" / "state" / "tessiva"
    prefix = Path(os.environ["TESSIVA_WINE_STATE"]) / "prefix"
    users = [p for p in glob.glob(str(prefix / "drive_c" / "users" / "*" / "AppData" / "Local"))
             if "/Public/" not in p]
    return Path(users[0]) / "Tessiva" / "logs"


def clear(folder):
    for name in ("tessiva.log", "tessiva.log.1"):
        (folder / name).unlink(missing_ok=True)


def events(folder, pid=None):
    """The events of the log (of one process when `pid` is given), each line checked."""
    text = (folder / "tessiva.log").read_text(encoding="utf-8") if (folder / "tessiva.log").exists() else ""
    found = []
    for line in text.splitlines():
        match = LINE.match(line)
        if match is None:
            found.append(f"MALFORMED {line}")
        elif pid is None or f" pid={pid} " in line:
            found.append(match.group(1))
    return text, found


def session_pid(folder):
    """The process id of the first host in the log that a browser started."""
    text, _ = events(folder)
    for line in text.splitlines():
        match = re.search(r" pid=(\d+) start \S+ mode=native_messaging ", line)
        if match:
            return match.group(1)
    return None


def whole_session(target, tally):
    name = f"secret-name-{MARK}.txt"
    payload = f"chunk-content-{MARK}".encode()
    chunk_text = base64.b64encode(payload).decode()
    with session(target, tally, "logged session") as host:
        folder = log_folder(target, host)
        clear(folder)
        def ask(request):
            return json.loads(host.request(json.dumps(request).encode()))
        ask({"type": "hello", "id": 1})
        ask({"type": "get_config", "id": 2})
        transfer = ask({"type": "begin_transfer", "id": 3, "original_name": name, "size": len(payload)})
        transfer_id = transfer["result"]["transfer_id"]
        ask({"type": "transfer_chunk", "id": 4, "transfer_id": transfer_id, "data": chunk_text})
        saved = ask({"type": "finish_transfer", "id": 5, "transfer_id": transfer_id,
                     "target": {"kind": "save_only"}})
        ask({"type": "set_config", "id": 6,
             "config": {"version": 1, "name_pattern": "{name}_" + MARK + "_value"}})
        ask({"type": f"unknown-{MARK}", "id": 7})
        # A failure's line is written before the host waits for the next request, not
        # held until the connection ends.
        deadline = time.monotonic() + 5.0
        while True:
            failure_logged = any("error=unknown_request" in e for e in events(folder)[1])
            if failure_logged or time.monotonic() > deadline:
                break
            time.sleep(0.05)
        tally.equal("a failure reaches the file while the host is connected", failure_logged, True)
        # Under Wine the host's process id is Wine's own: the session's lines are those of
        # the host that started as a browser's (a launcher left by an earlier test may
        # still add its lines).
        pid = session_pid(folder) if target.wine else host.pid
    text, found = events(folder, pid)
    kinds = [e.split(" ")[0] for e in found]
    tally.equal("session: start, seven requests, end", kinds, ["start"] + ["request"] * 7 + ["end"])
    if len(found) == 9:
        tally.equal("start line names browser, caller and window",
                    bool(re.match(r"start version=\S+ mode=native_messaging browser=chromium "
                                  r"caller=chrome-extension://\w+/ parent_window=no$", found[0])), True)
        types = [re.match(r"request type=(\S+) (ok|error=\w+)( detail=\[.*\])? ms=\d+\.\d{3}$", e) for e in found[1:8]]
        tally.equal("request lines: type, outcome, duration",
                    [(m.group(1), m.group(2)) if m else None for m in types],
                    [("hello", "ok"), ("get_config", "ok"), ("begin_transfer", "ok"), ("transfer_chunk", "ok"),
                     ("finish_transfer", "ok"), ("set_config", "ok"), ("(unknown)", "error=unknown_request")])
        tally.equal("end line: input ended", found[8], "end reason=input_ended exit=0")
    saved_path = json.dumps(saved.get("result", {}))
    leaked = [m for m in (MARK, chunk_text, "chunk-content", "secret-name", "/home", "\\Users", "xdg-", "tessiva-e2e")
              if m in text]
    tally.equal(f"nothing of the session's names or data in the log (saved as {saved_path[:80]})", leaked, [])


def too_large(target, tally):
    host = target.host()
    folder = log_folder(target, host)
    clear(folder)
    code, _ = run_to_end(host, frame(b'{"type":"hello","id":1}') + struct.pack("<I", 0xFFFFFFF0))
    _, found = events(folder)
    tally.equal("frame too large: exit 1 and the reason logged",
                (code, found[-1] if found else None), (1, "end reason=frame_too_large exit=1"))


def flood(target, tally):
    if target.wine:
        return  # the rotation is the same code; a flood under Wine costs minutes
    host = target.host(timeout=120)
    folder = log_folder(target, host)
    clear(folder)
    count = 100_000
    code, replies = run_to_end(host, frame(b'{"type":"hello","id":1}') * count, timeout=120)
    sizes = [f.stat().st_size for f in folder.iterdir()]
    tally.equal("flood: all replies, exit 0", (code, replies.count(b'"ok":true')), (0, count))
    tally.equal(f"flood: log files under 2.1 MiB in total ({sizes})",
                (len(sizes), sum(sizes) < 2.1 * 1024 * 1024), (2, True))
    _, found = events(folder)
    tally.equal("flood: every line whole", [e for e in found if e.startswith("MALFORMED")][:3], [])


LOG_LIMIT = 1024 * 1024


def rotation_blocked(target, tally):
    """A folder named like the older file makes every rotation fail: the log must stay at
    its limit (plus one batch of lines at most) while sessions go on being answered."""
    host = target.host()
    folder = log_folder(target, host)
    clear(folder)
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "tessiva.log.1").mkdir()
    try:
        filler = ("2026-01-01T00:00:00.000Z pid=1 filler\n" * (LOG_LIMIT // 38))[: LOG_LIMIT - 200]
        (folder / "tessiva.log").write_text(filler, encoding="utf-8")
        count = 150
        results = []
        for i in range(3):
            session_host = host if i == 0 else target.host()
            code, replies = run_to_end(session_host, frame(b'{"type":"hello","id":1}') * count)
            results.append((code, replies.count(b'"ok":true')))
        size = (folder / "tessiva.log").stat().st_size
        tally.equal("rotation blocked: every session answered and exited with 0", results, [(0, count)] * 3)
        tally.equal(f"rotation blocked: the log stays at its limit ({size} bytes)",
                    size <= LOG_LIMIT + 4096, True)
    finally:
        (folder / "tessiva.log.1").rmdir()
        clear(folder)


if __name__ == "__main__":
    raise SystemExit(main([whole_session, too_large, flood, rotation_blocked]))
