"""The program beside an installation for all users, under Wine in a private prefix.

The installation for all users is laid down as its package does: tessiva.exe and both
manifests in C:\\Program Files\\Tessiva (the manifests are the per-user installer's own
bytes with the bare "tessiva.exe" as their "path"), the four host keys in
HKEY_LOCAL_MACHINE's 64-bit view naming them, and Software\\Tessiva with the install
folder and the version. Then:
- the copy for all users, started without a browser's arguments, installs nothing for
  the user and says how to remove it; asked to uninstall, it removes nothing;
- with the policies that turn off per-user hosts for Chrome and Edge, `--check --json`
  finds the registration for all users for every browser, starts that copy, and
  reports every browser reachable;
- a quiet per-user install beside it is refused unless "--per-user" asks for it;
- a per-user copy older than the one for all users is reported for each browser that
  starts it instead, and its own uninstaller is the fix; a newer one is no problem.
The native build has no such installation: nothing runs there.
"""

import json
import shutil
import sys

from hostlib import main, private_wine_prefix, run_to_end
from test_install import HOST_KEYS, UNINSTALL_KEY, WinePrefix, install_paths, remove_installation

HOST_NAME = "com.orbelle.tessiva"
MACHINE_FOLDER = r"C:\Program Files\Tessiva"
MACHINE_KEY = r"HKLM\Software\Tessiva"
POLICY_KEYS = [r"HKLM\Software\Policies\Google\Chrome", r"HKLM\Software\Policies\Microsoft\Edge"]
BROWSERS = ["Google Chrome", "Microsoft Edge", "Chromium", "Firefox"]
KINDS = ["chromium", "chromium", "chromium", "firefox"]
REMOVE = "To remove it, open Settings > Apps > Installed apps, or run: msiexec /x tessiva-{}-x64.msi"
INSTALLED = "Tessiva is installed system-wide by its package: there is nothing to install for this user. " + REMOVE
UNINSTALL = ("This copy of Tessiva is installed for all users by its package, and only the package removes it: "
             "nothing was changed. " + REMOVE)
REFUSED = ("Tessiva is already installed for all users of this computer: nothing was installed for this user. To "
           "install a copy for this user anyway, which takes the place of the one for all users in this user's "
           "browsers, add --per-user.")


def machine_manifest(per_user_text, per_user_exe):
    """The per-user installer's manifest with the bare executable name as its path."""
    written = '"path": ' + json.dumps(per_user_exe, ensure_ascii=False)
    assert written in per_user_text, per_user_text
    return per_user_text.replace(written, '"path": "tessiva.exe"')


