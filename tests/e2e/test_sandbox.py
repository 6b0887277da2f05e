"""Browsers in a sandbox, natively only, in a private home on a private session bus, with
stand-ins for what a real Flatpak provides: `flatpak-spawn` (it runs its command
after --host, recording its arguments), `flatpak` (its "override" writes the user
override file as Flatpak does), the native messaging proxy service and the desktop
portal (small services on the bus).

- A Chromium Flatpak without the opt-in gets the commands to paste; the opt-in is
  asked once from a terminal; after it the manifest in the sandbox starts the wrapper,
  the wrapper runs `flatpak-spawn --host` with the program and the browser's
  arguments, and the program answers "hello" through it.
- The self-check calls a sandboxed browser ok only when its way out is there, and
  otherwise names the problem and the fix: the permission, the wrapper, the proxy
  service and its permission, the desktop portal.
- `--uninstall --sandbox` and `--uninstall` take the wrapper and the permission back.
"""

import json
import os
import pty
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

from hostlib import ORIGIN, linux_home, main, ok_reply, python_with_gi

HOST_NAME = "com.orbelle.tessiva"
CHROMIUM = "org.chromium.Chromium"
FIREFOX = "org.mozilla.firefox"
WAIT = 15.0

# The bus and the stand-in commands are private: the script runs itself again under
# dbus-run-session with them in its environment.
if "--native" in sys.argv and "TESSIVA_SANDBOX_ROOT" not in os.environ:
    ROOT = Path(tempfile.mkdtemp(prefix="tessiva-sandbox-"))
    # The bus also reads the services it can start from ROOT/data/dbus-1/services.
    env = dict(os.environ, TESSIVA_SANDBOX_ROOT=str(ROOT), XDG_DATA_DIRS=f"{ROOT / 'data'}:/usr/share",
               PATH=f"{ROOT / 'bin'}:{os.environ.get('PATH', '/usr/bin:/bin')}")
    status = subprocess.run(["dbus-run-session", "--", sys.executable, *sys.argv], env=env, check=False).returncode
    shutil.rmtree(ROOT, ignore_errors=True)
    raise SystemExit(status)
ROOT = Path(os.environ.get("TESSIVA_SANDBOX_ROOT", tempfile.gettempdir()))

FLATPAK_SPAWN = """#!/bin/sh
# Records its arguments, then runs what follows --host, as the real one does outside.
printf '%s\\n' "$@" > "$HOME/flatpak-spawn.args"
while [ "$#" -gt 0 ] && [ "$1" != --host ]; do shift; done
shift
exec "$@"
"""

FLATPAK = """#!/bin/sh
# "flatpak override --user --[no-]talk-name=NAME APP": the user override file.
echo "$*" >> "$HOME/flatpak.calls"
[ "$1 $2" = "override --user" ] || exit 1
case "$3" in
  --talk-name=*) policy=talk; name=${3#--talk-name=} ;;
  --no-talk-name=*) policy=none; name=${3#--no-talk-name=} ;;
  *) exit 1 ;;
esac
mkdir -p "$XDG_DATA_HOME/flatpak/overrides"
printf '[Session Bus Policy]\\n%s=%s\\n' "$name" "$policy" > "$XDG_DATA_HOME/flatpak/overrides/$4"
"""

# Owns a bus name; the portal also serves the WebExtensions interface's "version".
SERVICE = """
import sys
from gi.repository import Gio, GLib
XML = ("<node><interface name='org.freedesktop.portal.WebExtensions'>"
       "<property name='version' type='u' access='read'/></interface></node>")
def acquired(connection, name):
    if name == "org.freedesktop.portal.Desktop":
        info = Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0]
        connection.register_object("/org/freedesktop/portal/desktop", info, None,
                                   lambda *_: GLib.Variant("u", 1), None)
Gio.bus_own_name(Gio.BusType.SESSION, sys.argv[1], Gio.BusNameOwnerFlags.NONE,
                 acquired, lambda *_: print("ready", flush=True), None)
GLib.MainLoop().run()
"""


