"""One host flooded with 100,000 mixed requests, written as fast as its input pipe
takes them while its replies are read.

The mix repeats a cycle of ten: "hello", "get_config", a small transfer begun and
sent in two chunks, then finished (one cycle in ten) or cancelled, a refused
"begin_transfer", a chunk for an unknown transfer, an unknown type and a message that
is no object. Every reply must be exactly the one expected, in order; the host's
memory (peak and resident, from /proc: under Wine the host's own process, see faultlib)
and its handles (open descriptors natively; under Wine the count where Wine reports it,
else the size of the process's handle table) must stay flat after the first tenth; and when the input ends the host
exits with no partial file left and every finished file saved.

It prints the requests per second, the memory and the handles at the first and last
tenth. The original names carry a seed (printed; TESSIVA_FAULT_SEED=<n> replays it).
TESSIVA_FLOOD_REQUESTS=<n> (a multiple of 100) floods with fewer or more requests
for a run by hand.
"""

import base64
import json
import os
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from faultlib import handle_counts, id_in_names, seeded_random  # noqa: E402
from hostlib import NMClientError, error_reply, frame, main, ok_reply  # noqa: E402

REQUESTS = int(os.environ.get("TESSIVA_FLOOD_REQUESTS", 100_000))
CYCLE = 10
SLICES = 10
FINISH_EVERY = 10  # cycles
MAX_GROWTH = 0.10
HALVES = (b"hello", b"world")


def memory(pid):
    """(VmHWM, VmRSS) of a process in KiB."""
    values = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            name, _, rest = line.partition(":")
            if name in ("VmHWM", "VmRSS"):
                values[name] = int(rest.split()[0])
    return values["VmHWM"], values["VmRSS"]


def handles(target, pid, windows_id):
    """(what is counted, the count) for the host's handles."""
    if not target.wine:
        return "open descriptors", len(os.listdir(f"/proc/{pid}/fd"))
    counts = handle_counts(target, windows_id)
    if isinstance(counts.get("GetProcessHandleCount"), int) and counts["GetProcessHandleCount"] > 0:
        return "handles", counts["GetProcessHandleCount"]
    # Wine 8 answers 0 here, and its process list gives the size of the process's
    # handle table instead (32 entries, doubled whenever it is full): not the count,
    # but a leak of handles grows it.
    if isinstance(counts.get("SystemProcessInformation"), int):
        return ("handle table size (the handle count is not reported by this Wine: "
                f"GetProcessHandleCount gives {counts.get('GetProcessHandleCount')})"), counts["SystemProcessInformation"]
    return f"handles not reported by this Wine ({counts})", None


def cycle(n, first_id, transfer_number, name):
    """The requests of cycle `n` and, for each, the expected reply (bytes) or a check
    of the reply (a function returning an error text or None)."""
    ids = iter(range(first_id, first_id + CYCLE))
    transfer = f"t{transfer_number}"
    finish = n % FINISH_EVERY == 0
    out = []

    def add(request, want):
        request_id = next(ids)
        if request is None:
            out.append((b"[1]", want(b"null")))
            return
        body = json.dumps(dict(request, id=request_id), separators=(",", ":")).encode()
        out.append((body, want(str(request_id).encode())))

    def result(text):
        return lambda id_json: ok_reply(id_json, text)

    add({"type": "hello"}, ok_reply)
    add({"type": "get_config"}, lambda id_json: ("config", id_json))
    add({"type": "begin_transfer", "original_name": name, "size": sum(map(len, HALVES))},
        result(b'{"transfer_id":"' + transfer.encode() + b'"}'))
    received = 0
    for half in HALVES:
        received += len(half)
        add({"type": "transfer_chunk", "transfer_id": transfer, "data": base64.b64encode(half).decode()},
            result(b'{"received":' + str(received).encode() + b"}"))
    if finish:
        add({"type": "finish_transfer", "transfer_id": transfer, "target": {"kind": "save_only"}},
            lambda id_json: ("saved", id_json))
    else:
        add({"type": "cancel_transfer", "transfer_id": transfer}, result(b"{}"))
    add({"type": "begin_transfer", "original_name": name, "size": 5 * 2**30},
        lambda id_json: error_reply("file_too_large", id_json))
    add({"type": "transfer_chunk", "transfer_id": "t0", "data": "AA=="},
        lambda id_json: error_reply("not_found", id_json))
    add({"type": "flood"}, lambda id_json: error_reply("unknown_request", id_json))
    add(None, lambda id_json: error_reply("invalid_request", id_json))
    return out, finish


