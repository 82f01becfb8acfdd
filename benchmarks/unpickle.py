"""How long unpickling a converter takes, with and without custom words.

Usage (from the repository root):

    .venv/bin/python benchmarks/unpickle.py [--configs s2t,s2twp] [--runs 30]

Each run times one `pickle.loads` of each pickle, taking turns, in this
process; the table gives the best run of each. A converter with custom
words should cost about what one without costs: both build the converter
once.
"""

import argparse
import pickle
import time

import lumo

WORDS = {"鼠标": "老鼠", "U盘": "随身碟", "头发": "頭髮"}


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--configs", default="s2t,s2twp,t2s")
    parser.add_argument("--runs", type=int, default=30)
    args = parser.parse_args()
    print("| config | plain ms | custom words ms | custom / plain |")
    print("|---|---|---|---|")
    for config in args.configs.split(","):
        pickles = {
            "plain": pickle.dumps(lumo.Converter(config)),
            "custom": pickle.dumps(lumo.Converter(config).with_custom(WORDS)),
        }
        best = dict.fromkeys(pickles, float("inf"))
        for _ in range(args.runs):
            for name, data in pickles.items():
                start = time.perf_counter()
                pickle.loads(data)
                best[name] = min(best[name], time.perf_counter() - start)
        plain, custom = best["plain"] * 1e3, best["custom"] * 1e3
        print(f"| {config} | {plain:.2f} | {custom:.2f} | {custom / plain:.2f} |")


if __name__ == "__main__":
    main()
