"""Compare the build time and memory of converters between builds of the module.

Usage (from the repository root):

    .venv/bin/python benchmarks/builds.py NAME=PYTHON_OR_DIR [NAME=...] [--configs s2t,t2jp,...]
                                         [--rounds N]

Each NAME=WHAT is one build of the module to measure: the interpreter of a virtual environment
that has it installed (`base=out/bench-base/bin/python`), or a folder holding a built module,
put first on the path of this interpreter (`dev=out/module-dev`). The first is the one the
others are compared with.

For each configuration, in fresh interpreters, the builds taking turns round by round:

  build ms   the lower quartile of the times of 200 `lumo.Converter(config)` calls one after
             another (after one more, untimed), best over the rounds
  rss KB     what building one converter adds to the resident memory of an interpreter that
             has imported lumo and called `lumo.configs()`, from /proc/self/smaps_rollup:
             anonymous memory and mapped files (the module's code) alike; median over the
             rounds
  anon KB    the anonymous part of that

`×` is the ratio to the first build's figure.
"""

import argparse
import os
import statistics
import subprocess
import sys

PROBE = """
import sys, time, lumo

def memory():
    fields = {}
    with open("/proc/self/smaps_rollup") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("Rss", "Anonymous"):
                fields[key] = int(value.split()[0])
    return fields

config = sys.argv[1]
lumo.configs()
before = memory()
converter = lumo.Converter(config)
after = memory()
times = []
for _ in range(200):
    start = time.perf_counter()
    lumo.Converter(config)
    times.append(time.perf_counter() - start)
times.sort()
print(after["Rss"] - before["Rss"], after["Anonymous"] - before["Anonymous"],
      times[len(times) // 4] * 1000)
"""


def interpreter(what):
    """The interpreter and environment of one build: WHAT is an interpreter that has the module
    installed, or a folder holding a built module, put first on the path of this one."""
    env = dict(os.environ)
    if os.path.isdir(what):
        env["PYTHONPATH"] = what
        return sys.executable, env
    return what, env


def measure(what, config):
    python, env = interpreter(what)
    out = subprocess.run(
        [python, "-c", PROBE, config], capture_output=True, text=True, env=env, check=True
    ).stdout.split()
    return int(out[0]), int(out[1]), float(out[2])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("builds", nargs="+", metavar="NAME=PYTHON_OR_DIR")
    parser.add_argument("--configs", default="s2t,s2twp,t2s,tw2sp,hk2sp,t2jp,jp2t")
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    builds = dict(item.split("=", 1) for item in args.builds)
    configs = args.configs.split(",")
    results = {}
    for _ in range(args.rounds):
        for config in configs:
            for name, what in builds.items():
                results.setdefault((config, name), []).append(measure(what, config))
    first = next(iter(builds))
    header = f"{'config':6}"
    for name in builds:
        header += f"  {name + ' build ms':>16} {'×':>5}  {name + ' rss KB':>14} {'×':>5}"
        header += f"  {name + ' anon KB':>14} {'×':>5}"
    print(header)
    for config in configs:
        base = results[(config, first)]
        base_rss = statistics.median(r[0] for r in base)
        base_anon = statistics.median(r[1] for r in base)
        base_build = min(r[2] for r in base)
        line = f"{config:6}"
        for name in builds:
            runs = results[(config, name)]
            rss = statistics.median(r[0] for r in runs)
            anon = statistics.median(r[1] for r in runs)
            build = min(r[2] for r in runs)
            line += f"  {build:16.4f} {build / base_build:5.2f}  {rss:14.0f} {rss / base_rss:5.2f}"
            line += f"  {anon:14.0f} {anon / base_anon:5.2f}"
        print(line)


if __name__ == "__main__":
    main()