class Home:
    def __init__(self, target, name):
        self.path = target.root / name
        self.path.mkdir()
        self.env = linux_home(self.path)
        self.program = self.path / ".local" / "lib" / "tessiva" / "tessiva"
        hosts = self.path / ".var" / "app" / CHROMIUM / "config" / "chromium" / "NativeMessagingHosts"
        self.manifest = hosts / f"{HOST_NAME}.json"
        self.wrapper = hosts / f"{HOST_NAME}.sh"
        self.overrides = Path(self.env["XDG_DATA_HOME"]) / "flatpak" / "overrides"

    def run(self, args, stdin=subprocess.DEVNULL):
        env = {key: value for key, value in {**os.environ, **self.env}.items()
               if value is not None and not key.startswith(("LC_", "LANG"))}
        env["LC_ALL"] = "C.UTF-8"
        env["TESSIVA_CHECK_ROOT"] = str(self.path / "system")
        # The tests run as root in CI: the check must still start the programs it finds.
        env["TESSIVA_CHECK_AS_ROOT"] = "0"
        done = subprocess.run([EXE, *args], env=env, stdin=stdin, capture_output=True, timeout=60, cwd=self.path)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    def answered(self, args, answer):
        """Runs from a terminal that types `answer`."""
        controller, terminal = pty.openpty()
        try:
            os.write(controller, answer)
            return self.run(args, stdin=terminal)
        finally:
            os.close(controller)
            os.close(terminal)

    def check(self):
        """The exit code, {name: (code, location)} and the text of the self-check."""
        code, out, _ = self.run(["--check", "--json"])
        report = json.loads(out)
        browsers = {(b["name"] + (" (Flatpak)" if b["flatpak"] else "")): b["code"] for b in report["browsers"]}
        return code, browsers, self.run(["--check"])[1]

    def tree(self):
        return sorted(str(p.relative_to(self.path)) for p in self.path.rglob("*"))


def service(name):
    """A stand-in service that owns `name` on the bus until it is terminated."""
    quiet = {key: value for key, value in os.environ.items() if key != "G_MESSAGES_DEBUG"}
    process = subprocess.Popen([python_with_gi(), "-c", SERVICE, name], stdout=subprocess.PIPE, env=quiet)
    assert process.stdout.readline() == b"ready\n", name
    return process


def activatable(name, on):
    """Makes the bus able to start a stand-in for `name`, or no longer able to."""
    path = ROOT / "data" / "dbus-1" / "services" / f"{name}.service"
    if on:
        script = write(ROOT / f"{name}.py", SERVICE)
        write(path, f"[D-BUS Service]\nName={name}\nExec={python_with_gi()} {script} {name}\n")
    else:
        path.unlink()
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                    "org.freedesktop.DBus.ReloadConfig"], check=True, capture_output=True, timeout=WAIT)


def write(path, text, mode=None):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    if mode:
        path.chmod(mode)
    return path