def all_users(target, tally):
    if not target.wine:
        return
    with private_wine_prefix(target):
        prefix = WinePrefix(target)
        def run(args, program=None, timeout=180.0):
            host = target.host(args=args, timeout=timeout, program=program)
            code, output = run_to_end(host, b"", timeout=timeout)
            return code, output.decode(), host.stderr_path.read_bytes().decode("utf-8", "replace")

        def reg_add(key, value, name=None, kind="REG_SZ"):
            args = ["add", key, "/f", "/reg:64", "/t", kind, "/d", value] + (["/v", name] if name else ["/ve"])
            tally.equal(f"setup: reg add {key} {name or '(default)'}", prefix.reg(*args), 0)

        def check(program=None):
            code, out, _ = run(["--check", "--json"], program)
            report = json.loads(out)
            return code, report, {b["name"]: b for b in report["browsers"]}

        # The manifests as the per-user installer writes them, then no per-user install.
        code, out, _ = run(["--install", "--quiet"])
        tally.equal("setup: a per-user install for its manifests", (code, out), (0, ""))
        paths = install_paths(prefix)
        per_user_exe = paths["windows folder"] + r"\tessiva.exe"
        manifests = {kind: machine_manifest(paths[kind].read_text(encoding="utf-8"), per_user_exe)
                     for kind in ("chromium", "firefox")}
        remove_installation(prefix)

        folder = prefix.prefix / "drive_c" / "Program Files" / "Tessiva"
        folder.mkdir(parents=True)
        machine_exe = folder / "tessiva.exe"
        shutil.copyfile(target.launcher[-1], machine_exe)
        for kind, text in manifests.items():
            (folder / f"{HOST_NAME}.{kind}.json").write_text(text, encoding="utf-8")
        machine_manifests = [rf"{MACHINE_FOLDER}\{HOST_NAME}.{kind}.json" for kind in KINDS]
        for key, manifest in zip(HOST_KEYS, machine_manifests):
            reg_add("HKLM" + key[len("HKCU"):], manifest)
        reg_add(MACHINE_KEY, MACHINE_FOLDER + "\\", "InstallFolder")
        reg_add(MACHINE_KEY, "0.1.0", "Version")

        # Started by hand from the folder for all users.
        for args in ([], ["--install"]):
            code, out, _ = run(args, machine_exe)
            tally.equal(f"copy for all users, {args}: exit 0, says so, nothing installed for the user",
                        (code, out, paths["folder"].exists(), prefix.key_exists(UNINSTALL_KEY)),
                        (0, INSTALLED.format("0.1.0") + "\n", False, False))
        code, out, _ = run(["--uninstall"], machine_exe)
        tally.equal("copy for all users, --uninstall: exit 1, says who removes it, nothing removed",
                    (code, out, machine_exe.is_file(), prefix.key_exists("HKLM" + HOST_KEYS[0][len("HKCU"):])),
                    (1, UNINSTALL.format("0.1.0") + "\n", True, True))

        # Managed browsers: per-user hosts turned off for Chrome and Edge.
        for key in POLICY_KEYS:
            reg_add(key, "0", "NativeMessagingUserLevelHosts", "REG_DWORD")
        for name, program in (("from the folder for all users", machine_exe), ("from the download", None)):
            code, report, browsers = check(program)
            tally.equal(f"policies, check {name}: exit 0, installed, every browser reachable there",
                        (code, report["installed"], report["reachable"],
                         [(browsers[b]["code"], browsers[b]["location"]) for b in BROWSERS]),
                        (0, True, True, [("ok", manifest) for manifest in machine_manifests]))

        # A quiet per-user install is refused unless asked for.
        code, out, err = run(["--install", "--quiet"])
        tally.equal("quiet per-user install beside it: exit 3, the reason on standard error, nothing installed",
                    (code, out, err.strip(), paths["folder"].exists(), prefix.key_exists(UNINSTALL_KEY)),
                    (3, "", REFUSED, False, False))
        code, out, _ = run(["--install", "--quiet", "--per-user"])
        tally.equal("quiet per-user install with --per-user: exit 0, installed",
                    (code, out, paths["exe"].is_file(), prefix.key_exists(UNINSTALL_KEY)), (0, "", True, True))

        # The per-user copy (0.1.0) beside a newer copy for all users.
        reg_add(MACHINE_KEY, "0.2.0", "Version")
        per_user_manifests = [paths["windows folder"] + "\\" + paths[kind].name for kind in KINDS]
        shadowed = ("shadowed_by_user_copy", per_user_exe)
        code, report, browsers = check(machine_exe)
        tally.equal("newer for all users, policies on Chrome and Edge: exit 1, Chromium and Firefox start the "
                    "older per-user copy",
                    (code, report["reachable"], [(browsers[b]["code"], browsers[b].get("program")) for b in BROWSERS],
                     [browsers[b]["location"] for b in BROWSERS]),
                    (1, False, [("ok", None), ("ok", None), shadowed, shadowed],
                     machine_manifests[:2] + per_user_manifests[2:]))
        for key in POLICY_KEYS:
            prefix.delete_key(key)
        code, report, browsers = check()
        tally.equal("newer for all users, no policies: exit 1, every browser starts the older per-user copy",
                    (code, [(browsers[b]["code"], browsers[b].get("program")) for b in BROWSERS]),
                    (1, [shadowed] * 4))
        code, out, _ = run(["--check"])
        chromium = [line for line in out.splitlines() if line.startswith("Chromium: ")]
        tally.equal("newer for all users: the text names the per-user copy and its uninstaller",
                    (code, chromium),
                    (1, [f"Chromium: problem, the copy of Tessiva installed for this user ({per_user_exe}) is older "
                         "than the one installed for all users and is started in its place. Fix: run "
                         f'"{per_user_exe}" --uninstall.']))
        reg_add(MACHINE_KEY, "0.0.9", "Version")
        code, report, browsers = check()
        tally.equal("older for all users: exit 0, the per-user copy is what every browser starts",
                    (code, [(browsers[b]["code"], browsers[b]["location"]) for b in BROWSERS]),
                    (0, [("ok", manifest) for manifest in per_user_manifests]))

        # The fix: the per-user copy's own uninstaller, after which the copy for all users
        # is what every browser finds.
        reg_add(MACHINE_KEY, "0.2.0", "Version")
        code, out, _ = run(["--uninstall", "--quiet"], paths["exe"])
        tally.equal("the per-user copy uninstalls itself beside the copy for all users", (code, out), (0, ""))
        code, report, browsers = check()
        tally.equal("after the fix: exit 0, every browser at the copy for all users",
                    (code, [(browsers[b]["code"], browsers[b]["location"]) for b in BROWSERS]),
                    (0, [("ok", manifest) for manifest in machine_manifests]))


if __name__ == "__main__":
    sys.exit(main([all_users]))
