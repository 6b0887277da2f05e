"""The machine-wide installer package under Wine, in a prefix of its own that this test
creates and removes: msiexec installs it silently, and every file and HKEY_LOCAL_MACHINE
key it writes is read back (the manifests byte for byte, as the per-user installer
writes them but with the bare executable name as "path"); a property leaves its browser
out; a host started from the installed folder answers "hello" and, with per-user hosts
turned off by policy for Chrome and Edge, finds every browser reachable; a newer package upgrades
an older one and an older one over a newer one is refused; a repair puts back what was
deleted; the uninstall leaves the registry and Program Files as they were before, beside
another host's key and the user's own files.

    python3 test_msi.py --wine RUNNER tessiva.exe
with TESSIVA_MSI (the build's package) and TESSIVA_MAKE_MSI (the build's make_msi.sh,
which makes the newer package for the upgrade) in the environment.
"""

import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
# The Wine state of this test alone: set before the helpers read it.
STATE = Path(tempfile.mkdtemp(prefix="tessiva-msi-"))
os.environ["TESSIVA_WINE_STATE"] = str(STATE)

from hostlib import Conversation, main, run_to_end  # noqa: E402
from test_install import WinePrefix, admitted_origins, expected_manifest  # noqa: E402

HOST_NAME = "com.orbelle.tessiva"
FOLDER = r"C:\Program Files\Tessiva"
MANIFESTS = {"chromium": f"{HOST_NAME}.chromium.json", "firefox": f"{HOST_NAME}.firefox.json"}
# Each browser's key in the 64-bit view, its property and the manifest it names.
BROWSERS = {
    "CHROME": (rf"HKLM\Software\Google\Chrome\NativeMessagingHosts\{HOST_NAME}", "chromium"),
    "EDGE": (rf"HKLM\Software\Microsoft\Edge\NativeMessagingHosts\{HOST_NAME}", "chromium"),
    "CHROMIUM": (rf"HKLM\Software\Chromium\NativeMessagingHosts\{HOST_NAME}", "chromium"),
    "FIREFOX": (rf"HKLM\Software\Mozilla\NativeMessagingHosts\{HOST_NAME}", "firefox"),
}
BROWSER_NAMES = {"CHROME": "Google Chrome", "EDGE": "Microsoft Edge", "CHROMIUM": "Chromium", "FIREFOX": "Firefox"}
POLICY_KEYS = [r"HKLM\Software\Policies\Google\Chrome", r"HKLM\Software\Policies\Microsoft\Edge"]
MACHINE_KEY = r"HKLM\Software\Tessiva"
UNINSTALL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"
# Another host's key beside ours, which neither install nor uninstall may touch.
NEIGHBOUR = r"HKLM\Software\Google\Chrome\NativeMessagingHosts\org.example.other"
# msiexec's exit codes, as Wine passes them on (the low eight bits).
SUCCESS = 0
FAILURE = 1603 & 0xFF


class Package:
    def __init__(self, path):
        self.path = Path(path)
        properties = subprocess.run(["msiinfo", "export", str(self.path), "Property"], capture_output=True,
                                    text=True, check=True).stdout
        values = dict(line.split("\t", 1) for line in properties.splitlines() if "\t" in line)
        self.product_code = values["ProductCode"]
        self.version = values["ProductVersion"]


