"""The per-user installation on Linux, through the real executable in a private HOME:
`--install` (or no argument) copies the program to ~/.local/lib/tessiva and writes a
manifest for each browser, the installed copy answers as a browser starts it, an update
leaves a running old host working, and `--uninstall` takes back exactly what was
written. Native build only: the Windows installer has test_install.py.
"""

import json
import os
import pty
import shutil
import subprocess
import sys
import time
from pathlib import Path

from hostlib import ORIGIN, linux_home, main, ok_reply

HOST_NAME = "com.orbelle.tessiva"
# The one file a fresh private home holds: its user-dirs configuration.
USER_DIRS = ["xdg-config/user-dirs.dirs"]
FIREFOX_ID = "tessiva@orbelle.software"
CHROMIUM_FORM = ["Google Chrome", "Chromium", "Vivaldi"]
BROWSER_LINES = [
    "Google Chrome", "Google Chrome Beta", "Google Chrome Unstable", "Chromium", "Microsoft Edge",
    "Microsoft Edge Beta", "Microsoft Edge Dev", "Brave", "Brave Beta", "Brave Nightly", "Vivaldi", "Firefox",
    "LibreWolf", "Waterfox",
]
# What "registered" for a browser not there yet, "skipped" and the closing lines read in
# each language.
WORDS = {
    "C.UTF-8": ("registered for when it is installed", "skipped, the browser is not installed",
                "Tessiva was installed. Right-click a file in the browser and choose Open with.",
                "Tessiva was updated.", "removed", "Tessiva was uninstalled."),
    "es_ES.UTF-8": ("registrado para cuando se instale", "omitido, el navegador no está instalado",
                    "Tessiva se instaló. Haz clic derecho en un archivo en el navegador y elige Abrir con.",
                    "Tessiva se actualizó.", "eliminado", "Tessiva se desinstaló."),
    "pt_BR.UTF-8": ("registrado para quando for instalado", "ignorado, o navegador não está instalado",
                    "O Tessiva foi instalado. Clique com o botão direito num arquivo no navegador e escolha Abrir com.",
                    "O Tessiva foi atualizado.", "removido", "O Tessiva foi desinstalado."),
}


def manifest(path, form):
    allowed = ({"allowed_origins": admitted_origins()} if form == "chromium"
               else {"allowed_extensions": [FIREFOX_ID]})
    return json.dumps({**allowed, "description": "Tessiva", "name": HOST_NAME, "path": str(path), "type": "stdio"},
                      indent=2, sort_keys=True, ensure_ascii=False).encode()


def admitted_origins():
    ids = (Path(EXE).resolve().parent / "chromium_extension_ids.txt").read_text().split()
    return [f"chrome-extension://{extension_id}/" for extension_id in ids]


class Home:
    """A private home folder, with XDG folders of its own, and the commands run in it."""

    def __init__(self, target, name):
        self.target = target
        self.path = target.root / name
        self.path.mkdir()
        self.env = linux_home(self.path)
        self.program = self.path / ".local" / "lib" / "tessiva" / "tessiva"

    def manifests(self):
        config = Path(self.env["XDG_CONFIG_HOME"])
        return {
            "Google Chrome": config / "google-chrome" / "NativeMessagingHosts" / f"{HOST_NAME}.json",
            "Chromium": config / "chromium" / "NativeMessagingHosts" / f"{HOST_NAME}.json",
            "Vivaldi": config / "vivaldi" / "NativeMessagingHosts" / f"{HOST_NAME}.json",
            "Firefox": self.path / ".mozilla" / "native-messaging-hosts" / f"{HOST_NAME}.json",
        }

    def run(self, args, program=None, language="C.UTF-8", stdin=subprocess.DEVNULL):
        env = {key: value for key, value in {**os.environ, **self.env}.items()
               if value is not None and not key.startswith(("LC_", "LANG"))}
        env["LC_ALL"] = language
        done = subprocess.run([str(program or EXE), *args], env=env, stdin=stdin, capture_output=True,
                              timeout=60, cwd=self.path)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    def files(self):
        """Every file and link under the home, relative."""
        return sorted(str(p.relative_to(self.path)) for p in self.path.rglob("*") if not p.is_dir())

    def tree(self):
        """Every entry under the home, folders too, relative."""
        return sorted(str(p.relative_to(self.path)) for p in self.path.rglob("*"))


