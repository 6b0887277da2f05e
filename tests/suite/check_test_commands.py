"""Fails when a registered test could not fail: a test started through the
cross-compiling emulator (cmake/wine-run.sh) whose program is not a Windows executable
(Wine would start a Linux program and lose its exit status), or a script test whose
interpreter is not the build's own Python. Also fails when the emulator itself would
start a Linux program instead of refusing it.

    check_test_commands.py CTEST BUILD_FOLDER PYTHON
"""

import json
import os
import subprocess
import sys
from pathlib import Path

EMULATOR = "wine-run.sh"


def is_windows_executable(path):
    try:
        with open(path, "rb") as file:
            return file.read(2) == b"MZ"
    except OSError:
        return False


def problems(tests, python):
    found = []
    real_python = os.path.realpath(python)
    for test in tests:
        name, command = test["name"], test.get("command") or []
        if not command:
            continue
        program = command[0]
        if Path(program).name == EMULATOR:
            if len(command) < 2 or not is_windows_executable(command[1]):
                found.append(f"{name}: started through {EMULATOR}, but {command[1:2]} is not a Windows executable or does not exist")
            continue
        runs_script = any(argument.endswith(".py") for argument in command[1:])
        if (runs_script or Path(program).name.startswith("python")) and os.path.realpath(program) != real_python:
            found.append(f"{name}: runs {program}, not the build's Python {python}")
    return found


def emulator_refuses(python):
    """wine-run.sh refuses a Linux program with exit code 2, before Wine or any folder of
    its state is made."""
    runner = Path(__file__).resolve().parents[2] / "cmake" / EMULATOR
    env = {k: v for k, v in os.environ.items() if k != "TESSIVA_WINE_STATE"}
    done = subprocess.run([str(runner), python, "-c", "import sys; sys.exit(3)"], env=env, capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=60)
    if done.returncode != 2 or b"not a Windows executable" not in done.stderr:
        return [f"{EMULATOR} started {python}: exit code {done.returncode}, {done.stderr[-200:]!r}"]
    return []


def main(ctest, build, python):
    done = subprocess.run([ctest, "--show-only=json-v1", "--test-dir", build], capture_output=True, check=True,
                          timeout=120)
    tests = json.loads(done.stdout)["tests"]
    found = problems(tests, python) + emulator_refuses(python)
    for problem in found:
        print(f"FAIL {problem}")
    print(f"{len(tests)} tests read, {len(found)} that could not fail")
    return 1 if found or not tests else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