class Machine:
    """The private prefix: msiexec, reg.exe, and its files as seen from Linux."""

    def __init__(self, target):
        self.target = target
        self.prefix = WinePrefix(target)
        self.drive = STATE / "prefix" / "drive_c"
        self.logs = STATE / "logs"
        self.logs.mkdir(exist_ok=True)

    def run(self, *args):
        done = subprocess.run([self.prefix.runner, *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=300)
        return done.returncode

    def msiexec(self, action, package, *properties, log=None):
        args = ["msiexec", action, self.target.windows_path(package.path), "/qn", *properties]
        if log:
            args += ["/l*v", self.target.windows_path(self.logs / log)]
        return self.run(*args)

    def log(self, name):
        data = (self.logs / name).read_bytes()
        return data.decode("utf-16" if data[:2] == b"\xff\xfe" else "utf-8", "replace").replace("\0", "")

    def export(self, key):
        """The key and everything below it as reg.exe exports it."""
        out = self.logs / "export.reg"
        out.unlink(missing_ok=True)
        if self.run("reg", "export", key, self.target.windows_path(out), "/y") != 0:
            return None
        return out.read_bytes().decode("utf-16", "replace")

    def tree(self, folder):
        """{relative path: bytes (None for a folder)} of a folder of drive C:."""
        root = self.drive / folder
        return {str(p.relative_to(root)): None if p.is_dir() else p.read_bytes()
                for p in sorted(root.rglob("*"))} if root.exists() else {}

    def installed(self, name, folder=FOLDER):
        path = self.drive / folder[3:].replace("\\", "/") / name
        return path.read_bytes() if path.is_file() else None

    def uninstall_entries(self):
        """The installed programs named Tessiva: {key name: values}."""
        text = self.export(UNINSTALL) or ""
        found = {}
        for block in text.split("\r\n\r\n"):
            lines = block.strip().splitlines()
            if lines and lines[0].startswith("[") and '"DisplayName"="Tessiva"' in block:
                found[lines[0].strip("[]").rsplit("\\", 1)[-1]] = block
        return found


def installer_container(line):
    """Whether a line of an export is an empty key of Windows Installer's own records,
    which the first install creates and the last uninstall empties (products are
    recorded below them under their codes, written as 32 hexadecimal digits)."""
    match = re.fullmatch(r"\[HKEY_LOCAL_MACHINE\\Software\\(Classes\\Installer|Microsoft\\Windows\\"
                         r"CurrentVersion\\Installer)(\\[^\\]+)*\]", line)
    return bool(match) and not re.search(r"[0-9A-Fa-f]{32}|\{", line)


def check_installed(tally, machine, exe, package, browsers, step, folder=FOLDER):
    """Files, keys and the entry in the installed programs of `package`, with the
    browsers given, in `folder`."""
    origins = admitted_origins(exe)
    want = {
        "chromium": expected_manifest("tessiva.exe", {"allowed_origins": origins}),
        "firefox": expected_manifest("tessiva.exe", {"allowed_extensions": ["tessiva@orbelle.software"]}),
    }
    for kind, name in MANIFESTS.items():
        tally.equal(f"{step}: {name}, byte for byte", machine.installed(name, folder), want[kind])
    tally.equal(f"{step}: tessiva.exe is the build's", machine.installed("tessiva.exe", folder),
                Path(exe).read_bytes())
    for prop, (key, kind) in BROWSERS.items():
        want_values = {"(Default)": ("REG_SZ", rf"{folder}\{MANIFESTS[kind]}")} if prop in browsers else None
        tally.equal(f"{step}: {key}", machine.prefix.values(key), want_values)
    tally.equal(f"{step}: {MACHINE_KEY}", machine.prefix.values(MACHINE_KEY),
                {"InstallFolder": ("REG_SZ", folder + "\\"), "Version": ("REG_SZ", package.version)})
    entries = machine.uninstall_entries()
    tally.equal(f"{step}: one entry in the installed programs, the package's", sorted(entries),
                [package.product_code])
    entry = entries.get(package.product_code, "")
    tally.equal(f"{step}: the entry's version", f'"DisplayVersion"="{package.version}"' in entry, True)


def lifecycle(target, tally):
    machine = Machine(target)
    exe = target.launcher[-1]
    older = Package(os.environ["TESSIVA_MSI"])
    newer_path = STATE / "tessiva-9.0.0-x64.msi"
    subprocess.run([os.environ["TESSIVA_MAKE_MSI"], str(newer_path), exe, "9.0.0"], check=True)
    newer = Package(newer_path)
    tally.equal("the newer package has its own product code", newer.product_code != older.product_code, True)

    tally.equal("setup: another host's key", machine.prefix.add_key(NEIGHBOUR, r"C:\other\manifest.json"), True)
    machine.run("msiexec", "/?")  # msiexec's own first-run keys are not the package's
    registry_before = {hive: machine.export(hive) for hive in (r"HKLM\Software", r"HKCU\Software")}
    programs_before = machine.tree("Program Files")

    # A first install without Edge.
    tally.equal("install with EDGE=0", machine.msiexec("/i", older, "EDGE=0"), SUCCESS)
    check_installed(tally, machine, exe, older, {"CHROME", "CHROMIUM", "FIREFOX"}, "EDGE=0")

    # The newer package replaces the older one, with every browser.
    tally.equal("upgrade", machine.msiexec("/i", newer), SUCCESS)
    check_installed(tally, machine, exe, newer, set(BROWSERS), "upgrade")

    # The older one over it is refused and changes nothing.
    tally.equal("downgrade is refused", machine.msiexec("/i", older, log="downgrade.log"), FAILURE)
    tally.equal("downgrade: the newer version stays", machine.prefix.values(MACHINE_KEY)["Version"],
                ("REG_SZ", newer.version))
    tally.equal("downgrade: the log names the newer product",
                f"WIX_DOWNGRADE_DETECTED = {newer.product_code}" in machine.log("downgrade.log"), True)

    # The installed program is a host.
    host = target.host(program=rf"{FOLDER}\tessiva.exe")
    with host:
        tally.equal("a host started from Program Files answers hello", Conversation(host).result("hello"),
                    {"host_version": "0.1.0", "platform": "windows", "protocol": 1})

    # A repair puts back a deleted manifest and key. (Wine's "msiexec /f" finds no
    # per-machine product; REINSTALL is the same repair, spelled as properties.)
    (machine.drive / "Program Files" / "Tessiva" / MANIFESTS["firefox"]).unlink()
    machine.prefix.delete_key(BROWSERS["EDGE"][0])
    tally.equal("repair", machine.msiexec("/i", newer, "REINSTALL=ALL", "REINSTALLMODE=omus"), SUCCESS)
    check_installed(tally, machine, exe, newer, set(BROWSERS), "repair")

    # The user's own files (settings, saved files, logs) are not the package's.
    profile = machine.prefix.profile()
    for relative in (r"AppData/Roaming/Tessiva/config.json", "Documents/Tessiva/saved.txt",
                     "AppData/Local/Tessiva/tessiva.log"):
        (profile / relative).parent.mkdir(parents=True, exist_ok=True)
        (profile / relative).write_bytes(b"the user's")
    users_before = machine.tree("users")

    def check_removed(step):
        tally.equal(f"{step}: Program Files as before", machine.tree("Program Files"), programs_before)
        for hive, before in registry_before.items():
            after = machine.export(hive)
            gone = set(before.splitlines()) - set(after.splitlines())
            added = {line for line in set(after.splitlines()) - set(before.splitlines())
                     if not installer_container(line)}
            tally.equal(f"{step}: {hive} as before (lines added, lines gone)", (sorted(added), sorted(gone)),
                        ([], []))
        tally.equal(f"{step}: the user's files stay", machine.tree("users"), users_before)

    tally.equal("uninstall", machine.msiexec("/x", newer), SUCCESS)
    check_removed("uninstall")

    # Another folder, kept by an upgrade and removed with the package.
    other = r"C:\Apps\Tessiva"
    tally.equal("install into another folder", machine.msiexec("/i", older, f"INSTALLFOLDER={other}\\"), SUCCESS)
    tally.equal("upgrade in another folder", machine.msiexec("/i", newer), SUCCESS)
    check_installed(tally, machine, exe, newer, set(BROWSERS), "another folder", other)
    tally.equal("uninstall from another folder", machine.msiexec("/x", newer), SUCCESS)
    check_removed("uninstall from another folder")
    tally.equal("uninstall from another folder: its files are gone", machine.tree("Apps/Tessiva"), {})


def managed_browsers(target, tally):
    """With per-user hosts turned off by policy for Chrome and Edge, the self-check of the
    installed program finds the package's registration for every browser but the one
    left out, which it does not count as broken; a per-user copy older than the package
    is reported where it is started in its place. Runs after the lifecycle, whose
    before-and-after comparisons it would upset."""
    machine = Machine(target)
    tally.equal("install for managed browsers, without Chromium",
                machine.msiexec("/i", Package(os.environ["TESSIVA_MSI"]), "CHROMIUM=0"), SUCCESS)
    machine.prefix.add_key(MACHINE_KEY, "9.0.0", "Version")  # as a newer package would
    installed_exe = rf"{FOLDER}\tessiva.exe"
    manifests = {kind: rf"{FOLDER}\{name}" for kind, name in MANIFESTS.items()}
    for key in POLICY_KEYS:
        machine.prefix.add_key(key, "0", "NativeMessagingUserLevelHosts", "REG_DWORD")

    def check(program):
        host = target.host(args=["--check", "--json"], program=program, timeout=180.0)
        code, out = run_to_end(host, b"", timeout=180.0)
        report = json.loads(out)
        return code, report["reachable"], [(b["name"], b["code"], b.get("location")) for b in report["browsers"]]

    tally.equal("policies: --check --json from Program Files, every browser reachable at the package's manifests, "
                "Chromium not registered",
                check(installed_exe),
                (0, True, [(name, "not_registered", None) if prop == "CHROMIUM" else (name, "ok", manifests[BROWSERS[prop][1]])
                           for prop, name in BROWSER_NAMES.items()]))
    # A per-user copy (this build, older than the installed version) beside it: Firefox,
    # which no policy keeps from the user's registration, starts it instead.
    host = target.host(args=["--install", "--quiet", "--per-user"])
    tally.equal("a per-user install beside it, asked for", run_to_end(host, b"", timeout=180.0), (0, b""))
    code, reachable, browsers = check(installed_exe)
    tally.equal("policies and an older per-user copy: Firefox starts it in place of the package's copy, "
                "Chromium has only the per-user copy",
                (code, reachable, [b[1] for b in browsers]),
                (1, False, ["ok", "ok", "ok", "shadowed_by_user_copy"]))
    per_user = machine.prefix.profile() / "AppData" / "Local" / "Programs" / "Tessiva" / "tessiva.exe"
    host = target.host(args=["--uninstall", "--quiet"], program=target.windows_path(per_user))
    tally.equal("the per-user copy uninstalls itself", run_to_end(host, b"", timeout=180.0), (0, b""))


def end_wine():
    """Stops this test's wineserver and removes its prefix."""
    env = dict(os.environ, WINEPREFIX=str(STATE / "prefix"))
    if (STATE / "prefix").exists():
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.rmtree(STATE, ignore_errors=True)


if __name__ == "__main__":
    try:
        status = main([lifecycle, managed_browsers])
    finally:
        end_wine()
    sys.exit(status)
