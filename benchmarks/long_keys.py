"""Benchmark threaded conversion against one thread where custom keys are long.

Usage (from the repository root, with the module installed in .venv):

    .venv/bin/python benchmarks/long_keys.py [--runs N] [--random N] [--seed S]

Each case converts a text with a converter holding one long custom key, on the threads a
call would use (`threads`: the default, or the count given) and with LUMO_THREADS=1,
interleaved, best of --runs. A cut between pieces is only looked for with a budget of work
proportional to the piece, so a long key costs the threaded call no more than a small
share of the text; where no cut is found within it, the text keeps fewer pieces. `ratio`
is the threaded time over the one-thread time: near or below 1 means threads never cost
more than they bring. `no key s` is the same text through a converter without the key, on
one thread, and `key cost` the one-thread time over it: what the key costs. Keys over 256
bytes are looked up through an index read over the text once, so even a key the text
follows from every position (a run of its one character, as most cases here) costs a few
lookups per character, not a walk as long as the key. --random adds cases with keys of
random length cut out of a random text, and a key that nearly matches everywhere.
"""

import argparse
import os
import random
import time

import lumo


def timed(convert, text, threads):
    os.environ["LUMO_THREADS"] = str(threads)
    start = time.perf_counter()
    result = convert(text)
    return time.perf_counter() - start, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--random", type=int, default=4)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    default = len(os.sched_getaffinity(0))
    cases = [
        ("140k key, 140k text", "汉" * 140_000, "汉" * 140_000, default),
        ("300k key, 300k text", "汉" * 300_000, "汉" * 300_000, default),
        ("1M key, 1M text", "汉" * 1_000_000, "汉" * 1_000_000, default),
        ("20k key, 200k text", "汉" * 20_000, "汉" * 200_000, default),
        ("100k key, 200k text", "汉" * 100_000, "汉" * 200_000, default),
        ("5k key, 4.2M text", "汉" * 5_000, "汉" * 4_200_000, 64),
    ]
    rng = random.Random(args.seed)
    for _ in range(args.random):
        text = "".join(rng.choice("汉字语言书画") for _ in range(1_000_000))
        length = rng.randrange(1_000, 200_000)
        start = rng.randrange(len(text) - length)
        cases.append((f"random {length} key, 1M text", text[start : start + length], text, default))
    cases.append(
        ("near miss: 2k key + 字, 200k text", "汉" * 2_000 + "字", "汉" * 200_000, default)
    )
    print(
        f"{'case':36} {'threads':>7} {'threaded s':>10} {'1 thread s':>10} {'ratio':>6}"
        f" {'no key s':>9} {'key cost':>8}"
    )
    plain = lumo.Converter("s2t")
    for label, key, text, threads in cases:
        converter = plain.with_custom({key: "X"})
        best = {threads: float("inf"), 1: float("inf"), "plain": float("inf")}
        results = {}
        for _ in range(args.runs):
            for count in (threads, 1):
                seconds, results[count] = timed(converter.convert, text, count)
                best[count] = min(best[count], seconds)
            best["plain"] = min(best["plain"], timed(plain.convert, text, 1)[0])
        assert results[threads] == results[1], label
        ratio = best[threads] / best[1]
        cost = best[1] / best["plain"]
        print(
            f"{label:36} {threads:>7} {best[threads]:>10.4f} {best[1]:>10.4f} {ratio:>6.2f}"
            f" {best['plain']:>9.4f} {cost:>8.1f}"
        )


if __name__ == "__main__":
    main()
