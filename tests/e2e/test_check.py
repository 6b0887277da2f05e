"""The self-check through the real executable in a private HOME: after an install,
`--check` finds Chrome, Chromium and Firefox reachable and exits 0; each broken
registration is then reported as its own problem for the right browser, with exit
code 1; the "diagnose" request answers the same report quickly. Native build only.
The system folders (/etc/opt/chrome...) are read below TESSIVA_CHECK_ROOT here.
"""

import json
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

from hostlib import ORIGIN, linux_home, main

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

    def run(self, args, language="C.UTF-8"):
        env = {key: value for key, value in {**os.environ, **self.env}.items()
               if value is not None and not key.startswith(("LC_", "LANG"))}
        env["LC_ALL"] = language
        env["TESSIVA_CHECK_ROOT"] = str(self.root)
        done = subprocess.run([EXE, *args], env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=60,
                              cwd=self.path)
        return done.returncode, done.stdout.decode()

    def check(self):
        """The exit code and {browser: code} of `--check --json`."""
        code, out = self.run(["--check", "--json"])
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

    # Not installed: nothing is expected, a foreign home reports nothing as a problem.
    empty = Home(target, "empty")
    code, codes, report = empty.check()
    tally.equal("never installed: exit 0, every browser not registered",
                (code, report["installed"], set(codes.values())), (0, False, {"not_registered"}))

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


EXE = None

if __name__ == "__main__":
    if "--native" in sys.argv:
        EXE = os.path.abspath(sys.argv[sys.argv.index("--native") + 1])
    sys.exit(main([reachable_after_install]))
