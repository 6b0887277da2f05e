"""The Debian package as CPack builds it from a native build folder: its file list, its
control fields, the stripped program and the manifests, read with dpkg-deb (nothing is
installed). Where lintian is present, it must report no error.

    python3 test_deb.py BUILD_FOLDER
"""

import json
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

HOST = "com.orbelle.tessiva"
LINKS = {
    f"./etc/opt/chrome/native-messaging-hosts/{HOST}.json": f"/usr/lib/tessiva/{HOST}.chromium.json",
    f"./etc/chromium/native-messaging-hosts/{HOST}.json": f"/usr/lib/tessiva/{HOST}.chromium.json",
    f"./etc/opt/edge/native-messaging-hosts/{HOST}.json": f"/usr/lib/tessiva/{HOST}.chromium.json",
    f"./usr/lib/mozilla/native-messaging-hosts/{HOST}.json": f"../../tessiva/{HOST}.firefox.json",
    "./usr/bin/tessiva": "../lib/tessiva/tessiva",
}
FILES = {
    "./usr/lib/tessiva/tessiva": "-rwxr-xr-x",
    f"./usr/lib/tessiva/{HOST}.chromium.json": "-rw-r--r--",
    f"./usr/lib/tessiva/{HOST}.firefox.json": "-rw-r--r--",
    "./usr/share/doc/tessiva/changelog.gz": "-rw-r--r--",
    "./usr/share/doc/tessiva/copyright": "-rw-r--r--",
    "./usr/share/lintian/overrides/tessiva": "-rw-r--r--",
    "./usr/share/man/man1/tessiva.1.gz": "-rw-r--r--",
}


def main(build):
    failures = []

    def check(name, got, want):
        if got != want:
            failures.append(f"{name}: got {got!r}, want {want!r}")

    work = Path(tempfile.mkdtemp(prefix="tessiva-deb-"))
    try:
        subprocess.run(["cpack", "-G", "DEB", "-B", str(work)], cwd=build, check=True, capture_output=True)
        [deb] = work.glob("tessiva_*.deb")

        listing = subprocess.run(["dpkg-deb", "-c", deb], check=True, capture_output=True, text=True).stdout
        files, links = {}, {}
        for line in listing.splitlines():
            mode, owner, _, _, _, path, *rest = line.split(maxsplit=6)
            check(f"{path}: owner", owner, "root/root")
            if mode.startswith("l"):
                links[path] = rest[0].removeprefix("-> ")
            elif not mode.startswith("d"):
                files[path] = mode
        check("files", files, FILES)
        check("links", links, LINKS)

        fields = {name: subprocess.run(["dpkg-deb", "-f", deb, name], check=True, capture_output=True,
                                       text=True).stdout.strip() for name in ("Package", "Depends", "Description")}
        check("package name", fields["Package"], "tessiva")
        depends = [alternative.split()[0] for item in fields["Depends"].split(",")
                   for alternative in item.split("|")]
        for needed in ("libc6", "libglib2.0-0", "libgtk-3-0", "librsvg2-common"):
            check(f"depends on {needed}", needed in depends, True)
        # The C++ runtime is linked into the program.
        for linked in ("libstdc++6", "libgcc-s1"):
            check(f"does not depend on {linked}", linked in depends, False)
        check("description has a long part", len(fields["Description"].splitlines()) > 2, True)

        root = work / "root"
        subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
        program = root / "usr/lib/tessiva/tessiva"
        sections = subprocess.run(["readelf", "-S", program], check=True, capture_output=True, text=True).stdout
        check("program stripped, no compiler notes", (".symtab" in sections, ".comment" in sections), (False, False))

        # The package's manifests are what the program itself writes for a user, with
        # the system-wide path: the packaged program, run from elsewhere, installs into
        # a private home and its manifests are compared.
        home = work / "home"
        home.mkdir()
        env = {key: value for key, value in os.environ.items() if not key.startswith("XDG_")}
        done = subprocess.run([program, "--install", "--quiet"], env={**env, "HOME": str(home)},
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        check("stripped program installs for a user", (done.returncode, done.stdout, done.stderr), (0, b"", b""))
        user_path = json.dumps(str(home / ".local/lib/tessiva/tessiva"))
        for form in ("chromium", "firefox"):
            written = (home / f".local/lib/tessiva/{HOST}.{form}.json").read_text()
            packaged = (root / f"usr/lib/tessiva/{HOST}.{form}.json").read_text()
            check(f"{form} manifest", packaged, written.replace(user_path, '"/usr/lib/tessiva/tessiva"'))

        if shutil.which("lintian"):
            # Pedantic: every tag but the overridden ones (each explained in the overrides
            # file) fails, down to the informational ones.
            done = subprocess.run(["lintian", "--pedantic", "--info", "--fail-on", "error,warning,info,pedantic", deb],
                                  capture_output=True, text=True)
            check("lintian", (done.returncode, [line for line in done.stdout.splitlines()
                                                if line[:2] in ("E:", "W:", "I:", "P:")]), (0, []))
            print(done.stdout, end="")
        else:
            print("lintian is not installed: not run")
    finally:
        shutil.rmtree(work, ignore_errors=True)

    for failure in failures:
        print("FAIL", failure)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
