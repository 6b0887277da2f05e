"""Hosts killed at random moments while storing settings.

Rounds of one to four hosts share one settings folder (under Wine: one prefix); each,
once it runs, is sent a run of "set_config" requests with records of its own and is
killed (SIGKILL, under Wine as TerminateProcess: see faultlib) after a random delay,
often in the middle of a store. After every round config.json must parse and be
exactly one of the stored records, and the temporary files of hosts killed in earlier
rounds must be gone once any later host has stored. A host that stays alive all along
owns a temporary file that must be kept; after it too has ended, a final clean store
leaves no temporary file at all.

The random choices come from a seed printed at the start; TESSIVA_FAULT_SEED=<n>
replays them (the moments of the kills still depend on the machine's speed).
"""

import json
import os
import re
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "e2e"))
from faultlib import id_in_names, seeded_random  # noqa: E402  (the path is set just above)
from hostlib import NMClientError, frame, main  # noqa: E402

ROUNDS = 600
TIME_LIMIT = 40.0  # seconds of rounds at most, on a slow machine
STORES_PER_HOST = 40

DEFAULT_TEXT = (
    '{\n  "version": 1,\n  "save_folder": null,\n  "name_pattern": "{name}_{date}_{time}",\n'
    '  "apps": [],\n  "type_defaults": {},\n  "language": "auto",\n  "theme": "system",\n'
    '  "show_detected_apps": true,\n  "reveal_after_save": false\n}')
# Six records: (theme, reveal_after_save) -> the exact text config.json must hold.
RECORDS = {(theme, reveal): DEFAULT_TEXT.replace('"theme": "system"', f'"theme": "{theme}"')
           .replace('"reveal_after_save": false', f'"reveal_after_save": {json.dumps(reveal)}')
           for theme in ("system", "dark", "light") for reveal in (False, True)}
TEMPORARY = re.compile(r"^config\.json\.([1-9][0-9]*)\.tmp$")


def store_request(record, request_id):
    theme, reveal = record
    return frame(json.dumps({"type": "set_config", "id": request_id, "config": {
        "version": 1, "theme": theme, "reveal_after_save": reveal}}).encode())


def temporaries(folder):
    """{owner pid: file name} of the temporary files in the settings folder."""
    if not folder.is_dir():
        return {}
    return {int(m.group(1)): m.group(0) for m in map(TEMPORARY.match, os.listdir(folder)) if m}


def killed_stores_group(target, tally):
    rng = seeded_random()
    home = target.root / "shared-home"
    texts = set(RECORDS.values())

    # A host that runs all along: a temporary file with its id may be a store in
    # progress, so no other host may remove it.
    keeper = target.host(home=home)
    keeper.start()
    path = keeper.settings_file
    folder = path.parent
    path.unlink(missing_ok=True)  # under Wine the prefix may keep one from an earlier run
    folder.mkdir(parents=True, exist_ok=True)
    keeper_id = id_in_names(keeper)
    keeper_file = folder / f"config.json.{keeper_id}.tmp"
    keeper_file.write_bytes(b"{")

    last_round = {}  # id -> the last round in which a host had that id (Wine reuses ids)
    bad_texts, missing, stale = [], 0, []
    orphans_seen = set()  # (pid, round) of temporary files found after a round
    existed = False
    started = time.monotonic()
    rounds = kills = replies = 0
    hosts = []
    swept_before = -1  # hosts of rounds before this one are gone from the folder's files
    try:
        for round_number in range(ROUNDS):
            if time.monotonic() - started > TIME_LIMIT:
                break
            rounds += 1
            hosts = [target.host(home=home) for _ in range(rng.randint(1, 4))]
            for host in hosts:
                host.start()
            for host in hosts:
                # Also waits for the host to run: a host under Wine takes a while.
                last_round[id_in_names(host)] = round_number
                records = [rng.choice(list(RECORDS)) for _ in range(STORES_PER_HOST)]
                host.send(b"".join(store_request(r, i) for i, r in enumerate(records)))
            time.sleep(rng.uniform(0, 0.03))
            for host in rng.sample(hosts, len(hosts)):
                time.sleep(rng.uniform(0, 0.005))
                host.kill()
                kills += 1
            answered = sum(host.unread.count(b'"ok":true') for host in hosts)
            replies += answered
            if answered:
                # A store that answered had removed the files of every host that had
                # ended before this round began.
                swept_before = round_number

            if path.exists():
                existed = True
                text = path.read_bytes().decode(errors="replace")
                if text not in texts:
                    bad_texts.append((round_number, text))
            elif existed:
                missing += 1
            for pid, name in temporaries(folder).items():
                if pid == keeper_id:
                    continue
                owner_round = last_round.get(pid)
                orphans_seen.add((pid, owner_round))
                if owner_round is None or owner_round < swept_before:
                    stale.append((round_number, name))
    except BaseException:
        for host in [*hosts, keeper]:
            host.kill()
        raise
    print(f"  {rounds} rounds, {kills} hosts killed, {replies} stores answered, "
          f"{len(orphans_seen)} temporary files left by killed hosts, {time.monotonic() - started:.1f} s",
          flush=True)
    tally.equal("killed stores: config.json is always one stored record whole", bad_texts[:1], [])
    tally.equal("killed stores: config.json never vanishes once stored", missing, 0)
    tally.equal("killed stores: temporary files of killed hosts go at the next store", stale[:3], [])
    tally.equal("killed stores: the live host's temporary file is kept", keeper_file.read_bytes(), b"{")
    tally.equal("killed stores: some stores were answered", replies > 0, True)

    # The host that ran all along ends too; a clean store removes every temporary file.
    keeper.kill()
    final = (rng.choice(["dark", "light"]), True)
    host = target.host(home=home)
    try:
        with host:
            host.send(store_request(final, "last"))
            reply = json.loads(host.read_replies(1)[0])
        tally.equal("killed stores: the final store is answered", reply.get("ok"), True)
    except NMClientError as error:
        tally.fails("killed stores: the final store", str(error))
    tally.equal("killed stores: the final record is stored", path.read_bytes().decode(), RECORDS[final])
    tally.equal("killed stores: no temporary file is left after a clean store", sorted(temporaries(folder).values()), [])


if __name__ == "__main__":
    raise SystemExit(main([killed_stores_group]))