def hello(target, tally, home, name, host=None):
    """A browser's start of the installed program: a hello answered, exit 0 at the end."""
    own = host is None
    if own:
        host = target.host(args=[ORIGIN], program=home.program, home=home.path)
        host.start()
    try:
        tally.equal(f"{name}: hello", host.request(b'{"type":"hello","id":1}'), ok_reply(b"1"))
        if own:
            tally.equal(f"{name}: exit code at the end of input", (host.close(), host.unread), (0, b""))
    finally:
        if own and host.running:
            host.kill()


def opens_after_update(target, tally, host):
    """The host still starts an application after an update renamed a new program over
    its own: its launcher child is started from the running program's file."""
    folder = target.root / "update-open"
    (folder / "saved").mkdir(parents=True)
    out = folder / "args.txt"
    app = folder / "app"
    app.write_text(f"#!/bin/sh\nprintf '[%s]\\n' \"$@\" > '{out}.tmp' && mv '{out}.tmp' '{out}'\n")
    app.chmod(0o755)
    source = folder / "download.tmp"
    source.write_bytes(b"report")
    config = {"version": 1, "save_folder": str(folder / "saved"), "name_pattern": "{name}", "type_defaults": {},
              "apps": [{"id": "app", "name": "App", "path": str(app), "args": "{file}"}], "reveal_after_save": False}
    reply = json.loads(host.request(json.dumps({"type": "set_config", "id": 2, "config": config}).encode()))
    tally.equal("old host after the update: set_config", reply.get("ok"), True)
    request = {"type": "open_file", "id": 3, "source_path": str(source), "original_name": "report.txt",
               "target": {"kind": "app", "app_id": "app"}}
    reply = json.loads(host.request(json.dumps(request).encode()))
    saved = str(folder / "saved" / "report.txt")
    tally.equal("old host after the update: open_file", reply, {"id": 3, "ok": True, "result": {"saved_path": saved}})
    deadline = time.monotonic() + 10
    while not out.exists() and time.monotonic() < deadline:
        time.sleep(0.05)
    tally.equal("old host after the update: the application started with the file",
                out.read_text() if out.exists() else None, f"[{saved}]\n")


