"""The self-check through the real executable: after an install, `--check` finds every
browser the installer registers reachable and exits 0; each broken registration is
then reported as its own problem for the right browser, with exit code 1; the
"diagnose" request answers the same report quickly.

Natively in a private HOME, through the test build of the program (tessiva_test_host),
which reads the system folders (/etc/opt/chrome...) below TESSIVA_CHECK_ROOT and takes
TESSIVA_CHECK_AS_ROOT instead of whether it runs as root: the probes run with "0",
also where the tests run as root; run as root, the check names the programs instead of
starting them. The shipped program holds neither variable. Under Wine in a private prefix, after a real quiet install:
host keys, manifests and policies are broken one at a time with reg.exe and file
edits, and put back after each.
"""

import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

from hostlib import ORIGIN, linux_home, main, private_wine_prefix, run_to_end

HOST_NAME = "com.orbelle.tessiva"


class Home:
    def __init__(self, target, name):
        self.path = target.root / name
        self.path.mkdir()
        self.env = linux_home(self.path)
        self.root = self.path / "system"
        self.program = self.path / ".local" / "lib" / "tessiva" / "tessiva"
        config = Path(self.env["XDG_CONFIG_HOME"])
        self.manifests = {
            "Google Chrome": config / "google-chrome" / "NativeMessagingHosts" / f"{HOST_NAME}.json",
            "Chromium": config / "chromium" / "NativeMessagingHosts" / f"{HOST_NAME}.json",
            "Firefox": self.path / ".mozilla" / "native-messaging-hosts" / f"{HOST_NAME}.json",
        }

    def run(self, args, language="C.UTF-8", as_root="0", program=None, path=None):
        env = {key: value for key, value in {**os.environ, **self.env}.items()
               if value is not None and not key.startswith(("LC_", "LANG", "TESSIVA_CHECK_"))}
        env["LC_ALL"] = language
        env["TESSIVA_CHECK_ROOT"] = str(self.root)
        if as_root is not None:
            env["TESSIVA_CHECK_AS_ROOT"] = as_root
        if path:
            env["PATH"] = f"{path}:{env.get('PATH', '')}"
        done = subprocess.run([program or EXE, *args], env=env, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=60, cwd=self.path)
        return done.returncode, done.stdout.decode()

    def check(self, as_root="0"):
        """The exit code and {browser: code} of `--check --json`."""
        code, out = self.run(["--check", "--json"], as_root=as_root)
        report = json.loads(out)
        return code, {b["name"]: b["code"] for b in report["browsers"]}, report