def chromium_flatpak(target, tally):
    home = Home(target, "chromium")
    (home.path / ".var" / "app" / CHROMIUM).mkdir(parents=True)
    (home.path / ".config").mkdir()
    before = home.tree()

    # Without the opt-in: the commands to paste, nothing in the sandbox.
    code, out, err = home.run(["--install", "--quiet"])
    tally.equal("quiet install: exit 0, nothing printed", (code, out, err), (0, "", ""))
    code, out, _ = home.run(["--install"])
    advice = [line for line in out.splitlines() if line.startswith("Chromium (Flatpak): ")]
    tally.equal("install without the opt-in: the commands ready to paste", (code, advice), (0, [
        "Chromium (Flatpak): not registered. Its sandbox reaches Tessiva only through a wrapper that starts it outside,"
        " with a permission that only you may give. To set it up, run:"
        f" {home.program} --install --sandbox {CHROMIUM}"
        f" (it also runs: flatpak override --user --talk-name=org.freedesktop.Flatpak {CHROMIUM})"]))
    tally.equal("without the opt-in: nothing in the sandbox, not registered",
                (home.manifest.parent.exists(), home.check()[1].get("Chromium (Flatpak)")), (False, "not_registered"))
    code, _, err = home.run(["--install", "--sandbox", FIREFOX])
    tally.equal("--sandbox with a browser that needs no wrapper: refused", (code, err.startswith("--sandbox ")),
                (2, True))

    # From a terminal the opt-in is asked once; a refusal changes nothing.
    code, out, _ = home.answered(["--install", "--sandbox", CHROMIUM], b"n\n")
    tally.equal("opt-in declined: exit 2, asked, nothing written",
                (code, out.startswith("Let Chromium (org.chromium.Chromium) start Tessiva outside its sandbox?"),
                 out.endswith("Nothing was changed.\n"), home.manifest.parent.exists()), (2, True, True, False))
    code, out, _ = home.answered(["--install", "--sandbox", CHROMIUM], b"y\n")
    tally.equal("opt-in accepted: the wrapper registered, the permission granted", (code, [
        line for line in out.splitlines() if line.startswith("Chromium (Flatpak): ")]), (0, [
            f"Chromium (Flatpak): registered, through the wrapper {home.wrapper} that starts Tessiva outside the sandbox",
            "Chromium (Flatpak): allowed to start programs outside its sandbox"
            f" (flatpak override --user --talk-name=org.freedesktop.Flatpak {CHROMIUM})"]))
    code, out, _ = home.answered(["--install", "--sandbox", CHROMIUM], b"n\n")
    tally.equal("set up already: not asked again", (code, "Let " in out, out.splitlines()[-1]),
                (0, False, "Tessiva was updated."))

    # The browser's start: the manifest's program with the origin, inside the sandbox
    # the wrapper, which hands the program and the arguments to flatpak-spawn.
    manifest = json.loads(home.manifest.read_text())
    tally.equal("the manifest in the sandbox starts the wrapper, for our extensions",
                (manifest["path"], manifest["name"], manifest["type"], bool(manifest["allowed_origins"]),
                 os.access(home.wrapper, os.X_OK)), (str(home.wrapper), HOST_NAME, "stdio", True, True))
    host = target.host(args=[ORIGIN], program=manifest["path"], home=home.path)
    with host:
        tally.equal("hello through the wrapper", host.request(b'{"type":"hello","id":1}'), ok_reply(b"1"))
    tally.equal("the wrapper ran flatpak-spawn --host with the program and the browser's arguments",
                (home.path / "flatpak-spawn.args").read_text().splitlines(),
                ["--watch-bus", "--host", str(home.program), ORIGIN])

    code, browsers, _ = home.check()
    tally.equal("self-check with the wrapper and the permission: ok, exit 0",
                (code, browsers.get("Chromium (Flatpak)")), (0, "ok"))
    # Without the permission the sandbox cannot start anything outside.
    (home.overrides / CHROMIUM).unlink()
    code, browsers, text = home.check()
    tally.equal("self-check without the permission: the problem and the fix, exit 1",
                (code, browsers.get("Chromium (Flatpak)"),
                 [line.endswith(f'Fix: run "flatpak override --user --talk-name=org.freedesktop.Flatpak {CHROMIUM}".')
                  for line in text.splitlines() if line.startswith("Chromium (Flatpak): problem, ")]),
                (1, "sandbox_no_permission", [True]))
    # Granted to every app, or in the app's own metadata, the permission counts too.
    write(home.overrides / "global", "[Session Bus Policy]\norg.freedesktop.*=talk\n")
    tally.equal("permission from the global override", home.check()[1].get("Chromium (Flatpak)"), "ok")
    write(home.overrides / CHROMIUM, "[Session Bus Policy]\norg.freedesktop.Flatpak=none\n")
    tally.equal("the app's own override wins over the global one", home.check()[1].get("Chromium (Flatpak)"),
                "sandbox_no_permission")
    (home.overrides / "global").unlink()
    # The advice of earlier versions: a manifest that starts the program inside.
    chrome = home.path / ".var" / "app" / "com.google.Chrome" / "config" / "google-chrome" / "NativeMessagingHosts"
    inside = json.loads((home.path / ".local/lib/tessiva" / f"{HOST_NAME}.chromium.json").read_text())
    write(chrome / f"{HOST_NAME}.json", json.dumps(inside))
    tally.equal("a manifest that starts the program inside the sandbox: no wrapper",
                home.check()[1].get("Google Chrome (Flatpak)"), "sandbox_no_wrapper")
    shutil.rmtree(home.path / ".var" / "app" / "com.google.Chrome")
    (home.overrides / CHROMIUM).unlink()

    # Taken back: first this sandbox alone, then everything.
    code, out, _ = home.run(["--install", "--quiet", "--sandbox", CHROMIUM])
    code, out, _ = home.run(["--uninstall", "--sandbox", CHROMIUM])
    tally.equal("uninstall of one sandbox: the wrapper and the permission taken back", (code, out.splitlines(), [
        p.exists() for p in (home.manifest, home.wrapper, home.program)]), (0, [
            "Chromium (Flatpak): removed",
            "Chromium (Flatpak): no longer allowed to start programs outside its sandbox"
            f" (flatpak override --user --no-talk-name=org.freedesktop.Flatpak {CHROMIUM})"], [False, False, True]))
    home.run(["--install", "--quiet", "--sandbox", CHROMIUM])
    code, out, _ = home.run(["--uninstall"])
    tally.equal("uninstall: the sandbox's files gone with the rest", (code, out.splitlines()[-1]),
                (0, "Tessiva was uninstalled."))
    # What stays: the log, the stand-ins' records, and the override that takes the
    # permission back.
    kept = {".local", ".local/state", ".local/state/tessiva", ".local/state/tessiva/tessiva.log",
            "flatpak-spawn.args", "flatpak.calls", "xdg-data", "xdg-data/flatpak", "xdg-data/flatpak/overrides",
            f"xdg-data/flatpak/overrides/{CHROMIUM}"}
    tally.equal("uninstall: the home as before", sorted(set(home.tree()) - kept), before)
    tally.equal("the permission granted on each opt-in that lacked it, taken back on each uninstall",
                (home.path / "flatpak.calls").read_text().splitlines(),
                [f"override --user --{no}talk-name=org.freedesktop.Flatpak {CHROMIUM}"
                 for no in ("", "", "no-", "", "no-")])


