"""Converting a column of sentences: lumo's ways against one call on the same text joined into one
str. With lumo and pandas and pyarrow (the `cluster` extra) installed in out/bench, from the
repository root:

    out/bench/bin/python benchmarks/columns.py [--rows 400000] [--runs 7] [--configs s2t,...]
        [--corpus PATH] [--json PATH]

Rows: each configuration's input form of the corpus (as in compare.py: the Simplified text for
s2t and s2twp, lumo's s2t form of it for t2s) is cut into sentences (a run of text up to and
including 。！？ and any closing quotes, or up to a line's end; white space around them dropped),
then cycled to --rows rows. Each way converts all the rows once per run:

  joined     Converter.convert on the rows joined into one str (the reference)
  per-row    [c.convert(x) for x in rows]
  pandas     pd.Series(rows, dtype=object).map(c.convert)           (when pandas is importable)
  arrow      pa.array([c.convert(x) for x in arr.to_pylist()]) on a pa.array of the rows
                                                                    (when pyarrow is importable)
  batch      c.convert_batch(rows)                       (when the Converter has convert_batch)
  arrow-c    pa.array(c.convert_arrow(arr))      (when it has convert_arrow and pyarrow is there)

Every way runs with LUMO_THREADS=1 and LUMO_THREADS=2. Within a run all (way, threads) pairs take
turns, the order rotating from run to run; each call gets new str objects (the interpreter caches
a str's UTF-8 form on the object), and the pandas Series and Arrow array are made, and each
result freed, outside the timing. Each way is warmed up once, and its output checked against
per-row convert then.
MB/s is 10^6 bytes of UTF-8 input (the rows, without separators) per second, best of --runs;
"share" is a way's MB/s over joined's on the same thread count; "2t/1t" is a way's two-thread
MB/s over its one-thread MB/s.
"""

import argparse
import json
import os
import platform
import re
import shlex
import sys
import textwrap
import time
from datetime import datetime
from itertools import cycle, islice
from pathlib import Path

from compare import DEFAULT_CORPUS, DERIVED, INPUT, fresh
from machine import cpu_model
from table import print_table

CONFIGS = ("s2t", "s2twp", "t2s")
THREADS = ("1", "2")
SENTENCE = re.compile(r"[^。！？\n]+(?:[。！？]+[”’」』]*)?")


def sentences(text):
    """The sentences of text, in order, without the white space around them."""
    found = (match.group().strip() for match in SENTENCE.finditer(text))
    return [s for s in found if s]


def config_list(value):
    configs = [c.strip() for c in value.split(",") if c.strip()]
    unknown = [c for c in configs if c not in INPUT]
    if unknown:
        raise argparse.ArgumentTypeError(f"unknown configuration(s): {', '.join(unknown)}")
    return configs


def optional(name):
    try:
        return __import__(name)
    except ImportError:
        return None


def ways(converter, pd, pa):
    """{way: (prepare, convert, as_list)}: prepare(rows) makes the input outside the timing,
    convert(input) is timed, as_list(output) gives the converted rows for the check."""
    convert = converter.convert

    def per_row(rows):
        return [convert(x) for x in rows]

    found = {"joined": ("".join, convert, None), "per-row": (list, per_row, list)}
    if pd is not None:

        def series(rows):
            return pd.Series(rows, dtype=object)

        found["pandas"] = (series, lambda s: s.map(convert), lambda s: s.tolist())
    if pa is not None:

        def array(rows):
            return pa.array(rows, type=pa.string())

        def through_objects(arr):
            return pa.array([convert(x) for x in arr.to_pylist()])

        found["arrow"] = (array, through_objects, lambda arr: arr.to_pylist())
    if hasattr(converter, "convert_batch"):
        found["batch"] = (list, converter.convert_batch, list)
    if pa is not None and hasattr(converter, "convert_arrow"):

        def through_c_interface(arr):
            return pa.array(converter.convert_arrow(arr))

        found["arrow-c"] = (array, through_c_interface, lambda arr: arr.to_pylist())
    return found


def new_rows(rows):
    """Equal rows as new str objects, never encoded to UTF-8."""
    return [fresh(s) if len(s) > 1 else s for s in rows]


