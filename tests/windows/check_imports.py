"""Fails when tessiva.exe imports a library other than kernel32 and the C runtime at
load time.

Every library in the import table is loaded and initialised before the program's first
instruction runs, so each one is paid for on every start of the host, which happens on
every connection. The others are loaded on first use instead (dynamic_library.h).

    check_imports.py PROGRAM.exe
"""

import struct
import sys

ALLOWED = {"kernel32.dll", "msvcrt.dll"}
IMPORT_DIRECTORY = 1


def load_time_imports(image: bytes) -> list[str]:
    """The DLL names of the import directory of a PE32+ image, in table order."""
    if image[:2] != b"MZ":
        raise ValueError("not an MZ executable")
    (pe,) = struct.unpack_from("<I", image, 0x3C)
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    (sections, optional_size) = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    (magic,) = struct.unpack_from("<H", image, optional)
    if magic != 0x20B:
        raise ValueError("not a PE32+ (64-bit) image")
    directories = optional + 112
    (import_rva, _) = struct.unpack_from("<II", image, directories + 8 * IMPORT_DIRECTORY)

    section_table = optional + optional_size
    ranges = []
    for i in range(sections):
        (virtual_size, virtual_address, raw_size, raw_offset) = struct.unpack_from(
            "<IIII", image, section_table + 40 * i + 8)
        ranges.append((virtual_address, max(virtual_size, raw_size), raw_offset))

    def offset(rva: int) -> int:
        for start, size, raw in ranges:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"address {rva:#x} lies in no section")

    names = []
    if import_rva == 0:
        return names
    entry = offset(import_rva)
    while True:
        # Each descriptor is 20 bytes; the name's address is the fourth field, and an
        # all-zero descriptor ends the table.
        fields = struct.unpack_from("<IIIII", image, entry)
        if fields == (0, 0, 0, 0, 0):
            return names
        name = offset(fields[3])
        names.append(image[name:image.index(b"\0", name)].decode("ascii"))
        entry += 20


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(sys.argv[1], "rb") as f:
        names = load_time_imports(f.read())
    print("imports at load time:", ", ".join(names) or "none")
    lowered = {n.lower() for n in names}
    # kernel32 is always there; finding none means the table was not read.
    if "kernel32.dll" not in lowered:
        print("FAIL: kernel32.dll is missing, the import table was not read right")
        return 1
    extra = sorted(n for n in names if n.lower() not in ALLOWED)
    if extra:
        print("FAIL: loaded at start-up, load these on first use instead:", ", ".join(extra))
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
