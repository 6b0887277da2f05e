#!/usr/bin/env python3
"""Checks that no file of src/ includes a header of a layer above its own.

    check_includes.py LAYER_MAP SRC_FOLDER

LAYER_MAP is the layers.txt that the build writes: one line per library,
"<library>: <its folders> | <the folders it may include from>", the second list being
its own folders and those of every library it links. A file belongs to the library of
its top folder under src/ (the executable's line names its files by a pattern instead).
An include, in quotes or angle brackets, whose path starts with one of the libraries'
folders (or reaches one through "..") must name a folder in its library's list.
Only src/platform/windows/ may include a Windows header (windows.h, shlobj.h and the
other headers of the Win32 SDK), and only src/platform/linux/ a GLib, GIO or GTK header.
The headers of platform/<system>/ declare what only that system's code calls: only code
compiled for that system alone includes them (platform/<system>/, install/<system>/ and
files named "<name>_<system>.cpp").
Prints every include that breaks this and exits with 1; 0 when there is none.
"""

import fnmatch
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*[<"]([^">]+)[">]')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".in")

# The headers of the Win32 SDK (and of its COM helpers), by name, case ignored.
WINDOWS_HEADER = re.compile(
    r"^(wrl/.*|wrl\.h|windows\.h|win[a-z0-9_]*\.h|ws2[a-z0-9_]*\.h|sh[a-z_]*\.h|ole[a-z0-9_]*\.h|"
    r"obj[a-z_]*\.h|combaseapi\.h|comdef\.h|commctrl\.h|commdlg\.h|knownfolders\.h|prop[a-z_]*\.h|"
    r"psapi\.h|tlhelp32\.h|[a-z]+api\.h|userenv\.h|bcrypt\.h|ntstatus\.h|dbghelp\.h|"
    r"unknwn\.h|guiddef\.h|initguid\.h|strsafe\.h|lmcons\.h|accctrl\.h|aclapi\.h|sddl\.h)$",
    re.IGNORECASE)
# GLib, GIO, GTK and the libraries they bring (GObject, GDK, Pango, cairo).
DESKTOP_FOLDERS = {"glib", "gio", "gobject", "gtk", "gdk", "gdk-pixbuf", "pango", "cairo", "atk", "harfbuzz"}
DESKTOP_HEADERS = {"glib.h", "glib-object.h", "gio.h", "gtk.h", "gdk.h", "cairo.h", "pango.h"}
SYSTEM_HEADERS = (
    ("platform/windows/", "a Windows header", lambda include: WINDOWS_HEADER.match(include)),
    ("platform/linux/", "a GLib/GIO/GTK header",
     lambda include: include.split("/", 1)[0] in DESKTOP_FOLDERS or include in DESKTOP_HEADERS),
)


SYSTEMS = ("windows", "linux")


def system_only(relative, system):
    """True when src/`relative` is compiled for `system` alone."""
    return (relative.startswith(f"platform/{system}/") or relative.startswith(f"install/{system}/")
            or relative.endswith(f"_{system}.cpp"))


def system_header_fault(relative, include):
    """Why `include` may not appear in src/`relative`; None when it may."""
    for home, what, matches in SYSTEM_HEADERS:
        if matches(include) and not relative.startswith(home):
            return f"includes {what}, which only src/{home} may"
    for system in SYSTEMS:
        if include.startswith(f"platform/{system}/") and not system_only(relative, system):
            return (f"includes a header of platform/{system}/, which only code compiled for {system} "
                    f"alone may (platform/{system}/, install/{system}/, *_{system}.cpp)")
    return None


def read_map(path):
    libraries = []  # (name, folders or file patterns, allowed folders)
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            name, rest = line.split(":", 1)
            own, reach = rest.split("|", 1)
            libraries.append((name.strip(), own.split(), set(reach.split())))
    return libraries


def library_of(relative, libraries):
    for name, own, reach in libraries:
        if any("*" in o and fnmatch.fnmatchcase(relative, o) for o in own):
            return name, reach
    top = relative.split("/", 1)[0]
    for name, own, reach in libraries:
        if top in own:
            return name, reach
    return None, None


def included_folder(include, file_folder, src, known):
    """The top folder under src/ that an include names, or None for any other header."""
    if include.startswith("."):
        target = os.path.normpath(os.path.join(file_folder, include))
        relative = os.path.relpath(target, src).replace(os.sep, "/")
        if relative.startswith(".."):
            return None
        return relative.split("/", 1)[0]
    top = include.split("/", 1)[0]
    return top if "/" in include and top in known else None


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    libraries = read_map(sys.argv[1])
    src = os.path.abspath(sys.argv[2])
    known = {o for _, own, _ in libraries for o in own if "*" not in o}
    faults = []
    checked = 0
    for folder, _, files in os.walk(src):
        for file_name in sorted(files):
            if not file_name.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.join(folder, file_name)
            relative = os.path.relpath(path, src).replace(os.sep, "/")
            library, reach = library_of(relative, libraries)
            if library is None:
                faults.append(f"src/{relative}: in no layer's folder")
                continue
            checked += 1
            with open(path, encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    system_fault = system_header_fault(relative, match.group(1))
                    if system_fault is not None:
                        faults.append(f"src/{relative}:{number}: \"{match.group(1)}\" {system_fault}")
                        continue
                    target = included_folder(match.group(1), folder, src, known)
                    if target is not None and target not in reach:
                        faults.append(
                            f"src/{relative}:{number}: includes \"{match.group(1)}\" from {target}/, "
                            f"which {library} does not build on (it may include only from "
                            f"{', '.join(sorted(reach))})")
    for fault in faults:
        print(fault)
    print(f"{checked} files checked, {len(faults)} includes up the layers or of another system's headers")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
