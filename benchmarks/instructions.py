"""Count the instructions a conversion executes per character, under callgrind.

Usage (from the repository root, with valgrind installed):

    .venv/bin/python benchmarks/instructions.py NAME=PYTHON_OR_DIR [NAME=...]
                                               [--configs s2t,...] [--chars N]

Each NAME=WHAT is one build of the module, as for builds.py: an interpreter that has it
installed, or a folder holding a built module. For each configuration, the first --chars
characters of the corpus in the form the configuration reads (the same forms as
one_thread.py: the Simplified text, its s2t, s2twp, s2hkp or t2jp conversion by the first
build) are converted on one thread, and callgrind counts the instructions inside the
whole-text conversion (the functions named convert_whole and all they call). Unlike a
time, the count does not move with the load of the machine.
"""

import argparse
import subprocess
import tempfile
from pathlib import Path

from builds import interpreter

REPO = Path(__file__).resolve().parent.parent
CORPUS = REPO.parent / "shared" / "corpus" / "zuozhuan.txt"
# The conversions that make each configuration's input from the Simplified text.
SOURCE_FORM = {
    "t2s": ["s2t"],
    "t2jp": ["s2t"],
    "tw2sp": ["s2twp"],
    "hk2sp": ["s2hkp"],
    "jp2t": ["s2t", "t2jp"],
}

MAKE_INPUT = "import lumo, sys; print(lumo.convert(sys.stdin.read(), sys.argv[1]), end='')"

CONVERT = """
import os, sys
os.environ["LUMO_THREADS"] = "1"
import lumo
converter = lumo.Converter(sys.argv[1])
text = open(sys.argv[2], encoding="utf-8").read()
converter.convert(text)
"""


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("builds", nargs="+", metavar="NAME=PYTHON_OR_DIR")
    parser.add_argument("--configs", default="s2t,t2s,s2twp,tw2sp,s2hkp,hk2sp,t2jp,jp2t")
    parser.add_argument("--chars", type=int, default=100_000)
    args = parser.parse_args()
    builds = dict(item.split("=", 1) for item in args.builds)
    simplified = CORPUS.read_text(encoding="utf-8")[: args.chars]
    python, env = interpreter(next(iter(builds.values())))
    print(f"{'config':6}" + "".join(f"  {name + ' Ir/char':>16}" for name in builds))
    with tempfile.TemporaryDirectory() as folder:
        for config in args.configs.split(","):
            text = simplified
            for step in SOURCE_FORM.get(config, []):
                text = subprocess.run(
                    [
                        python,
                        "-c",
                        MAKE_INPUT,
                        step,
                    ],
                    input=text,
                    capture_output=True,
                    text=True,
                    env=env,
                    check=True,
                ).stdout
            path = Path(folder) / "text.txt"
            path.write_text(text, encoding="utf-8")
            line = f"{config:6}"
            for what in builds.values():
                build_python, build_env = interpreter(what)
                out = Path(folder) / "callgrind.out"
                subprocess.run(
                    [
                        "valgrind",
                        "--tool=callgrind",
                        f"--callgrind-out-file={out}",
                        "--toggle-collect=*convert_whole*",
                        build_python,
                        "-c",
                        CONVERT,
                        config,
                        str(path),
                    ],
                    capture_output=True,
                    env=build_env,
                    check=True,
                )
                total = 0
                for row in out.read_text().splitlines():
                    if row.startswith("summary:") or row.startswith("totals:"):
                        total = int(row.split()[1])
                line += f"  {total / len(text):16.1f}"
            print(line, flush=True)


if __name__ == "__main__":
    main()
