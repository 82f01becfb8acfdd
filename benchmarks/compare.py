"""Compare lumo with the libraries users would pick instead: build, throughput, one-shot, memory,
detection. With lumo and benchmarks/requirements.txt installed in out/bench, and
benchmarks/requirements-reimplemented.txt in out/bench-reimpl (it installs a module named opencc
too, so it needs an environment of its own), from the repository root:

    out/bench/bin/python benchmarks/compare.py --reimplemented-python out/bench-reimpl/bin/python

Each measurement runs in a subprocess of this script (`--worker ...`) under the interpreter that
has the library; missing libraries are skipped with a note. The script installs nothing.
"""

import argparse
import json
import os
import platform
import shlex
import statistics
import subprocess
import sys
import tempfile
import textwrap
import time
from datetime import datetime
from pathlib import Path

import peers
from machine import cpu_model
from table import print_table

HERE = Path(__file__).resolve().parent
DEFAULT_CORPUS = HERE.parent.parent / "shared" / "corpus" / "zuozhuan.txt"
# The form of the corpus each configuration reads, and how lumo derives each form.
INPUT = {"s2t": "simplified", "t2s": "s2t", "s2twp": "simplified", "tw2sp": "s2twp"}
INPUT.update(s2hkp="simplified", hk2sp="s2hkp", t2jp="s2t", jp2t="t2jp")
DERIVED = (("s2t", "simplified"), ("s2twp", "simplified"), ("s2hkp", "simplified"), ("t2jp", "s2t"))
DETECT_FORMS = ("simplified", "s2t")
RUN_BUDGET_S = 10.0  # slow libraries stop after this much time, with at least 3 runs
ONE_SHOT_CALLS, SLICES, SLICE_CALLS = 200, 200, 20
# (figure, header, True where more is better); each is followed by a ratio column
COLUMNS = (
    ("build_ms", "build ms", False),
    ("first_ms", "1st ms", False),
    ("mbps", "MB/s", True),
    ("one_shot_us", "one-shot µs", False),
    ("mem_mb", "mem MB", False),
)
FOOTNOTES = """\
Versions: {versions}; opencc-reimpl is opencc-python-reimplemented.
Figures are median (min-max). Input: {corpus} ({size:.2f} MB) as given for s2*; lumo's s2t form of \
it for t2s and t2jp, its s2twp form for tw2sp, its s2hkp form for hk2sp, and the t2jp form of the \
s2t form for jp2t.
build: constructing a reusable converter, {repeat} times in one process. 1st: the first \
construction in a fresh process, import excluded; * = no converter object (zhconv, hanziconv): the \
first 20-character call in a fresh process instead.
MB/s: 10^6 bytes of UTF-8 input per second, str in and str out, over {runs} runs (for slow \
libraries as many as fit in {budget:.0f} s, at least 3), each run on a new copy of the input that \
was never encoded to UTF-8. lumo converts a str of 131 072 characters or more in pieces, on one \
thread per processor ({threads} here); lumo-1t is lumo held to one thread (LUMO_THREADS=1), its × \
columns compare it with lumo.
one-shot: the simplest module-level call on 20 characters (lumo.convert, which builds a converter \
per call; opencc: construct + convert; zhconv.convert; HanziConv.toTraditional/toSimplified). \
opencc reuses the dictionaries of a live converter of the same configuration; none is alive while \
builds and one-shot calls are timed.
detect rows: lumo.detect vs hanzidentifier.identify; MB/s on the whole text, and in the one-shot \
column µs per call on 100-character slices ({slices} slices through the text, each the mean of \
{slice_calls} calls).
mem: VmRSS growth from building one converter and converting 20 characters once, in a fresh \
process after imports.
×: lumo against the row's library, pair by pair in this run: its time / lumo's time, lumo's MB/s / \
its MB/s, its memory / lumo's memory; above 1 favours lumo.
Outputs differ between libraries (zhconv's locales and hanziconv only approximate these \
configurations): only speed and memory are compared."""


def fresh(text):
    """An equal str that has never been encoded: the interpreter caches a str's UTF-8 form on the
    object, which would favour repeated calls on one object."""
    copy = text[:-1] + text[-1:]
    assert copy is not text
    return copy


def sample20(text):
    """The last 20 characters of the first line that has at least 20."""
    return next((line[-20:] for line in text.splitlines() if len(line.strip()) >= 20), text[:20])


