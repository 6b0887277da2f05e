"""The installer and the uninstaller as the user starts them: exit codes, the registry
keys under HKEY_CURRENT_USER, and the user's own files, which stay.

Wine provides no per-user programs folder, so under Wine the real installer must stop
with code 1 before it asks or writes anything, and the uninstaller removes the keys
but has no install folder to remove (the whole installation into a given programs
folder, and the folder's removal, are tested by tests/windows/install_test.cpp). The
native build is the POSIX stand-in: no programs folder and a registry that lives only
inside the process, so there only the exit codes and the user's files are checked.

Keys and files that a check creates in the shared Wine prefix are removed again, and a
config.json that was there before is put back as it was.
"""

import os
import subprocess
import sys
from pathlib import Path

from hostlib import main, run_to_end

HOST_NAME = "com.orbelle.tessiva"
HOST_KEYS = [
    rf"HKCU\Software\Google\Chrome\NativeMessagingHosts\{HOST_NAME}",
    rf"HKCU\Software\Microsoft\Edge\NativeMessagingHosts\{HOST_NAME}",
    rf"HKCU\Software\Chromium\NativeMessagingHosts\{HOST_NAME}",
    rf"HKCU\Software\Mozilla\NativeMessagingHosts\{HOST_NAME}",
]
UNINSTALL_KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessiva"
# Keys beside ours that the uninstaller must leave alone.
NEIGHBOUR_KEYS = [
    r"HKCU\Software\Google\Chrome\NativeMessagingHosts\org.example.other",
    r"HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TessivaOther",
]


class WinePrefix:
    """The prefix that the runner uses for this build, reached with Wine's reg.exe."""

    def __init__(self, target):
        runner, exe = target.launcher
        self.runner = runner
        self.state = Path(os.environ.get("TESSIVA_WINE_STATE") or Path(exe).resolve().parent / "wine")
        self.prefix = self.state / "prefix"

    def reg(self, *args):
        env = dict(os.environ, TESSIVA_WINE_STATE=str(self.state))
        env.pop("TESSIVA_WINE_MARK", None)
        # No pipe for the output: a Wine process that reg.exe starts (the desktop) would
        # inherit it and keep it open for as long as the wineserver lives.
        done = subprocess.run([self.runner, "reg", *args], env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        return done.returncode

    def key_exists(self, key):
        return self.reg("query", key) == 0

    def add_key(self, key, value=None, name=None, kind="REG_SZ"):
        args = ["add", key, "/f", "/t", kind, "/d", value or "x"]
        args += ["/v", name] if name else ["/ve"]
        return self.reg(*args) == 0

    def delete_key(self, key):
        self.reg("delete", key, "/f")

    def profile(self):
        """The user's profile folder in the prefix (not Public)."""
        users = self.prefix / "drive_c" / "users"
        found = [p for p in sorted(users.iterdir()) if p.name != "Public" and (p / "AppData").is_dir()]
        return found[0]


def run(target, args, timeout=60.0):
    """Runs the executable with `args` and no input; returns (exit code, output)."""
    host = target.host(args=args, timeout=timeout)
    return run_to_end(host, b"", timeout=timeout), host


def user_files(base, wine):
    """Where the settings, a saved file and a partial transfer of the user lie."""
    if wine:
        roaming, local, documents = base / "AppData" / "Roaming", base / "AppData" / "Local", base / "Documents"
    else:
        roaming, local, documents = base / ".config", base / ".local" / "share", base / "Documents"
    return {
        "settings": roaming / "Tessiva" / "config.json",
        "saved file": documents / "Tessiva" / "report 2024-05-01.txt",
        "partial transfer": local / "Tessiva" / "transfers" / "4242-t1.part",
    }


def installer_without_programs_folder(target, tally):
    prefix = WinePrefix(target) if target.wine else None
    # No argument, "--quiet", and upper-case variants that the installer does not
    # recognise: each is the installer, and each must stop before its question.
    for args in ([], ["--quiet"], ["--QUIET"], ["--Uninstall"]):
        (code, output), _ = run(target, args)
        tally.equal(f"installer {args}: exit code 1, nothing written", (code, output), (1, b""))
    if prefix:
        for key in HOST_KEYS + [UNINSTALL_KEY]:
            tally.equal(f"installer wrote no key {key}", prefix.key_exists(key), False)


def quiet_uninstall_removes_the_keys(target, tally):
    prefix = WinePrefix(target) if target.wine else None
    try:
        for order in (["--uninstall", "--quiet"], ["--quiet", "--uninstall"]):
            if prefix:
                for key in HOST_KEYS:
                    tally.equal(f"setup: add {key}", prefix.add_key(key, r"C:\x\manifest.json"), True)
                prefix.add_key(UNINSTALL_KEY, "Tessiva", "DisplayName")
                prefix.add_key(UNINSTALL_KEY, "1", "NoModify", "REG_DWORD")
                prefix.add_key(UNINSTALL_KEY + r"\Sub", "x")
                for key in NEIGHBOUR_KEYS:
                    prefix.add_key(key, "keep")
            # Twice in a row: the second run finds nothing and finishes the same way.
            for attempt in ("first", "second"):
                (code, output), _ = run(target, order)
                tally.equal(f"{' '.join(order)}, {attempt} run: exit code 0", (code, output), (0, b""))
                if prefix:
                    for key in HOST_KEYS + [UNINSTALL_KEY]:
                        tally.equal(f"{' '.join(order)}, {attempt} run: {key} is gone",
                                    prefix.key_exists(key), False)
                    for key in NEIGHBOUR_KEYS:
                        tally.equal(f"{' '.join(order)}, {attempt} run: {key} stays",
                                    prefix.key_exists(key), True)
    finally:
        if prefix:
            for key in HOST_KEYS + [UNINSTALL_KEY] + NEIGHBOUR_KEYS:
                prefix.delete_key(key)


def user_files_survive_uninstalling(target, tally):
    prefix = WinePrefix(target) if target.wine else None
    host = target.host(args=["--uninstall", "--quiet"])
    base = prefix.profile() if prefix else host.home
    files = user_files(base, target.wine)
    contents = {name: f"{name} of the user\n".encode() for name in files}
    contents["settings"] = b'{"version": 1, "language": "es"}'
    saved = {}
    written = []
    made = []
    try:
        for name, path in files.items():
            saved[name] = path.read_bytes() if path.exists() else None
            for folder in reversed(path.parents):
                if not folder.exists():
                    folder.mkdir()
                    made.append(folder)
            written.append(name)
            path.write_bytes(contents[name])
        code, output = run_to_end(host, b"")
        tally.equal("uninstall with user files: exit code 0", (code, output), (0, b""))
        for name, path in files.items():
            tally.equal(f"the {name} survives uninstalling",
                        path.read_bytes() if path.exists() else None, contents[name])
    finally:
        for name in written:
            if saved[name] is not None:
                files[name].write_bytes(saved[name])
            elif files[name].exists():
                files[name].unlink()
        for folder in reversed(made):
            try:
                folder.rmdir()
            except OSError:
                pass


if __name__ == "__main__":
    sys.exit(main([installer_without_programs_folder, quiet_uninstall_removes_the_keys,
                   user_files_survive_uninstalling]))
