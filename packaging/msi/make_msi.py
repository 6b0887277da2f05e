"""Builds the machine-wide installer package from the source that make_wxs wrote.

    make_msi.py --source FOLDER --executable tessiva.exe --icon tessiva.ico
                --version 0.1.0 --upgrade-code GUID --output tessiva-0.1.0-x64.msi

wixl builds the package; then what wixl cannot express is set in its tables:
- each browser's component is installed only when its property (browsers.tsv) is "1";
- those properties and INSTALLFOLDER are secure, so that the values given on the
  command line reach the installation that runs with elevated rights;
- the codes and dates that wixl makes up at random or from the clock: the product code
  is a name-based UUID of the upgrade code and the version, the package code one of
  everything packaged, and the summary's dates and the files' dates in the cabinet are
  SOURCE_DATE_EPOCH when it is set (the build's and the files' times otherwise). Two
  builds of the same inputs then give the same bytes.

Needs the GObject bindings of libmsi (Debian: gir1.2-libmsi-1.0, python3-gi).
"""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import uuid
from pathlib import Path

import gi

gi.require_version("Libmsi", "1.0")
from gi.repository import Libmsi  # noqa: E402  (after the version is chosen)

# Seconds between 1601-01-01 (where a FILETIME counts from) and 1970-01-01.
FILETIME_EPOCH_OFFSET = 11644473600


def guid(namespace, name):
    return "{" + str(uuid.uuid5(namespace, name)).upper() + "}"


def execute(database, query):
    statement = Libmsi.Query.new(database, query)
    statement.execute(None)
    statement.close()


def main():
    parser = argparse.ArgumentParser()
    for option in ("--source", "--executable", "--icon", "--version", "--upgrade-code", "--output"):
        parser.add_argument(option, required=True)
    options = parser.parse_args()
    source = Path(options.source)
    upgrade = uuid.UUID(options.upgrade_code)
    browsers = [line.split("\t") for line in (source / "browsers.tsv").read_text().splitlines() if line]

    product_code = guid(upgrade, "product " + options.version)
    # The package code names these exact bytes: every input, and the version.
    digest = hashlib.sha256(options.version.encode())
    for path in sorted(source.iterdir()) + [Path(options.executable), Path(options.icon)]:
        digest.update(path.name.encode() + b"\0" + path.read_bytes())
    package_code = guid(upgrade, "package " + digest.hexdigest())

    output = Path(options.output)
    with tempfile.TemporaryDirectory(dir=output.parent) as work:
        # wixl finds the files by their names in the folder where it runs.
        stage = Path(work) / "files"
        shutil.copytree(source, stage)
        shutil.copyfile(options.executable, stage / "tessiva.exe")
        shutil.copyfile(options.icon, stage / "tessiva.ico")
        epoch = os.environ.get("SOURCE_DATE_EPOCH")
        if epoch:
            # The cabinet records each file's modification time.
            for path in stage.iterdir():
                os.utime(path, (int(epoch), int(epoch)))
        built = Path(work) / output.name
        done = subprocess.run(["wixl", "-a", "x64", "-o", str(built),
                               "-D", f"Version={options.version}", "-D", f"ProductCode={product_code}",
                               "-D", f"UpgradeCode={{{str(upgrade).upper()}}}", "tessiva.wxs"],
                              cwd=stage, stderr=subprocess.PIPE, text=True, env=dict(os.environ, TZ="UTC"))
        if done.returncode != 0:
            # Without GLib's warnings about attributes that wixl does not know.
            sys.stderr.write("".join(line for line in done.stderr.splitlines(True)
                                     if "GLib-GObject-WARNING" not in line and line.strip()))
            return 1

        database = Libmsi.Database.new(str(built), Libmsi.DbFlags.TRANSACT, None)
        for component, prop, _key in browsers:
            execute(database, f"UPDATE `Component` SET `Condition` = '{prop} = \"1\"' "
                              f"WHERE `Component` = '{component}'")
        query = Libmsi.Query.new(database, "SELECT `Value` FROM `Property` WHERE `Property` = 'SecureCustomProperties'")
        query.execute(None)
        record = query.fetch()
        query.close()
        secure = [name for name in record.get_string(1).split(";") if name]
        secure += [prop for _component, prop, _key in browsers] + ["INSTALLFOLDER"]
        execute(database, f"UPDATE `Property` SET `Value` = '{';'.join(secure)}' "
                          "WHERE `Property` = 'SecureCustomProperties'")

        summary = Libmsi.SummaryInfo.new(database, 16)
        summary.set_string(Libmsi.Property.UUID, package_code)
        if epoch:
            filetime = (int(epoch) + FILETIME_EPOCH_OFFSET) * 10_000_000
            summary.set_filetime(Libmsi.Property.CREATED_TM, filetime)
            summary.set_filetime(Libmsi.Property.LASTSAVED_TM, filetime)
        summary.persist()
        database.commit()
        del database
        os.replace(built, output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
