#!/usr/bin/env python3
"""Reference host for the transfer benchmark: the chunked-transfer work of the host in
plain Python, with the json and base64 modules of the standard library.

    reference_host.py SAVE_FOLDER

Reads frames (4-byte little-endian length, then JSON) from standard input until it
ends. "begin_transfer" opens SAVE_FOLDER/<transfer id>.part, "transfer_chunk" decodes
its base64 "data" and appends it, "finish_transfer" renames the partial file to
SAVE_FOLDER/<original_name>, and "set_config" and anything else get an empty result.
Each reply is a compact JSON envelope. It is written the way a careful Python
programmer would write it (one buffer reused for the frames, unbuffered file writes),
so that the comparison is with good Python, not with slow Python.
"""

import base64
import json
import os
import struct
import sys


def read_exact(fd, view):
    """Fills `view` from `fd`; False when the input ends first."""
    got = 0
    while got < len(view):
        n = os.readv(fd, [view[got:]])
        if n == 0:
            return False
        got += n
    return True


def main():
    folder = sys.argv[1]
    stdin, stdout = 0, 1
    prefix = bytearray(4)
    body = bytearray()
    transfers = {}
    next_id = 1
    while True:
        if not read_exact(stdin, memoryview(prefix)):
            return 0
        (length,) = struct.unpack("<I", prefix)
        if length > len(body):
            body = bytearray(length)
        if not read_exact(stdin, memoryview(body)[:length]):
            return 1
        request = json.loads(memoryview(body)[:length].tobytes())
        kind = request.get("type")
        if kind == "begin_transfer":
            transfer_id = f"t{next_id}"
            next_id += 1
            part = os.path.join(folder, transfer_id + ".part")
            transfers[transfer_id] = [open(part, "wb", buffering=0), part, request["original_name"], 0]
            result = {"transfer_id": transfer_id}
        elif kind == "transfer_chunk":
            transfer = transfers[request["transfer_id"]]
            data = base64.b64decode(request["data"], validate=True)
            transfer[0].write(data)
            transfer[3] += len(data)
            result = {"received": transfer[3]}
        elif kind == "finish_transfer":
            file, part, name, _ = transfers.pop(request["transfer_id"])
            file.close()
            saved = os.path.join(folder, name)
            os.replace(part, saved)
            result = {"saved_path": saved}
        else:
            result = {}
        reply = json.dumps({"id": request.get("id"), "ok": True, "result": result},
                           separators=(",", ":"), sort_keys=True).encode()
        os.write(stdout, struct.pack("<I", len(reply)) + reply)


if __name__ == "__main__":
    sys.exit(main())
