"""one_thread.py's one-thread throughput for several builds of the module, the builds taking turns.

Usage (from the repository root, with out/bench set up by benchmarks/setup.sh):

    out/bench/bin/python benchmarks/one_thread_builds.py NAME=DIR NAME=DIR [--rounds 5]
        [--runs 5] [--configs s2t,...]

Each NAME=DIR is a folder holding a built module, put first on the path of a fresh interpreter
that runs one_thread.py (without its short calls). Round by round the builds take turns, the
order reversed every other round; each figure is the best over all rounds. The first build is
the one the others are compared with:

  MB/s      lumo on one thread, best of every run of every round
  ×         the ratio to the first build's MB/s
  × opencc  the same ratio, each build's MB/s taken over opencc's best in the same rounds,
            which cancels part of the load other programs put on the machine
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
from pathlib import Path

from table import print_table

HERE = Path(__file__).resolve().parent


def build(value):
    name, sep, folder = value.partition("=")
    if not sep or not name or not Path(folder).is_dir():
        raise argparse.ArgumentTypeError(f"expected NAME=DIR with DIR a folder, got {value!r}")
    return name, str(Path(folder).resolve())


def one_round(folder, args, json_path):
    environment = dict(os.environ, PYTHONPATH=folder)
    command = [sys.executable, str(HERE / "one_thread.py"), "--runs", str(args.runs),
               "--short-configs", "", "--json", str(json_path)]  # fmt: skip
    if args.configs:
        command += ["--configs", args.configs]
    subprocess.run(command, env=environment, check=True,
                   stdout=subprocess.DEVNULL)  # fmt: skip
    return json.loads(json_path.read_text())["results"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("builds", nargs="+", type=build, metavar="NAME=DIR")
    parser.add_argument("--rounds", type=int, default=5, help="turns of every build (5)")
    parser.add_argument("--runs", type=int, default=5, help="one_thread.py --runs per turn (5)")
    parser.add_argument("--configs", help="one_thread.py --configs")
    args = parser.parse_args()

    best = {name: {} for name, _ in args.builds}  # name -> config -> (lumo, opencc)
    with tempfile.TemporaryDirectory() as scratch:
        for number in range(args.rounds):
            order = args.builds if number % 2 == 0 else args.builds[::-1]
            for name, folder in order:
                print(f"round {number + 1}: {name}", file=sys.stderr, flush=True)
                results = one_round(folder, args, Path(scratch) / "figures.json")
                for config, figures in results.items():
                    lumo, opencc = max(figures["mbps"]["lumo-1t"]), max(figures["mbps"]["opencc"])
                    old = best[name].get(config, (0.0, 0.0))
                    best[name][config] = (max(old[0], lumo), max(old[1], opencc))

    first = args.builds[0][0]
    headers = ["config"]
    for name, _ in args.builds:
        headers += [f"{name} MB/s"] + ([f"{name} ×", f"{name} × opencc"] if name != first else [])
    rows = []
    for config, (base, base_opencc) in best[first].items():
        row = [config]
        for name, _ in args.builds:
            lumo, opencc = best[name][config]
            row.append(f"{lumo:.1f}")
            if name != first:
                row += [f"{lumo / base:.3f}", f"{(lumo / opencc) / (base / base_opencc):.3f}"]
        rows.append(row)
    print(" ".join(sys.argv))
    print_table(headers, rows)


if __name__ == "__main__":
    main()