def timings(call, make_arg, count, budget=None):
    """Seconds per call(make_arg()), the argument made outside the timer."""
    samples, start = [], time.perf_counter()
    while len(samples) < count:
        arg = make_arg()
        t0 = time.perf_counter()
        call(arg)
        samples.append(time.perf_counter() - t0)
        if budget and len(samples) >= 3 and time.perf_counter() - start > budget:
            break
    return samples


def rss_kb():
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmRSS:"))


def worker(kind, lib, arg, path, runs, repeat):
    """One measurement in this process; returns {figure: [values]} (or what a probe found)."""
    if kind == "probe":
        found = {}
        for name, cls in peers.CONVERTERS.items():
            try:
                adapter = cls()
            except ImportError:
                continue
            configs = [c for c in peers.CONFIGS if adapter.supports(c)]
            found[name] = {"version": peers.installed(adapter.dist), "configs": configs}
        for name, (module, _) in peers.DETECTORS.items():
            if peers.installed(module):
                found.setdefault(name, {"version": peers.installed(module), "configs": []})
                found[name]["configs"].append("detect")
        return found
    text = Path(path).read_text(encoding="utf-8")
    size_mb = len(text.encode("utf-8")) / 1e6
    if kind == "detect":
        detect = peers.detector(lib)
        detect(fresh(text))  # warm-up; lumo builds its tables on first use
        mbps = [size_mb / s for s in timings(detect, lambda: fresh(text), runs, RUN_BUDGET_S)]
        step, per_call = (len(text) - 100) // SLICES, []
        for i in range(0, step * SLICES, step):
            copies = [text[i : i + 100] for _ in range(SLICE_CALLS)]  # each slice is a new str
            t0 = time.perf_counter()
            for copy in copies:
                detect(copy)
            per_call.append((time.perf_counter() - t0) / SLICE_CALLS * 1e6)
        return {"mbps": mbps, "one_shot_us": per_call}
    adapter, sample = peers.CONVERTERS[lib](), sample20(text)
    if kind == "fresh":
        before = rss_kb()
        t0 = time.perf_counter()
        convert = adapter.build(arg)
        if not adapter.has_builder:
            convert(sample)  # without a converter object the first call does the loading
        first = time.perf_counter() - t0
        convert(sample)
        return {"first_ms": [first * 1e3], "mem_mb": [(rss_kb() - before) / 1024]}
    build = []
    if adapter.has_builder:
        build = [s * 1e3 for s in timings(lambda _: adapter.build(arg), lambda: None, repeat)]
    convert = adapter.build(arg)
    convert(fresh(text))  # warm-up
    mbps = [size_mb / s for s in timings(convert, lambda: fresh(text), runs, RUN_BUDGET_S)]
    # opencc reuses the dictionaries of a live converter; builds and one-shot calls get none.
    del convert
    one_shot = timings(lambda t: adapter.one_shot(t, arg), lambda: fresh(sample), ONE_SHOT_CALLS, 1)
    return {"build_ms": build, "mbps": mbps, "one_shot_us": [s * 1e6 for s in one_shot]}


def num(value):
    return f"{value:.0f}" if abs(value) >= 99.95 else f"{value:#.3g}"


def spread(values):
    if len(values) < 2:
        return num(values[0]) if values else "n/a"
    return f"{num(statistics.median(values))} ({num(min(values))}-{num(max(values))})"


def row(task, name, figures, lumo):
    """The table cells of one library; `lumo` holds lumo's figures for the same task."""
    cells = [task, name]
    for key, _, more_is_better in COLUMNS:
        values = figures.get(key)
        cells.append("" if values is None else spread(values))
        if key == "first_ms" and values and not figures.get("build_ms"):
            cells[-1] += "*"
        ours = lumo.get(key)
        if name == "lumo" or not values or not ours:
            cells.append("")
            continue
        theirs, ours = statistics.median(values), statistics.median(ours)
        pair = (ours, theirs) if more_is_better else (theirs, ours)
        cells.append(num(pair[0] / pair[1]) if pair[1] else "-")
    return cells