def timed(way, rows, threads):
    prepare, convert, _ = way
    data = prepare(new_rows(rows))
    os.environ["LUMO_THREADS"] = threads
    t0 = time.perf_counter()
    result = convert(data)
    elapsed = time.perf_counter() - t0
    del result  # freed outside the timing: a caller keeps what it converted
    return elapsed


def measure(converter, rows, runs, pd, pa):
    """{way: {threads: [MB/s per run]}} for one configuration."""
    size_mb = sum(len(s.encode("utf-8")) for s in rows) / 1e6
    found = ways(converter, pd, pa)
    expected = [converter.convert(s) for s in rows]
    for name, (prepare, convert, as_list) in found.items():
        os.environ["LUMO_THREADS"] = THREADS[0]
        output = convert(prepare(new_rows(rows)))
        if as_list is not None and as_list(output) != expected:
            raise SystemExit(f"{name} gave other rows than per-row convert")
    pairs = [(name, threads) for name in found for threads in THREADS]
    rates = {name: {threads: [] for threads in THREADS} for name in found}
    for run in range(runs):
        shift = run % len(pairs)
        for name, threads in pairs[shift:] + pairs[:shift]:
            rates[name][threads].append(size_mb / timed(found[name], rows, threads))
    return rates


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS, help="Simplified text")
    parser.add_argument("--rows", type=int, default=400_000, help="sentences (400000)")
    parser.add_argument("--runs", type=int, default=7, help="conversions per way (7)")
    parser.add_argument("--configs", type=config_list, default=list(CONFIGS))
    parser.add_argument("--json", type=Path, help="write every figure to this file")
    args = parser.parse_args()
    if not args.corpus.is_file():
        parser.error(f"no corpus at {args.corpus}: pass --corpus PATH")
    if args.rows < 1 or args.runs < 1:
        parser.error("--rows and --runs must be at least 1")

    import lumo

    pd, pa = optional("pandas"), optional("pyarrow")
    texts = {"simplified": args.corpus.read_text(encoding="utf-8")}
    for form, source in DERIVED:
        texts[form] = lumo.Converter(form).convert(texts[source])
    results, mean_bytes = {}, {}
    for config in args.configs:
        print(f"  {config}", file=sys.stderr, flush=True)
        rows = list(islice(cycle(sentences(texts[INPUT[config]])), args.rows))
        mean_bytes[config] = sum(len(s.encode("utf-8")) for s in rows) / len(rows)
        results[config] = measure(lumo.Converter(config), rows, args.runs, pd, pa)

    command = shlex.join(getattr(sys, "orig_argv", [sys.executable, *sys.argv]))
    header = (f"Python {platform.python_version()} | CPU {cpu_model()} | "
              f"{datetime.now():%Y-%m-%d %H:%M} | {command}")  # fmt: skip
    print(header)
    table = []
    for config, figures in results.items():
        joined = {threads: max(figures["joined"][threads]) for threads in THREADS}
        for name, by_threads in figures.items():
            best = {threads: max(values) for threads, values in by_threads.items()}
            row = [config, name]
            for threads in THREADS:
                row += [f"{best[threads]:.1f}", f"{best[threads] / joined[threads]:.2f}"]
            table.append(row + [f"{best['2'] / best['1']:.2f}"])
    print_table(["config", "way", "1t MB/s", "1t share", "2t MB/s", "2t share", "2t/1t"],
                table, left_columns=2)  # fmt: skip
    versions = [f"{m.__name__} {m.__version__}" for m in (lumo, pd, pa) if m is not None]
    means = ", ".join(f"{config} {mean:.1f}" for config, mean in mean_bytes.items())
    note = (
        f"{', '.join(versions)}. {args.rows} rows of {args.corpus.name} (mean UTF-8 bytes: "
        f"{means}). MB/s: best of {args.runs} runs; share: over joined on the same threads."
    )
    print()
    print(textwrap.fill(note, 100, subsequent_indent="  "))
    if args.json:
        meta = {"header": header, "corpus": str(args.corpus), "rows": args.rows,
                "runs": args.runs, "mean_bytes": mean_bytes, "versions": versions}  # fmt: skip
        args.json.write_text(json.dumps({"meta": meta, "results": results}, indent=1) + "\n")


if __name__ == "__main__":
    main()