def install_and_uninstall(target, tally):
    if target.wine:
        return
    home = Home(target, "home")
    (home.path / "xdg-config" / "vivaldi").mkdir(parents=True)
    (home.path / ".var" / "app" / "org.mozilla.firefox").mkdir(parents=True)
    user_files = {
        "xdg-config/tessiva/config.json": b'{"version": 1}',
        "My Documents/Tessiva/report.txt": b"saved",
        "xdg-cache/tessiva/transfers/4242-t1.part": b"partial",
        "xdg-config/user-dirs.dirs": (home.path / "xdg-config" / "user-dirs.dirs").read_bytes(),
    }
    for relative, data in user_files.items():
        (home.path / relative).parent.mkdir(parents=True, exist_ok=True)
        (home.path / relative).write_bytes(data)

    # The first install comes from a downloaded copy that differs from this build, so
    # that the update below has something to replace.
    download = target.root / "download" / "tessiva"
    download.parent.mkdir()
    download.write_bytes(Path(EXE).read_bytes() + b"old build")
    download.chmod(0o755)
    before = home.tree()
    command = home.path / ".local" / "bin" / "tessiva"
    for step, language, args, program in (("install", "C.UTF-8", [], download),
                                          ("reinstall", "es_ES.UTF-8", ["--install"], download),
                                          ("reinstall", "pt_BR.UTF-8", ["--install"], home.program)):
        ahead, skipped, installed, updated, _, _ = WORDS[language]
        registered = ahead.split(" ")[0]
        code, out, err = home.run(args, program, language)
        tally.equal(f"{step} in {language}: exit code, no error", (code, err), (0, ""))
        lines = out.splitlines()
        # Only Vivaldi's folder is there; the browsers always written for are registered
        # for when they are installed, also on the updates.
        want = [f"{name}: {registered if name == 'Vivaldi' else ahead if name in CHROMIUM_FORM + ['Firefox'] else skipped}"
                for name in BROWSER_LINES]
        tally.equal(f"{step} in {language}: a line per browser", lines[:len(want)], want)
        tally.equal(f"{step} in {language}: Flatpak advice, where the command is (not on PATH), the closing line",
                    ([line.startswith("Firefox (Flatpak): ") for line in lines[len(want):-2]],
                     str(command) in lines[-2] and "PATH" in lines[-2], lines[-1:]),
                    ([True], True, [updated if step == "reinstall" else installed]))
        tally.equal(f"{step}: the command is linked to the installed program",
                    os.readlink(command) if command.is_symlink() else None, str(home.program))
        for name, path in home.manifests().items():
            form = "firefox" if name == "Firefox" else "chromium"
            tally.equal(f"{step}: {name}'s manifest byte for byte",
                        path.read_bytes() if path.exists() else None, manifest(home.program, form))
        tally.equal(f"{step}: the program is the installed copy, executable",
                    (home.program.read_bytes() == download.read_bytes(), os.access(home.program, os.X_OK)),
                    (True, True))
    hello(target, tally, home, "installed copy")

    # An update while an old host runs: the host keeps its file and answers to its end,
    # the next start gets the new program.
    old_host = target.host(args=[ORIGIN], program=home.program, home=home.path)
    old_host.start()
    try:
        hello(target, tally, home, "old host before the update", old_host)
        code, out, err = home.run(["--install", "--quiet"])
        tally.equal("update while a host runs: exit code, nothing printed", (code, out, err), (0, "", ""))
        tally.equal("update: the new program is in place",
                    home.program.read_bytes() == Path(EXE).read_bytes(), True)
        hello(target, tally, home, "old host after the update", old_host)
        opens_after_update(target, tally, old_host)
        tally.equal("old host: exit code at the end of input", (old_host.close(), old_host.unread), (0, b""))
    finally:
        if old_host.running:
            old_host.kill()
    hello(target, tally, home, "new host after the update")

    # A manifest with our name that the user pointed at another program stays.
    foreign = home.manifests()["Vivaldi"]
    foreign.write_bytes(manifest("/opt/elsewhere/host", "chromium"))
    for attempt in ("first", "second"):
        code, out, err = home.run(["--uninstall"])
        tally.equal(f"uninstall, {attempt}: exit code, no error", (code, err), (0, ""))
        tally.equal(f"uninstall, {attempt}: the closing line", out.splitlines()[-1:],
                    ["Tessiva was uninstalled." if attempt == "first" else "Tessiva was not installed."])
        # The home as it was: the folders made for browsers not there are gone; the log
        # and the folder of the manifest that stays remain.
        kept = {".local", ".local/state", ".local/state/tessiva", ".local/state/tessiva/tessiva.log",
                str(foreign.parent.relative_to(home.path)), str(foreign.relative_to(home.path))}
        tally.equal(f"uninstall, {attempt}: the home as before the install",
                    sorted(set(home.tree()) - kept), sorted(set(before) - kept))
        tally.equal(f"uninstall, {attempt}: the foreign manifest is reported",
                    f"Vivaldi: kept {foreign}, it starts another program (/opt/elsewhere/host)" in out.splitlines(),
                    True)
        tally.equal(f"uninstall, {attempt}: removed browsers",
                    [line for line in out.splitlines() if line.endswith(": removed")],
                    ["Google Chrome: removed", "Chromium: removed", "Firefox: removed"] if attempt == "first" else [])
        tally.equal(f"uninstall, {attempt}: left behind", home.files(),
                    # the troubleshooting log of the hosts started above stays, like the settings
                    sorted([*user_files, ".local/state/tessiva/tessiva.log", str(foreign.relative_to(home.path))]))
        tally.equal(f"uninstall, {attempt}: foreign manifest unchanged",
                    foreign.read_bytes(), manifest("/opt/elsewhere/host", "chromium"))
    tally.equal("uninstall: the install folder is gone", home.program.parent.exists(), False)
    host = target.host(args=[ORIGIN], program=home.program, home=home.path)
    try:
        host.start()
        tally.fails("uninstalled program starts", "it still exists")
    except OSError:
        pass