def reachable_after_install(target, tally):
    if target.wine:
        return
    home = Home(target, "installed")
    tally.equal("install", home.run(["--install", "--quiet"]), (0, ""))
    code, codes, report = home.check()
    tally.equal("after install: exit 0, the three browsers ok",
                (code, [codes.get(name) for name in home.manifests], report["installed"], report["reachable"]),
                (0, ["ok", "ok", "ok"], True, True))
    tally.equal("after install: a browser that is not there is not registered", codes.get("Vivaldi"),
                "not_registered")
    tally.equal("after install: folders ok", [(c["name"], c["status"]) for c in report["checks"]],
                [("settings", "ok"), ("save_folder", "ok"), ("transfers_folder", "ok"), ("free_space", "ok")])
    # The command the installer put in ~/.local/bin, found on the PATH as a user types it.
    commands = home.path / ".local" / "bin"
    code, out = home.run(["--check"], program="tessiva", path=commands)
    lines = out.splitlines()
    tally.equal("tessiva --check from the PATH: exit 0, defaults in use, all reachable",
                (code, [line for line in lines if line.startswith("Settings: ")], lines[-1:]),
                (0, [f"Settings: ok, defaults in use ({home.env['XDG_CONFIG_HOME']}/tessiva/config.json does not exist)"],
                 ["Every browser that should reach Tessiva can."]))
    code, out = home.run(["--check"], language="es_ES.UTF-8")
    tally.equal("text report in Spanish", (code, out.splitlines()[0].startswith("Google Chrome: correcto ("),
                                           out.splitlines()[-1]),
                (0, True, "Todos los navegadores que deben llegar a Tessiva pueden hacerlo."))

    chrome, chromium, firefox = home.manifests.values()
    policies = home.root / "etc" / "opt" / "chrome" / "policies" / "managed"
    chromium_policies = home.root / "etc" / "chromium" / "policies" / "managed"
    mute = home.path / "mute"
    mute.write_text("#!/bin/sh\nexit 0\n")
    mute.chmod(0o755)

    def edit(path, change):
        data = json.loads(path.read_text())
        change(data)
        path.write_text(json.dumps(data))

    faults = [
        ("a deleted manifest", lambda: chrome.unlink(), "Google Chrome", "manifest_missing"),
        ("a path to a missing file", lambda: edit(chromium, lambda d: d.update(path=str(home.path / "gone"))),
         "Chromium", "path_missing"),
        ("a manifest without our extension", lambda: edit(firefox, lambda d: d.update(allowed_extensions=["x@y"])),
         "Firefox", "origin_missing"),
        ("a corrupt manifest", lambda: chromium.write_text('{"name": "com.orbelle.tessiva", '), "Chromium",
         "manifest_invalid"),
        # Deeper than the frame reader allows: manifests are read by the same rules.
        ("a manifest nested too deep", lambda: edit(chromium, lambda d: d.update(x=json.loads("[" * 250 + "]" * 250))),
         "Chromium", "manifest_invalid"),
        ("a policy forbidding user-level hosts",
         lambda: (policies.mkdir(parents=True),
                  (policies / "hosts.json").write_text('{"NativeMessagingUserLevelHosts": false}')),
         "Google Chrome", "policy_user_level_hosts"),
        ("a block list of every host",
         lambda: (chromium_policies.mkdir(parents=True),
                  (chromium_policies / "block.json").write_text('{"NativeMessagingBlocklist": ["*"]}')),
         "Chromium", "policy_blocklist"),
        ("a program that does not answer", lambda: edit(firefox, lambda d: d.update(path=str(mute))), "Firefox",
         "host_no_answer"),
    ]
    for name, breaking, browser, want in faults:
        breaking()
        code, codes, _ = home.check()
        others = {b: c for b, c in codes.items() if b in home.manifests and b != browser}
        tally.equal(f"{name}: reported for {browser}, exit 1, the others ok", (code, codes.get(browser), others),
                    (1, want, {b: "ok" for b in others}))
        shutil.rmtree(home.root, ignore_errors=True)
        tally.equal(f"{name}: repaired by reinstalling", home.run(["--install", "--quiet"]), (0, ""))

    # An allow list entry lets the host through a block list of every host.
    chromium_policies.mkdir(parents=True)
    (chromium_policies / "block.json").write_text(
        json.dumps({"NativeMessagingBlocklist": ["*"], "NativeMessagingAllowlist": [HOST_NAME]}))
    tally.equal("block list with our host allowed", home.check()[:2][1].get("Chromium"), "ok")
    shutil.rmtree(home.root)

    # A system folder's registration is used when the user's is gone.
    system = home.root / "etc" / "chromium" / "native-messaging-hosts"
    system.mkdir(parents=True)
    shutil.copy(chromium, system)
    chromium.unlink()
    _, codes, report = home.check()
    location = [b["location"] for b in report["browsers"] if b["name"] == "Chromium"]
    tally.equal("system folder's manifest used", (codes.get("Chromium"), location),
                ("ok", [str(system / f"{HOST_NAME}.json")]))

    # Not installed: nothing is expected, nothing reaches Tessiva, and the fix names the
    # program as it was run (the build is not on the PATH).
    empty = Home(target, "empty")
    code, codes, report = empty.check()
    tally.equal("never installed: exit 1, every browser not registered, not reachable",
                (code, report["installed"], report["reachable"], set(codes.values())),
                (1, False, False, {"not_registered"}))
    code, out = empty.run(["--check"])
    tally.equal("never installed: the text says how to install", (code, out.splitlines()[-1:]),
                (1, [f'Tessiva is not installed for this user. Fix: run "{EXE} --install".']))

    # The request, from a Chromium-family browser's start of the installed program.
    host = target.host(args=[ORIGIN], program=home.program, home=home.path)
    with host:
        started = time.monotonic()
        reply = json.loads(host.request(b'{"type":"diagnose","id":7}'))
        took = time.monotonic() - started
    result = reply.get("result", {})
    tally.equal("diagnose: ok, the caller's family marked, within 2 s",
                (reply.get("ok"), result.get("caller_family"),
                 {b["name"]: b["caller_family"] for b in result.get("browsers", [])}.get("Firefox"), took < 2),
                (True, "chromium", False, True))

    # The log tells the check's probes from a browser's start: every probe of a browser
    # the check found says so, the host started above as Chromium does not.
    log = home.path / ".local" / "state" / "tessiva" / "tessiva.log"
    starts = [line for line in log.read_text().splitlines() if " start " in line]
    tally.equal("log: the probes' starts say self-check, a browser's does not",
                (sum(line.endswith(" started_by=self_check") for line in starts) >= 3,
                 starts[-1].endswith(" started_by=self_check")), (True, False))


