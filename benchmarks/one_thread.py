"""lumo's one-thread speed against opencc, in one process, the ways interleaved. With lumo and
benchmarks/requirements.txt installed in out/bench, from the repository root:

    out/bench/bin/python benchmarks/one_thread.py [--runs 15] [--short-runs 5] [--calls 200000]
        [--configs s2t,...] [--short-configs s2t,t2s] [--json PATH] [--chart docs/one-thread.png]

Throughput: for each configuration, the whole corpus in the form it reads (as in compare.py: the
Simplified text for s2*, lumo's s2t form of it for t2s and t2jp, its s2twp form for tw2sp, its
s2hkp form for hk2sp, the t2jp form of the s2t form for jp2t) is converted --runs times by lumo
with LUMO_THREADS=1, lumo with LUMO_THREADS=2 and opencc, the three in turn within each run (the
order rotating from run to run), each call on a new copy of the input. Converters are built once
and warmed up with one call each. MB/s is 10^6 bytes of UTF-8 input per second, best of the runs.

Short calls: --calls distinct strings of 5 to 20 characters, random slices (fixed seed) of the
configuration's input, converted one by one in a plain Python loop by lumo's Converter.convert
(LUMO_THREADS=1) and by opencc's converter, interleaved, best of --short-runs; each pass gets new
str objects. Figures are µs per call.
"""

import argparse
import json
import os
import platform
import random
import shlex
import sys
import textwrap
import time
from datetime import datetime
from pathlib import Path

import peers
from chart import grouped_bars
from compare import DEFAULT_CORPUS, DERIVED, INPUT, cpu_model, fresh
from table import print_table

WAYS = ("lumo-1t", "lumo-2t", "opencc")
THREADS = {"lumo-1t": "1", "lumo-2t": "2"}
LABELS = {"lumo-1t": "lumo, 1 thread", "lumo-2t": "lumo, 2 threads", "opencc": "opencc"}
TARGET = 10  # the aim: this many times opencc's speed on one thread
SEED = 1


def config_list(value):
    configs = [c.strip() for c in value.split(",") if c.strip()]
    unknown = [c for c in configs if c not in peers.CONFIGS]
    if unknown:
        raise argparse.ArgumentTypeError(f"unknown configuration(s): {', '.join(unknown)}")
    return configs


def timed(convert, text, threads=None):
    if threads:
        os.environ["LUMO_THREADS"] = threads
    t0 = time.perf_counter()
    convert(text)
    return time.perf_counter() - t0


def throughput(converters, text, runs):
    """{way: [MB/s per run]} for one configuration."""
    size_mb = len(text.encode("utf-8")) / 1e6
    for way in WAYS:
        timed(converters[way], fresh(text), THREADS.get(way))  # warm-up
    rates = {way: [] for way in WAYS}
    for run in range(runs):
        for way in WAYS[run % 3 :] + WAYS[: run % 3]:
            copy = fresh(text)
            rates[way].append(size_mb / timed(converters[way], copy, THREADS.get(way)))
    return rates


def loop(f, strings):
    t0 = time.perf_counter()
    for s in strings:
        f(s)
    return time.perf_counter() - t0


def short_calls(converters, text, calls, runs):
    """{way: [µs per call per run]}: lumo (one thread) and opencc on the same short slices."""
    rng = random.Random(SEED)
    spans = [(rng.randrange(len(text) - 20), rng.randint(5, 20)) for _ in range(calls)]
    os.environ["LUMO_THREADS"] = "1"
    ways = {"lumo": converters["lumo-1t"], "opencc": converters["opencc"]}
    figures = {way: [] for way in ways}
    for run in range(runs):
        for way in list(ways)[run % 2 :] + list(ways)[: run % 2]:
            strings = [text[i : i + n] for i, n in spans]  # new objects for every pass
            figures[way].append(loop(ways[way], strings) / calls * 1e6)
    return figures