def firefox_and_snaps(target, tally):
    home = Home(target, "firefox")
    (home.path / ".var" / "app" / FIREFOX).mkdir(parents=True)
    (home.path / "snap" / "firefox").mkdir(parents=True)
    code, out, _ = home.run(["--install"])
    tally.equal("install: Firefox in a Flatpak is told about the proxy service",
                [line for line in out.splitlines() if line.startswith("Firefox (Flatpak): ")],
                ["Firefox (Flatpak): reaches Tessiva through the native messaging proxy service"
                 " (org.freedesktop.NativeMessagingProxy), which reads the manifest outside the sandbox, where the system"
                 " has that service;"
                 f' "{home.program} --check" says whether it can.'])

    code, browsers, text = home.check()
    tally.equal("nothing on the bus: proxy and portal missing, exit 1",
                (code, browsers.get("Firefox"), browsers.get("Firefox (Flatpak)"), browsers.get("Firefox (Snap)")),
                (1, "ok", "proxy_missing", "portal_missing"))
    tally.equal("the fixes say what to install",
                ["xdg-native-messaging-proxy" in text, "xdg-desktop-portal" in text], [True, True])
    # A proxy that the bus can start counts as there, without being started.
    activatable("org.freedesktop.NativeMessagingProxy", True)
    tally.equal("proxy activatable: there, but not allowed", home.check()[1].get("Firefox (Flatpak)"),
                "proxy_no_permission")
    activatable("org.freedesktop.NativeMessagingProxy", False)
    services = [service("org.freedesktop.NativeMessagingProxy"), service("org.freedesktop.portal.Desktop")]
    try:
        code, browsers, text = home.check()
        tally.equal("proxy on the bus but not allowed; the portal ok",
                    (code, browsers.get("Firefox (Flatpak)"), browsers.get("Firefox (Snap)")),
                    (1, "proxy_no_permission", "ok"))
        tally.equal("the fix for the proxy's permission",
                    f'Fix: run "flatpak override --user --talk-name=org.freedesktop.NativeMessagingProxy {FIREFOX}".'
                    in text, True)
        # The permission from the app's metadata, as the browser's package declares it.
        metadata = Path(home.env["XDG_DATA_HOME"]) / "flatpak" / "app" / FIREFOX / "current" / "active" / "metadata"
        write(metadata, "[Application]\nname=org.mozilla.firefox\n\n[Session Bus Policy]\n"
                        "org.freedesktop.NativeMessagingProxy=talk\n")
        code, browsers, _ = home.check()
        tally.equal("proxy allowed: Firefox in a Flatpak ok, exit 0", (code, browsers.get("Firefox (Flatpak)")),
                    (0, "ok"))
        # The services only pass on what the manifest outside says.
        (home.path / ".mozilla" / "native-messaging-hosts" / f"{HOST_NAME}.json").unlink()
        _, browsers, _ = home.check()
        tally.equal("with the manifest outside gone, every Firefox reports it",
                    [browsers.get(name) for name in ("Firefox", "Firefox (Flatpak)", "Firefox (Snap)")],
                    ["manifest_missing"] * 3)
    finally:
        for process in services:
            process.terminate()
            process.wait(WAIT)


EXE = None

if __name__ == "__main__":
    if "--native" not in sys.argv:
        print("skipped: browser sandboxes are tested natively only")
        raise SystemExit(0)
    EXE = os.path.abspath(sys.argv[sys.argv.index("--native") + 1])
    for name, text in (("flatpak-spawn", FLATPAK_SPAWN), ("flatpak", FLATPAK)):
        write(ROOT / "bin" / name, text, 0o755)
    sys.exit(main([chromium_flatpak, firefox_and_snaps]))