def run_as_root(target, tally):
    """Run as root, the check starts no program a manifest names: each is reported as
    found and not started, the rest of the check as usual. Checked with the test hook
    saying "root", and where the tests run as root also with the process's own answer."""
    if target.wine:
        return
    home = Home(target, "root")
    tally.equal("root: install", home.run(["--install", "--quiet"]), (0, ""))
    marker = home.path / "started"
    spy = home.path / "spy"
    spy.write_text(f"#!/bin/sh\necho started > '{marker}'\n")
    spy.chmod(0o755)
    firefox = home.manifests["Firefox"]
    firefox.write_text(json.dumps({**json.loads(firefox.read_text()), "path": str(spy)}))
    for how in ["1"] + ([None] if os.geteuid() == 0 else []):
        name = "root (test hook)" if how else "root (the process's own user)"
        code, codes, report = home.check(as_root=how)
        programs = {b["name"]: (b["status"], b.get("program")) for b in report["browsers"] if b["name"] in home.manifests}
        tally.equal(f"{name}: exit 0, each program named and not started",
                    (code, [codes.get(b) for b in home.manifests], programs["Firefox"], programs["Chromium"],
                     report["reachable"], marker.exists()),
                    (0, ["host_not_started_as_root"] * 3, ("ok", str(spy)), ("ok", str(home.program)), True, False))
        code, out = home.run(["--check"], as_root=how)
        line = [text for text in out.splitlines() if text.startswith("Firefox: ")]
        tally.equal(f"{name}: the text names the program that was not started", (code, line),
                    (0, [f"Firefox: ok ({firefox}), the program {spy} was not started: run as root, the check "
                        "starts no program. Run it as the user to start it."]))
    code, codes, _ = home.check(as_root="0")
    tally.equal("not root: the program is started", (code, codes.get("Firefox"), marker.exists()),
                (1, "host_no_answer", True))


def shipped_program_has_no_test_hooks(target, tally):
    if SHIPPED is None:
        return
    data = Path(SHIPPED).read_bytes()
    tally.equal("the shipped program reads no test variable of the check",
                [name for name in (b"TESSIVA_CHECK_ROOT", b"TESSIVA_CHECK_AS_ROOT") if name in data], [])


