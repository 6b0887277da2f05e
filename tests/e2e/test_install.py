"""The installer and the uninstaller as the user starts them, through the real
executable and nothing injected: exit codes, the installed files byte for byte, the
registry keys under HKEY_CURRENT_USER, and the user's own files, which stay.

Under Wine the real installer installs into the prefix's per-user programs folder
(Wine does not know that folder, so its default place under local application data):
a quiet first install, a run of the installed copy itself, an update while a host runs
from the install folder, and a quiet uninstall from the installed copy. The Linux
build installs into the home folder instead (test_linux_install.py): here only its
uninstaller's exit code and the user's files are checked.

Keys and files that a check creates in the shared Wine prefix are removed again, and a
config.json that was there before is put back as it was.
"""

import contextlib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from hostlib import ORIGIN, main, ok_reply, run_to_end

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

    def values(self, key):
        """The values of `key` as reg.exe lists them: {name: (type, data)}; None when
        the key does not exist. The output goes through a file, not a pipe (see reg)."""
        env = dict(os.environ, TESSIVA_WINE_STATE=str(self.state))
        env.pop("TESSIVA_WINE_MARK", None)
        with tempfile.TemporaryFile() as output:
            done = subprocess.run([self.runner, "reg", "query", key], env=env, stdin=subprocess.DEVNULL,
                                  stdout=output, stderr=subprocess.DEVNULL, timeout=120)
            if done.returncode != 0:
                return None
            output.seek(0)
            text = output.read().decode("utf-8", "replace")
        found = {}
        for line in text.splitlines():
            if not line.startswith("    "):
                continue
            parts = line.strip().split("    ")
            name, kind, data = parts[0], parts[1], "    ".join(parts[2:])
            found[name] = (kind, data)
        return found


def install_paths(prefix):
    """Where the real installer puts everything in this prefix, as Unix paths, and
    the install folder as Windows names it."""
    profile = prefix.profile()
    programs = profile / "AppData" / "Local" / "Programs"
    folder = programs / "Tessiva"
    windows_folder = rf"C:\users\{profile.name}\AppData\Local\Programs\Tessiva"
    return {
        "programs": programs,
        "folder": folder,
        "exe": folder / "tessiva.exe",
        "old": folder / "tessiva.exe.old",
        "chromium": folder / f"{HOST_NAME}.chromium.json",
        "firefox": folder / f"{HOST_NAME}.firefox.json",
        "windows folder": windows_folder,
    }


def remove_installation(prefix):
    for key in HOST_KEYS + [UNINSTALL_KEY]:
        prefix.delete_key(key)
    shutil.rmtree(install_paths(prefix)["folder"], ignore_errors=True)


def admitted_origins(exe):
    """The Chromium-family origins this build admits, from the list the build wrote."""
    ids = (Path(exe).resolve().parent / "chromium_extension_ids.txt").read_text().split()
    return [f"chrome-extension://{extension_id}/" for extension_id in ids]


def expected_manifest(path, allowed):
    """A manifest as the installer writes it: two-space indent, keys in order, no
    final line break, non-ASCII kept."""
    return json.dumps({**allowed, "description": "Tessiva", "name": HOST_NAME, "path": path, "type": "stdio"},
                      indent=2, sort_keys=True, ensure_ascii=False).encode()


def run(target, args, timeout=60.0):
    """Runs the executable with `args` and no input; returns (exit code, output)."""
    host = target.host(args=args, timeout=timeout)
    return run_to_end(host, b"", timeout=timeout), host


def user_files(base, wine):
    """Where the settings, a saved file and a partial transfer of the user lie."""
    if wine:
        roaming, local, documents = base / "AppData" / "Roaming", base / "AppData" / "Local", base / "Documents"
        return {
            "settings": roaming / "Tessiva" / "config.json",
            "saved file": documents / "Tessiva" / "report 2024-05-01.txt",
            "partial transfer": local / "Tessiva" / "transfers" / "4242-t1.part",
        }
    return {
        "settings": base / "xdg-config" / "tessiva" / "config.json",
        "saved file": base / "My Documents" / "Tessiva" / "report 2024-05-01.txt",
        "partial transfer": base / "xdg-cache" / "tessiva" / "transfers" / "4242-t1.part",
    }