def questions_and_refusals(target, tally):
    if target.wine:
        return
    # Never installed: uninstalling does nothing and succeeds, twice.
    home = Home(target, "never")
    for attempt in ("first", "second"):
        tally.equal(f"uninstall when never installed, {attempt}", home.run(["--uninstall", "--quiet"]), (0, "", ""))
    tally.equal("uninstall when never installed, not quiet: says so", home.run(["--uninstall"]),
                (0, "Tessiva was not installed.\n", ""))
    tally.equal("uninstall when never installed: no file made", home.files(), USER_DIRS)

    # From a terminal the first install asks once; a refusal writes nothing.
    for number, (answer, want) in enumerate(((b"n\n", 2), (b"\n", 2), (b"s\n", 0))):
        home = Home(target, f"asked-{number}")
        controller, terminal = pty.openpty()
        try:
            os.write(controller, answer)
            code, out, _ = home.run([], language="es_ES.UTF-8", stdin=terminal)
        finally:
            os.close(controller)
            os.close(terminal)
        tally.equal(f"question answered {answer!r}: exit code", code, want)
        tally.equal(f"question answered {answer!r}: asked in Spanish", out.startswith("¿Instalar Tessiva"), True)
        tally.equal(f"question answered {answer!r}: a refusal says nothing changed",
                    out.endswith("No se cambió nada.\n"), want != 0)
        tally.equal(f"question answered {answer!r}: installed", home.program.exists(), want == 0)
        if want:
            tally.equal(f"question answered {answer!r}: nothing written", home.files(), USER_DIRS)

    # The packaged program does not install for the user. Its folder cannot be made
    # here, so the check only runs where the package is installed.
    packaged = Path("/usr/lib/tessiva/tessiva")
    if packaged.exists():
        home = Home(target, "packaged")
        code, out, _ = home.run([], program=packaged)
        tally.equal("packaged program: refuses per-user install", (code, "system-wide" in out, home.files()),
                    (0, True, USER_DIRS))


def options_on_the_command_line(target, tally):
    """"--help" and "--version" answer on standard output, any other unknown option is
    refused with exit code 2, and none of them installs anything (standard input is not
    a terminal, where a bare start installs quietly). A browser's arguments still start
    the host whatever else the line holds."""
    if target.wine:
        return
    home = Home(target, "options")
    code, out, err = home.run(["--help"])
    tally.equal("--help: exit 0, the usage on standard output",
                (code, out.startswith("Usage: tessiva "), "--uninstall" in out, "Exit codes:" in out, err),
                (0, True, True, True, ""))
    tally.equal("--version", home.run(["--version"]), (0, "Tessiva 0.1.0\n", ""))
    for args in (["--uninstal"], ["--quiet", "-x"], ["--Install"], ["--parent-window=5"]):
        code, out, err = home.run(args)
        tally.equal(f"{' '.join(args)}: refused", (code, out, err.count("\n"), args[-1] in err), (2, "", 1, True))
    tally.equal("nothing was installed", home.files(), USER_DIRS)
    for args in ([ORIGIN, "--parent-window=12"], ["--no-such-option", ORIGIN],
                 [str(home.path / "manifest.json"), FIREFOX_ID]):
        host = target.host(args=args, home=home.path)
        host.start()
        try:
            hello(target, tally, home, f"host started with {args}", host)
            tally.equal(f"host started with {args}: exit at the end of input", (host.close(), host.unread),
                        (0, b""))
        finally:
            if host.running:
                host.kill()


EXE = None

if __name__ == "__main__":
    if "--native" in sys.argv:
        EXE = os.path.abspath(sys.argv[sys.argv.index("--native") + 1])
    sys.exit(main([install_and_uninstall, questions_and_refusals, options_on_the_command_line]))