def reachable_after_install_under_wine(target, tally):
    if not target.wine:
        return
    from test_install import HOST_KEYS, WinePrefix, install_paths

    with private_wine_prefix(target):
        prefix = WinePrefix(target)
        def run(args):
            return run_to_end(target.host(args=args, timeout=120.0), b"", timeout=120.0)

        def check():
            code, out = run(["--check", "--json"])
            report = json.loads(out)
            return code, {b["name"]: b["code"] for b in report["browsers"]}, report

        tally.equal("install in a private prefix", run(["--install", "--quiet"]), (0, b""))
        paths = install_paths(prefix)
        browsers = ["Google Chrome", "Microsoft Edge", "Chromium", "Firefox"]
        code, codes, report = check()
        tally.equal("after install: exit 0, the four registrations ok",
                    (code, codes, report["installed"], report["reachable"]),
                    (0, {name: "ok" for name in browsers}, True, True))
        tally.equal("after install: folders ok", [(c["name"], c["status"]) for c in report["checks"]],
                    [("settings", "ok"), ("save_folder", "ok"), ("transfers_folder", "ok"), ("free_space", "ok")])
        windows_manifest = {b["name"]: b["location"] for b in report["browsers"]}
        tally.equal("after install: the manifests the keys name",
                    [windows_manifest[name].rsplit("\\", 1)[-1] for name in browsers],
                    [f"{HOST_NAME}.chromium.json"] * 3 + [f"{HOST_NAME}.firefox.json"])
        code, out = run(["--check"])
        lines = out.decode().splitlines()
        tally.equal("text report", (code, lines[0].startswith("Google Chrome: ok (C:\\"), lines[-1]),
                    (0, True, "Every browser that should reach Tessiva can."))

        chromium_key, edge_key = HOST_KEYS[2], HOST_KEYS[1]
        policy_key = r"HKLM\Software\Policies\Google\Chrome"

        def own_manifest(key, name, text):
            """Gives one browser a manifest of its own, `text`, in the install folder."""
            (paths["folder"] / name).write_text(text)
            prefix.add_key(key, paths["windows folder"] + "\\" + name)

        def edit(path, change):
            data = json.loads(path.read_text())
            change(data)
            path.write_text(json.dumps(data))

        chromium_text = paths["chromium"].read_text()
        firefox_text = paths["firefox"].read_text()
        without_origin = json.dumps({**json.loads(chromium_text), "allowed_origins": ["chrome-extension://x/"]})
        faults = [
            ("a deleted host key", lambda: prefix.delete_key(HOST_KEYS[0]), "Google Chrome", "manifest_missing"),
            ("a path to a missing file",
             lambda: edit(paths["firefox"], lambda d: d.update(path=paths["windows folder"] + "\\gone.exe")),
             "Firefox", "path_missing"),
            ("a manifest without our origin", lambda: own_manifest(chromium_key, "other.json", without_origin),
             "Chromium", "origin_missing"),
            ("a policy forbidding user-level hosts",
             lambda: prefix.add_key(policy_key, "0", "NativeMessagingUserLevelHosts", "REG_DWORD"),
             "Google Chrome", "policy_user_level_hosts"),
            ("a corrupt manifest", lambda: own_manifest(edge_key, "edge.json", '{"name": "' + HOST_NAME + '", '),
             "Microsoft Edge", "manifest_invalid"),
        ]
        for name, breaking, browser, want in faults:
            breaking()
            code, codes, _ = check()
            tally.equal(f"{name}: reported for {browser}, exit 1, the others ok", (code, codes),
                        (1, {b: want if b == browser else "ok" for b in browsers}))
            # Put back as the installer left it.
            prefix.delete_key(policy_key)
            paths["firefox"].write_text(firefox_text)
            for key, kind in zip(HOST_KEYS, ["chromium", "chromium", "chromium", "firefox"]):
                prefix.add_key(key, paths["windows folder"] + "\\" + paths[kind].name)

        # Edge without a key of its own reads Chromium's.
        prefix.delete_key(edge_key)
        code, codes, report = check()
        tally.equal("Edge falls back to the Chromium key", (code, codes["Microsoft Edge"]), (0, "ok"))

        # Started with "start /wait", it has no standard output: the report goes to a file
        # beside the log (the message box that names it cannot show without a display).
        runner, exe = target.launcher
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "TESSIVA_WINE_MARK")}
        report_file = paths["programs"].parent / "Tessiva" / "logs" / "tessiva-check.txt"
        done = subprocess.run([runner, "start", "/wait", "/unix", exe, "--check"], env=env, stdin=subprocess.DEVNULL,
                              capture_output=True, timeout=120)
        lines = report_file.read_text().splitlines() if report_file.exists() else []
        tally.equal("without standard output: the report in a file beside the log",
                    (done.returncode, done.stdout, len(lines), lines[-1:]),
                    (0, b"", 9, ["Every browser that should reach Tessiva can."]))

        host = target.host(args=[ORIGIN])
        with host:
            started = time.monotonic()
            reply = json.loads(host.request(b'{"type":"diagnose","id":7}', 20.0))
            took = time.monotonic() - started
        result = reply.get("result", {})
        tally.equal("diagnose: ok, the caller's family marked, within 2 s",
                    (reply.get("ok"), result.get("caller_family"), result.get("installed"),
                     {b["name"]: b["code"] for b in result.get("browsers", [])}.get("Firefox"), took < 2),
                    (True, "chromium", True, "ok", True))


EXE = None
# The shipped program, beside the test build that the checks run.
SHIPPED = None

if __name__ == "__main__":
    if "--native" in sys.argv:
        EXE = os.path.abspath(sys.argv[sys.argv.index("--native") + 1])
    arguments = sys.argv[1:]
    if "--shipped" in arguments:
        at = arguments.index("--shipped")
        SHIPPED = arguments[at + 1]
        del arguments[at:at + 2]
    sys.exit(main([reachable_after_install, run_as_root, shipped_program_has_no_test_hooks,
                   reachable_after_install_under_wine], arguments))