def check_installation(tally, prefix, paths, exe, step):
    """Files byte for byte and every registry value, as the installer writes them."""
    windows_exe = paths["windows folder"] + r"\tessiva.exe"
    tally.equal(f"{step}: the installed executable is the running one",
                paths["exe"].read_bytes() if paths["exe"].is_file() else None, Path(exe).read_bytes())
    origins = admitted_origins(exe)
    tally.equal(f"{step}: the build admits at least one Chromium-family extension", len(origins) > 0, True)
    manifests = {
        "chromium": expected_manifest(windows_exe, {"allowed_origins": origins}),
        "firefox": expected_manifest(windows_exe, {"allowed_extensions": ["tessiva@orbelle.software"]}),
    }
    for kind, want in manifests.items():
        path = paths[kind]
        tally.equal(f"{step}: the {kind} manifest, byte for byte", path.read_bytes() if path.is_file() else None, want)
    for key, kind in zip(HOST_KEYS, ["chromium", "chromium", "chromium", "firefox"]):
        values = prefix.values(key)
        manifest = paths["windows folder"] + "\\" + paths[kind].name
        tally.equal(f"{step}: {key}", values, {"(Default)": ("REG_SZ", manifest)})
    size = paths["exe"].stat().st_size // 1024 if paths["exe"].is_file() else 0
    tally.equal(f"{step}: the uninstall entry", prefix.values(UNINSTALL_KEY), {
        "DisplayName": ("REG_SZ", "Tessiva"),
        "DisplayVersion": ("REG_SZ", "0.1.0"),
        "Publisher": ("REG_SZ", "Orbelle Software"),
        "DisplayIcon": ("REG_SZ", windows_exe),
        "InstallLocation": ("REG_SZ", paths["windows folder"]),
        "UninstallString": ("REG_SZ", f'"{windows_exe}" --uninstall'),
        "NoModify": ("REG_DWORD", "0x1"),
        "NoRepair": ("REG_DWORD", "0x1"),
        "EstimatedSize": ("REG_DWORD", hex(size)),
    })


def wait_until_gone(path, seconds=30.0):
    deadline = time.monotonic() + seconds
    while path.exists() and time.monotonic() < deadline:
        time.sleep(0.2)
    return not path.exists()


def opens_after_update(target, tally, prefix, host):
    """The host that an update moved aside still starts an application (cmd.exe, which
    writes the path it got into a file)."""
    settings = prefix.profile() / "AppData" / "Roaming" / "Tessiva" / "config.json"
    before = settings.read_bytes() if settings.exists() else None
    folder = target.root / "update-open"
    (folder / "saved").mkdir(parents=True)
    source = folder / "download.tmp"
    source.write_bytes(b"report")
    out = folder / "out.txt"
    config = {"version": 1, "save_folder": target.windows_path(folder / "saved"), "name_pattern": "{name}",
              "type_defaults": {}, "reveal_after_save": False,
              "apps": [{"id": "app", "name": "App", "path": "C:\\windows\\system32\\cmd.exe",
                        "args": "/c echo {file}> " + target.windows_path(out)}]}
    try:
        reply = json.loads(host.request(json.dumps({"type": "set_config", "id": 3, "config": config}).encode()))
        tally.equal("update: set_config in the running host", reply.get("ok"), True)
        request = {"type": "open_file", "id": 4, "source_path": target.windows_path(source),
                   "original_name": "report.txt", "target": {"kind": "app", "app_id": "app"}}
        reply = json.loads(host.request(json.dumps(request).encode()))
        saved = target.windows_path(folder / "saved" / "report.txt")
        tally.equal("update: open_file in the running host", reply,
                    {"id": 4, "ok": True, "result": {"saved_path": saved}})
        deadline = time.monotonic() + 60
        while not (out.exists() and out.stat().st_size) and time.monotonic() < deadline:
            time.sleep(0.1)
        time.sleep(0.2)  # let cmd.exe finish its line
        tally.equal("update: the application started with the saved file",
                    out.read_bytes().decode("utf-8", "replace").strip() if out.exists() else None, f'"{saved}"')
    finally:
        if before is None:
            settings.unlink(missing_ok=True)
        else:
            settings.write_bytes(before)


