"""docs/protocol.md against the host: every example block of the document is played
against the executable and its replies are compared byte for byte, and the document's
tables of requests and error codes are compared with the dispatcher's table
(src/main/dispatch.cpp) and the error codes (src/messages/host_error.h).

An example block is fenced as ```exchange (or ```exchange linux / windows for one
platform only): lines "> request" and "< expected reply". In an expected reply, a string
"$name" matches any JSON value and binds the name (the same name must match the same
value again within the block); in a request it is replaced by the bound value. Some
names are bound before a block runs: $platform (the build's platform), $source and
$other_source (fresh files), $old_source (a file last written an hour ago), $app (an
existing file named Editor.exe) and $blocked_folder (a folder path inside a regular
file). After the bindings are put in, the expected reply is written as the host writes
JSON (compact, members in key order) and must equal the reply exactly."""

import json
import os
import re
import time
from pathlib import Path

from hostlib import main, stderr_tail

ROOT = Path(__file__).resolve().parents[2]
DOC = ROOT / "docs" / "protocol.md"
PLACEHOLDER = re.compile(r"^\$([a-z_]+)$")


def blocks(text):
    """(line number, platform or None, [(request text, expected reply text)]) per block."""
    found = []
    lines = text.split("\n")
    i = 0
    while i < len(lines):
        fence = re.match(r"^```exchange(?: (linux|windows))?\s*$", lines[i])
        if not fence:
            i += 1
            continue
        start, pairs, request = i + 1, [], None
        i += 1
        while not lines[i].startswith("```"):
            line = lines[i]
            if line.startswith("> "):
                if request is not None:
                    raise ValueError(f"line {i + 1}: a request without its reply")
                request = line[2:]
            elif line.startswith("< "):
                if request is None:
                    raise ValueError(f"line {i + 1}: a reply without a request")
                pairs.append((request, line[2:]))
                request = None
            elif line.strip():
                raise ValueError(f"line {i + 1}: neither a request nor a reply: {line!r}")
            i += 1
        if request is not None or not pairs:
            raise ValueError(f"block at line {start}: empty, or a request without its reply")
        found.append((start, fence.group(1), pairs))
        i += 1
    return found


def match(want, got, bound):
    """Whether `got` matches `want` with its placeholders; binds them into `bound`."""
    if isinstance(want, str) and (m := PLACEHOLDER.match(want)):
        name = m.group(1)
        if name in bound:
            return bound[name] == got
        bound[name] = got
        return True
    if isinstance(want, dict):
        return (isinstance(got, dict) and list(want) == list(got)
                and all(match(want[k], got[k], bound) for k in want))
    if isinstance(want, list):
        return isinstance(got, list) and len(want) == len(got) and all(map(lambda a, b: match(a, b, bound), want, got))
    return type(want) is type(got) and want == got


def fill(value, bound):
    """`value` with every bound placeholder replaced by its value."""
    if isinstance(value, str) and (m := PLACEHOLDER.match(value)) and m.group(1) in bound:
        return bound[m.group(1)]
    if isinstance(value, dict):
        return {k: fill(v, bound) for k, v in value.items()}
    if isinstance(value, list):
        return [fill(v, bound) for v in value]
    return value


def written(value):
    """JSON as the host writes it: compact, members in key order, UTF-8 unescaped."""
    return json.dumps(value, separators=(",", ":"), sort_keys=True, ensure_ascii=False).encode()


def request_bytes(text, bound):
    """The request line with placeholders replaced; a line that is not JSON is sent as it is."""
    try:
        value = json.loads(text)
    except ValueError:
        return text.encode()
    return written(fill(value, bound)) if "$" in text else text.encode()


