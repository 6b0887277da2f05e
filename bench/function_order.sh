#!/usr/bin/env bash
# Writes cmake/host-function-order.txt: the functions of the native host that one
# typical connection runs (start-up, "hello", settings, a chunked transfer saved into
# the save folder), which the link places side by side at the start of the program's
# code. A host then touches a few pages of its code instead of pages spread over the
# whole program: every page costs start-up time (a page fault) and resident memory.
#
#   bench/function_order.sh [HOST]      (default: build/linux/tessiva)
#
# Needs valgrind. Run it again after larger changes to the request path; functions
# that no longer exist are skipped by the linker, new ones only lose their place.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
host=${1:-$root/build/linux/tessiva}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work/start" "$work/conversation" <<'PY'
import base64, json, struct, sys
def frame(value):
    body = json.dumps(value, separators=(",", ":")).encode()
    return struct.pack("<I", len(body)) + body
data = base64.b64encode(bytes(range(256)) * 512).decode()  # 128 KiB per chunk
frames = [
    {"type": "hello", "id": 1},
    {"type": "get_config", "id": 2},
    {"type": "begin_transfer", "id": 3, "original_name": "order.bin", "size": 2 * 128 * 1024},
    {"type": "transfer_chunk", "id": 4, "transfer_id": "t1", "data": data},
    {"type": "transfer_chunk", "id": 5, "transfer_id": "t1", "data": data},
    {"type": "finish_transfer", "id": 6, "transfer_id": "t1", "target": {"kind": "save_only"}},
    {"type": "hello", "id": 7},
]
with open(sys.argv[1], "wb") as out:
    out.write(frame(frames[0]))
with open(sys.argv[2], "wb") as out:
    out.write(b"".join(frame(f) for f in frames))
PY

# The functions of the host's own file that ran for an input, most instructions first.
functions_run() {
  rm -rf "$work/home" && mkdir -p "$work/home"
  HOME=$work/home XDG_CONFIG_HOME= XDG_CACHE_HOME= XDG_STATE_HOME= XDG_DATA_HOME= \
    valgrind --tool=callgrind --demangle=no --callgrind-out-file="$work/profile" \
    "$host" chrome-extension://x/ <"$1" >/dev/null 2>"$work/valgrind.log"
  callgrind_annotate --threshold=100 "$work/profile" |
    grep -F "[$host]" |
    sed -E 's/^ *[0-9,]+ +\([^)]*\) +//; s/ \[.*$//; s/^[^:]*://' |
    sed -E "s/'[0-9]+$//" | grep -v -e '^$' -e '^0x' -e '^(' | awk '!seen[$0]++'
}

# What runs up to the first reply comes first, then the rest of the connection.
order=$root/cmake/host-function-order.txt
functions_run "$work/start" >"$work/start.txt"
functions_run "$work/conversation" >"$work/all.txt"
# The program's entry, the C runtime's start-up code and main lead: the start set then begins at the code's start.
printf '%s\n' _start frame_dummy main >"$order"
grep -vxF -e _start -e frame_dummy -e main "$work/start.txt" >>"$order" || true
grep -vxF -f "$work/start.txt" "$work/all.txt" | grep -vxF -e _start -e frame_dummy -e main >>"$order" || true
echo "$(wc -l <"$work/start.txt") functions for start-up, $(wc -l <"$order") in all: cmake/host-function-order.txt"