def compare(args, inputs, notes):
    """Probe the interpreters, run every measurement, and return the rows and the versions."""

    def run(python, kind, lib="-", arg="-", form="simplified"):
        command = [python, str(HERE / "compare.py"), "--worker", kind, lib, arg]
        command += ["--input", str(inputs[form]), "--runs", str(args.runs)]
        print(f"  {kind} {lib} {arg}", file=sys.stderr, flush=True)
        done = subprocess.run(
            command + ["--repeat", str(args.repeat)], capture_output=True, text=True
        )
        if done.returncode == 0:
            return json.loads(done.stdout.splitlines()[-1])
        notes.append(
            f"{lib} {arg} {kind} failed: {(done.stderr.strip() or 'no output').splitlines()[-1]}"
        )
        return None

    libraries = {}  # name: (python, {"version", "configs"}), the first interpreter that has it
    for python in [sys.executable] + [args.reimplemented_python] * bool(args.reimplemented_python):
        for name, info in (run(python, "probe") or {}).items():
            libraries.setdefault(name, (python, info))
    for name in [*peers.CONVERTERS, *peers.DETECTORS]:
        if name not in libraries:
            hint = " (give --reimplemented-python)" if name == "opencc-reimpl" else ""
            notes.append(f"{name}: not installed, skipped{hint}")
    if "lumo" not in libraries:
        raise SystemExit(f"lumo is not importable from {sys.executable}")

    rows = []
    tasks = [(config, INPUT[config], config) for config in peers.CONFIGS]
    for task, form, config in tasks + [(f"detect {form}", form, "detect") for form in DETECT_FORMS]:
        lumo = {}
        for name, (python, info) in libraries.items():
            if config not in info["configs"]:
                continue
            if config == "detect":
                figures = run(python, "detect", name, "-", form)
            else:
                speed, first = (
                    run(python, kind, name, config, form) for kind in ("speed", "fresh")
                )
                figures = speed and first and {**speed, **first}
            if figures:
                lumo = figures if name == "lumo" else lumo
                rows.append(row(task, name, figures, lumo))
    versions = ", ".join(f"{name} {info['version']}" for name, (_, info) in libraries.items())
    return rows, versions


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS, help="Simplified text")
    parser.add_argument("--runs", type=int, default=7, help="corpus conversions per figure (7)")
    parser.add_argument("--repeat", type=int, default=15, help="builds per converter (15)")
    parser.add_argument("--reimplemented-python", help="python with opencc-python-reimplemented")
    parser.add_argument("--worker", nargs=3, metavar=("KIND", "LIB", "ARG"), help=argparse.SUPPRESS)
    parser.add_argument("--input", help=argparse.SUPPRESS)
    args = parser.parse_args()
    if not args.worker and not args.corpus.is_file():
        parser.error(f"no corpus at {args.corpus}: pass --corpus PATH")
    if args.worker:
        print(json.dumps(worker(*args.worker, args.input, args.runs, args.repeat)))
        return

    import lumo

    texts = {"simplified": args.corpus.read_text(encoding="utf-8")}
    for config, source in DERIVED:
        texts[config] = lumo.Converter(config).convert(texts[source])
    notes = []
    with tempfile.TemporaryDirectory(prefix="lumo-compare-") as tmp:
        inputs = {form: Path(tmp, form + ".txt") for form in texts}
        for form, text in texts.items():
            inputs[form].write_text(text, encoding="utf-8")
        rows, versions = compare(args, inputs, notes)

    command = shlex.join(getattr(sys, "orig_argv", [sys.executable, *sys.argv]))
    print(f"Python {platform.python_version()} | CPU {cpu_model()} | ", end="")
    print(f"{datetime.now().strftime('%Y-%m-%d %H:%M')} | {command}")
    print_table(
        ["config", "library"] + [h for _, c, _ in COLUMNS for h in (c, "×")], rows, left_columns=2
    )
    size = len(texts["simplified"].encode("utf-8")) / 1e6
    footnotes = FOOTNOTES.format(
        versions=versions, corpus=args.corpus.name, size=size, repeat=args.repeat, runs=args.runs,
        budget=RUN_BUDGET_S, slices=SLICES, slice_calls=SLICE_CALLS,
        threads=len(os.sched_getaffinity(0)),
    )  # fmt: skip
    print()
    for note in footnotes.splitlines() + [f"Note: {note}" for note in notes]:
        print(textwrap.fill(note, 100, subsequent_indent="  ", break_on_hyphens=False))


if __name__ == "__main__":
    main()