def draw(results, path):
    configs = list(results)
    series = {LABELS[way]: [max(results[c]["mbps"][way]) for c in configs] for way in WAYS}

    def targets(axes, width):
        for k, config in enumerate(configs):
            goal = TARGET * max(results[config]["mbps"]["opencc"])
            label = f"{TARGET}× opencc" if k == 0 else None
            axes.hlines(goal, k - 1.5 * width, k + 1.5 * width, "black", "dashed", label=label)

    title = "Converting the whole corpus in one call, one process"
    ylabel = "MB/s of UTF-8 input, best of runs"
    grouped_bars(path, configs, series, ylabel, title, (10, 4.5), targets)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS, help="Simplified text")
    parser.add_argument("--runs", type=int, default=15, help="corpus conversions per way (15)")
    parser.add_argument("--short-runs", type=int, default=5, help="passes of short calls (5)")
    parser.add_argument("--calls", type=int, default=200_000, help="short calls per pass")
    parser.add_argument("--configs", type=config_list, default=list(peers.CONFIGS))
    parser.add_argument("--short-configs", type=config_list, default=["s2t", "t2s"])
    parser.add_argument("--json", type=Path, help="write every figure to this file")
    parser.add_argument("--chart", type=Path, help="draw MB/s per configuration to this PNG")
    args = parser.parse_args()
    if not args.corpus.is_file():
        parser.error(f"no corpus at {args.corpus}: pass --corpus PATH")

    import lumo

    try:
        opencc = peers.OpenCC()
    except ImportError as e:
        raise SystemExit(str(e)) from None
    texts = {"simplified": args.corpus.read_text(encoding="utf-8")}
    for config, source in DERIVED:
        texts[config] = lumo.Converter(config).convert(texts[source])

    results = {}
    for config in dict.fromkeys(args.configs + args.short_configs):
        print(f"  {config}", file=sys.stderr, flush=True)
        lumo_convert = lumo.Converter(config).convert
        converters = {"lumo-1t": lumo_convert, "lumo-2t": lumo_convert}
        converters["opencc"] = opencc.build(config)
        text, results[config] = texts[INPUT[config]], {}
        if config in args.configs:
            results[config]["mbps"] = throughput(converters, text, args.runs)
        if config in args.short_configs:
            results[config]["short_us"] = short_calls(converters, text, args.calls, args.short_runs)

    command = shlex.join(getattr(sys, "orig_argv", [sys.executable, *sys.argv]))
    header = (f"Python {platform.python_version()} | CPU {cpu_model()} | "
              f"{datetime.now():%Y-%m-%d %H:%M} | {command}")  # fmt: skip
    print(header)
    rows = []
    for config, figures in results.items():
        row = [config]
        if "mbps" in figures:
            best = {way: max(values) for way, values in figures["mbps"].items()}
            row += [f"{best[way]:.1f}" for way in WAYS]
            row += [f"{best[way] / best['opencc']:.2f}" for way in WAYS[:2]]
        else:
            row += [""] * 5
        if "short_us" in figures:
            best = {way: min(values) for way, values in figures["short_us"].items()}
            row += [f"{best['lumo']:.3f}", f"{best['opencc']:.3f}"]
            row += [f"{best['opencc'] / best['lumo']:.2f}"]
        else:
            row += [""] * 3
        rows.append(row)
    print_table(["config", "lumo-1t MB/s", "lumo-2t MB/s", "opencc MB/s", "1t ×", "2t ×",
                 "short lumo-1t µs", "short opencc µs", "short ×"], rows)  # fmt: skip
    size = len(texts["simplified"].encode("utf-8")) / 1e6
    versions = f"lumo {peers.installed('lumo')}, opencc {peers.installed('opencc')}."
    corpus = f"Corpus {args.corpus.name} ({size:.2f} MB)."
    notes = (
        f"{versions} {corpus} MB/s: best of {args.runs} runs; ×: over opencc (target {TARGET}×).",
        f"Short calls: {args.calls} strings of 5-20 characters, best of {args.short_runs} passes; "
        "×: opencc's µs / lumo's.",
    )
    print()
    for note in notes:
        print(textwrap.fill(note, 100, subsequent_indent="  "))
    if args.json:
        meta = {"header": header, "corpus": str(args.corpus), "corpus_mb": size, "runs": args.runs,
                "short_runs": args.short_runs, "calls": args.calls,
                "lumo": peers.installed("lumo"), "opencc": peers.installed("opencc")}  # fmt: skip
        args.json.write_text(json.dumps({"meta": meta, "results": results}, indent=1) + "\n")
    if args.chart:
        draw({c: f for c, f in results.items() if "mbps" in f}, args.chart)


if __name__ == "__main__":
    main()