def delayed_removals(prefix):
    """The process ids of the command processors (and their pings) running in the prefix."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            environment = (entry / "environ").read_bytes().split(b"\0")
            command = (entry / "cmdline").read_bytes().lower()
        except OSError:
            continue
        if (f"WINEPREFIX={prefix.prefix}".encode() in environment
                and (b"cmd.exe" in command or b"ping.exe" in command)):
            found.append(int(entry.name))
    return found


@contextlib.contextmanager
def fresh_installation(target):
    """This build's prefix without an installation, and a target for the copy that an
    install puts in place; the installation is removed afterwards."""
    prefix = WinePrefix(target)
    runner, _exe = target.launcher
    # The installed copy runs in this build's prefix, not in one beside itself.
    os.environ["TESSIVA_WINE_STATE"] = str(prefix.state)
    paths = install_paths(prefix)
    remove_installation(prefix)
    installed = target.__class__(["--wine", runner, str(paths["exe"])])
    try:
        yield prefix, paths, installed
    finally:
        installed.cleanup()
        remove_installation(prefix)


def reinstall_right_after_uninstall(target, tally):
    """An uninstall from the installed copy, then at once an install from the download:
    once the uninstaller's delayed command has ended, the new install is whole and every
    key names it."""
    if not target.wine:
        return
    exe = target.launcher[-1]
    with fresh_installation(target) as (prefix, paths, installed):
        (code, output), _ = run(target, ["--quiet"])
        tally.equal("before the reinstall: install, exit code 0", (code, output), (0, b""))
        (code, output), _ = run(installed, ["--uninstall", "--quiet"])
        tally.equal("uninstall from the installed copy, exit code 0", (code, output), (0, b""))
        (code, output), _ = run(target, ["--quiet"])
        tally.equal("reinstall at once from the download, exit code 0", (code, output), (0, b""))
        deadline = time.monotonic() + 60
        while delayed_removals(prefix) and time.monotonic() < deadline:
            time.sleep(0.2)
        tally.equal("the uninstaller's delayed command has ended", delayed_removals(prefix), [])
        check_installation(tally, prefix, paths, exe, "reinstall right after an uninstall")
        tally.equal("the uninstaller's own executable is gone", sorted(paths["programs"].glob("Tessiva-removed-*")),
                    [])


def real_installation_under_wine(target, tally):
    """From the downloaded executable to an uninstalled one, as a user walks it."""
    if not target.wine:
        return
    exe = target.launcher[-1]
    with fresh_installation(target) as (prefix, paths, installed):
        # A quiet first install from the download.
        (code, output), _ = run(target, ["--quiet"])
        tally.equal("first install: exit code 0", (code, output), (0, b""))
        check_installation(tally, prefix, paths, exe, "first install")

        # The installed copy run by itself: nothing is copied, everything is rewritten.
        os.utime(paths["exe"], (1_000_000_000, 1_000_000_000))
        paths["firefox"].unlink()
        prefix.delete_key(HOST_KEYS[1])
        prefix.delete_key(UNINSTALL_KEY)
        (code, output), _ = run(installed, ["--quiet"])
        tally.equal("installed copy: exit code 0", (code, output), (0, b""))
        tally.equal("installed copy: the executable was not copied again",
                    paths["exe"].stat().st_mtime, 1_000_000_000)
        check_installation(tally, prefix, paths, exe, "installed copy")

        # An update while a host runs from the install folder: the running executable
        # is moved aside, the new one takes its name, and the host goes on.
        host = installed.host()
        host.start()
        try:
            tally.equal("update: a host runs from the install folder",
                        host.request(b'{"type":"hello","id":1}'), ok_reply(b"1"))
            (code, output), _ = run(target, ["--quiet"])
            tally.equal("update while a host runs: exit code 0", (code, output), (0, b""))
            tally.equal("update while a host runs: the old executable is moved aside", paths["old"].is_file(), True)
            check_installation(tally, prefix, paths, exe, "update while a host runs")
            tally.equal("update: the running host still answers",
                        host.request(b'{"type":"hello","id":2}'), ok_reply(b"2"))
            opens_after_update(target, tally, prefix, host)
            tally.equal("update: the running host ends normally", (host.close(), host.unread), (0, b""))
        finally:
            if host.running:
                host.kill()
        (code, output), _ = run(target, ["--quiet"])
        tally.equal("next update: exit code 0", (code, output), (0, b""))
        tally.equal("next update: the executable moved aside is removed", paths["old"].exists(), False)

        # A quiet uninstall from the installed copy: keys at once, the folder soon after.
        (code, output), _ = run(installed, ["--uninstall", "--quiet"])
        tally.equal("uninstall from the installed copy: exit code 0", (code, output), (0, b""))
        for key in HOST_KEYS + [UNINSTALL_KEY]:
            tally.equal(f"uninstall: {key} is gone at once", prefix.key_exists(key), False)
        tally.equal("uninstall: the install folder is gone within 30 s", wait_until_gone(paths["folder"]), True)


def quiet_uninstall_removes_the_keys(target, tally):
    if not target.wine:
        return  # no registry on Linux
    prefix = WinePrefix(target)
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
    sys.exit(main([real_installation_under_wine, reinstall_right_after_uninstall,
                   quiet_uninstall_removes_the_keys, user_files_survive_uninstalling]))