def flood_group(target, tally):
    rng = seeded_random()
    host = target.host(timeout=120.0)
    host.start()
    try:
        windows_id = id_in_names(host)  # its transfer "t1"
        # The default settings, whatever an earlier test stored in a shared Wine prefix.
        host.request({"type": "set_config", "id": 0, "config": {"version": 1}})
        probe = host.request(b'{"type":"get_config","id":0}')
        head = b'{"id":0,"ok":true,"result":'
        config_text = probe[len(head):-1] if probe.startswith(head) else probe
        save_folder = json.loads(probe)["result"]["default_save_folder"]
        cycles_per_slice = REQUESTS // CYCLE // SLICES
        next_id, transfer, saved, wrong, samples, handle_samples = 1, 2, [], [], [], []
        started = time.monotonic()
        for number in range(SLICES):
            requests, expected = [], []
            for _ in range(cycles_per_slice):
                name = f"f{transfer}-{rng.randrange(10**6)}.txt"
                items, _ = cycle(transfer, next_id, transfer, name)
                next_id += CYCLE
                transfer += 1
                for body, want in items:
                    requests.append(frame(body))
                    expected.append(want)
            replies = host.exchange(b"".join(requests), len(requests))
            for got, want in zip(replies, expected):
                if isinstance(want, bytes):
                    if got != want:
                        wrong.append((got, want))
                elif want[0] == "config":
                    if got != b'{"id":' + want[1] + b',"ok":true,"result":' + config_text + b"}":
                        wrong.append((got, want))
                else:
                    reply = json.loads(got)
                    if reply.get("id") != int(want[1]) or not reply.get("ok"):
                        wrong.append((got, want))
                    else:
                        saved.append(reply["result"]["saved_path"])
            samples.append(memory(host.pid))
            if number in (0, SLICES - 1):
                counted = time.monotonic()
                handle_samples.append(handles(target, host.pid, windows_id))
                started += time.monotonic() - counted  # not part of the flood's time
        elapsed = time.monotonic() - started
        # Two transfers stay open at the end: closing the input must remove them.
        for _ in range(2):
            host.request({"type": "begin_transfer", "id": "open", "original_name": "open.txt", "size": 4})
        code = host.close()
    except NMClientError as error:
        tally.fails("flood", str(error))
        return
    finally:
        host.kill()

    print(f"  {REQUESTS} requests in {elapsed:.1f} s: {REQUESTS / elapsed:.0f} requests/s", flush=True)
    print(f"  memory after the first tenth: peak {samples[0][0]} KiB, resident {samples[0][1]} KiB; "
          f"after the last: peak {samples[-1][0]} KiB, resident {samples[-1][1]} KiB", flush=True)
    counted = handle_samples[0][0]
    print(f"  {counted} after the first tenth: {handle_samples[0][1]}; after the last: {handle_samples[-1][1]}",
          flush=True)
    tally.equal("flood: every reply as expected, in order", wrong[:2], [])
    tally.equal("flood: exit at the end of input", (code, host.unread), (0, b""))
    tally.equal("flood: peak memory flat after the first tenth",
                samples[-1][0] <= samples[0][0] * (1 + MAX_GROWTH), True)
    tally.equal("flood: resident memory flat after the first tenth",
                samples[-1][1] <= samples[0][1] * (1 + MAX_GROWTH), True)
    if handle_samples[0][1] is not None:
        tally.equal(f"flood: {counted.split(' (')[0]} flat after the first tenth",
                    handle_samples[-1][1] <= handle_samples[0][1] * (1 + MAX_GROWTH), True)
    transfers = host.transfers_folder
    tally.equal("flood: no partial file left", sorted(p.name for p in transfers.iterdir()), [])
    tally.equal("flood: every finished file saved whole",
                [p for p in saved if target.local_path(p).read_bytes() != b"".join(HALVES)][:3], [])
    tally.equal("flood: every finish saved its own file",
                (len(saved), len(set(saved)), all(p.startswith(save_folder) for p in saved)),
                (REQUESTS // CYCLE // FINISH_EVERY, REQUESTS // CYCLE // FINISH_EVERY, True))
    for path in saved:  # under Wine the save folder is the prefix's, kept between runs
        target.local_path(path).unlink(missing_ok=True)


if __name__ == "__main__":
    raise SystemExit(main([flood_group]))
