"""Run a short lumo session under valgrind's memcheck and judge its leaks.

    python scripts/memcheck.py [--calls N] [--log PATH]

Runs scripts/soak.py --calls N (2000 by default) with the interpreter under
memcheck, PYTHONMALLOC=malloc so that every Python object is a block of its
own. The exit status is 1 when memcheck reports a block definitely or
indirectly lost, or a memory error, with lumo's module in its stack; the
interpreter's own blocks left at exit are not lumo's and are only counted.
The full report stays in the log (out/memcheck.log).
"""

from __future__ import annotations

import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
RECORD = re.compile(r"^==\d+== ?(.*)$")
LOST = re.compile(
    r"([\d,]+) (?:\([\d,]+ direct, [\d,]+ indirect\) )?bytes in [\d,]+ blocks are "
    r"(definitely|indirectly) lost"
)


def records(log: str) -> list[list[str]]:
    """memcheck's reports, each the list of its lines, split at blank lines."""
    found: list[list[str]] = []
    current: list[str] = []
    for line in log.splitlines():
        match = RECORD.match(line)
        if match is None or not match.group(1).strip():
            if current:
                found.append(current)
                current = []
            continue
        current.append(match.group(1))
    if current:
        found.append(current)
    return found


def is_lumos(record: list[str]) -> bool:
    """Whether a frame of the report's stack lies in lumo's module."""
    return any(
        line.lstrip().startswith(("at ", "by ")) and ("/lumo." in line or "lumo::" in line)
        for line in record
    )


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=2000)
    parser.add_argument("--log", type=Path, default=ROOT / "out" / "memcheck.log")
    args = parser.parse_args(argv[1:])
    valgrind = shutil.which("valgrind")
    if valgrind is None:
        print("valgrind is not installed (scripts/setup.sh installs it)", file=sys.stderr)
        return 1
    args.log.parent.mkdir(parents=True, exist_ok=True)
    command = [
        valgrind, "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite,indirect",
        "--errors-for-leak-kinds=definite,indirect",
        "--num-callers=40", f"--log-file={args.log}", sys.executable,
        str(ROOT / "scripts" / "soak.py"), "--calls", str(args.calls), "--no-check",
    ]  # fmt: skip
    environment = dict(os.environ, PYTHONMALLOC="malloc", LUMO_THREADS="2")
    start = time.perf_counter()
    session = subprocess.run(command, env=environment)
    seconds = time.perf_counter() - start
    log = args.log.read_text()
    ours = []
    lost = {"definitely": 0, "indirectly": 0}
    errors = 0
    for record in records(log):
        head = record[0]
        match = LOST.search(head)
        if match:
            lost[match.group(2)] += int(match.group(1).replace(",", ""))
        is_error = bool(match) or (
            record[1:2] and record[1].lstrip().startswith("at ") and "lost" not in head
        )
        errors += bool(is_error) and not match
        if is_error and is_lumos(record):
            ours.append("\n".join(record))
    print(
        f"memcheck, {args.calls} calls in {seconds:.0f} s: {lost['definitely']} bytes definitely"
        f" and {lost['indirectly']} indirectly lost in all, {errors} memory errors; lumo's:"
        f" {len(ours)} reports (log: {args.log})"
    )
    for report in ours:
        print(report, file=sys.stderr)
    if session.returncode != 0:
        print(f"the session ended with status {session.returncode}", file=sys.stderr)
        return 1
    return 1 if ours else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