def prepared(target, folder):
    """The names bound before each block: fresh files as the host spells their paths."""
    folder.mkdir(parents=True, exist_ok=True)
    for name in ("source.txt", "other.txt", "old.txt"):
        (folder / name).write_text("report\n")
    old = time.time() - 3600
    os.utime(folder / "old.txt", (old, old))
    (folder / "Editor.exe").write_bytes(b"")
    (folder / "plain-file").write_text("a file, not a folder\n")
    return {
        "platform": "linux" if not target.wine else "windows",
        "source": target.windows_path(folder / "source.txt"),
        "other_source": target.windows_path(folder / "other.txt"),
        "old_source": target.windows_path(folder / "old.txt"),
        "app": target.windows_path(folder / "Editor.exe"),
        "blocked_folder": target.windows_path(folder / "plain-file" / "Tessiva"),
    }


def examples(target, tally):
    """Every example block against a host of its own, with the settings as they were
    before (under Wine the prefix is shared with the other tests) and a fresh HOME
    natively."""
    platform = "windows" if target.wine else "linux"
    # Without a display the pickers answer at once, and nothing opens on a screen.
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        os.environ.pop(name, None)
    for number, (line, only, pairs) in enumerate(blocks(DOC.read_text(encoding="utf-8"))):
        if only is not None and only != platform:
            continue
        host = target.host()
        settings = host.settings_file
        saved = settings.read_bytes() if settings.exists() else None
        if saved is not None:
            settings.unlink()
        bound = prepared(target, target.root / f"files{number}")
        try:
            with host:
                for request, reply in pairs:
                    name = f"protocol.md line {line}: {request[:60]}"
                    try:
                        got = host.request(request_bytes(request, bound))
                    except Exception as error:  # the host ended or did not answer
                        tally.fails(name, f"{error}{stderr_tail(host)}")
                        break
                    want = json.loads(reply)
                    try:
                        value = json.loads(got)
                    except ValueError:
                        tally.fails(name, f"the reply is not JSON: {got[:200]!r}")
                        continue
                    if match(want, value, bound):
                        tally.equal(name, got, written(fill(want, bound)))
                    else:
                        tally.fails(name, f"got {got[:400]!r}, want {reply[:400]!r}")
        finally:
            if saved is None:
                settings.unlink(missing_ok=True)
            else:
                settings.write_bytes(saved)


def section_codes(text, heading):
    """The `code` entries of the first column of the first table after `heading`."""
    lines = text.split(f"\n## {heading}\n", 1)[1].split("\n")
    start = next(i for i, line in enumerate(lines) if line.startswith("|"))
    table = lines[start:next(i for i in range(start, len(lines)) if not lines[i].startswith("|"))]
    return [m.group(1) for line in table if (m := re.match(r"^\| `([a-z_]+)` \|", line))]


def lists(target, tally):
    """The document names exactly the requests of the dispatcher and the error codes of
    the host, and shows an example of each request and of each error code that a test
    can bring about."""
    if target.wine:
        return  # the same source and document: once is enough
    text = DOC.read_text(encoding="utf-8")
    routes = re.findall(r'Route\{"([a-z_]+)"', (ROOT / "src" / "main" / "dispatch.cpp").read_text())
    codes = re.findall(r'inline constexpr std::string_view [A-Z_]+ = "([a-z_]+)";',
                       (ROOT / "src" / "messages" / "host_error.h").read_text())
    tally.equal("the dispatcher's table was read", len(routes) > 10, True)
    tally.equal("the error codes were read", len(codes) > 10, True)
    tally.equal("requests in protocol.md", sorted(section_codes(text, "Requests")), sorted(routes))
    tally.equal("error codes in protocol.md", sorted(section_codes(text, "Error codes")), sorted(codes))
    shown_types, shown_codes = set(), set()
    for _, _, pairs in blocks(text):
        for request, reply in pairs:
            try:
                shown_types.add(json.loads(request).get("type"))
            except (ValueError, AttributeError):
                pass
            shown_codes.update(re.findall(r'"code":"([a-z_]+)"', reply))
    tally.equal("every request has an example", sorted(set(routes) - shown_types), [])
    # A failure to start a helper process cannot be brought about from outside.
    tally.equal("every error code has an example", sorted(set(codes) - shown_codes - {"launch_failed"}), [])


if __name__ == "__main__":
    raise SystemExit(main([lists, examples]))
