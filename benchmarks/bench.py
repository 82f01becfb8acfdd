"""Benchmark lumo: converter build time, conversion throughput, memory, one-shot latency, detection.

Usage (from the repository root, with the module installed in .venv):

    .venv/bin/python benchmarks/bench.py [--repeat N] [--runs N] [--configs s2t,t2s,...]
                                         [--corpus PATH]

For each configuration (all of them by default) one row is printed with:

  build     median (min-max) time of `lumo.Converter(config)` over --repeat fresh builds, in ms
  MB/s      median (min-max) throughput of `Converter.convert` on the corpus over --runs runs;
            MB = 10^6 bytes of UTF-8 input. A text this long converts in pieces on one thread per
            processor; `1 thread` is the same with LUMO_THREADS=1
  mem       VmRSS growth from building one Converter in a fresh interpreter (after `import lumo`
            and a warm-up `lumo.configs()`), in MB; `peak` is the VmHWM growth over the same span
  one-shot  median time of `lumo.convert(text, config)` for a 20-character text, in ms

A second table times custom words under s2twp: `Converter.with_custom` with 10 and 10 000
pairs, and `convert_with_custom` (module function and method) on the 20-character text.

A third table times `lumo.detect` on the Simplified corpus and its `s2t` form, each as given and
with its kana removed (any kana makes a text Japanese, which skips the phrase search): the result
for the whole text, MB/s over --runs calls on the whole text, and the time per call on
100-character texts in µs (median, min-max over 200 slices taken at even steps through the text,
each the mean of 20 calls). Every call gets a str never encoded to UTF-8, as a freshly read text
is; the module reads a str's own storage either way.

Inputs: the Simplified corpus for `s2*` configs; its `s2t` conversion for `t2*`, `tw2*` and
`hk2*`; the `t2jp` conversion of that for `jp2t`. The script installs nothing.
"""

import argparse
import os
import platform
import statistics
import subprocess
import sys
import time
from importlib import metadata
from pathlib import Path

import lumo
from table import print_table

REPO = Path(__file__).resolve().parent.parent
DEFAULT_CORPUS = REPO.parent / "shared" / "corpus" / "zuozhuan.txt"

# Runs in a fresh interpreter; prints the VmRSS and VmHWM growth (kB) from building one Converter.
MEMORY_PROBE = """
import sys
import lumo

def status():
    fields = {}
    with open("/proc/self/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM"):
                fields[key] = int(value.split()[0])
    return fields

lumo.configs()
before = status()
converter = lumo.Converter(sys.argv[1])
after = status()
print(after["VmRSS"] - before["VmRSS"], after["VmHWM"] - before["VmHWM"])
"""


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def lumo_version():
    try:
        return metadata.version("lumo")
    except metadata.PackageNotFoundError:
        return "unknown"


def timed_ms(fn, times):
    """Call fn() `times` times; return the wall time of each call in ms."""
    samples = []
    for _ in range(times):
        start = time.perf_counter_ns()
        fn()
        samples.append((time.perf_counter_ns() - start) / 1e6)
    return samples


def summary(samples, fmt):
    median, low, high = (
        fmt.format(v) for v in (statistics.median(samples), min(samples), max(samples))
    )
    return f"{median} ({low}-{high})"


def input_kind(config):
    if config.startswith("s2"):
        return "simplified"
    if config == "jp2t":
        return "japanese"
    return "traditional"


def prepare_inputs(text):
    """Simplified text -> {kind: text}, deriving the Traditional and Japanese forms with lumo."""
    traditional = lumo.Converter("s2t").convert(text)
    japanese = lumo.Converter("t2jp").convert(traditional)
    return {"simplified": text, "traditional": traditional, "japanese": japanese}


def sample20(text):
    """The last 20 characters of the first line that has at least 20 (plain body text)."""
    for line in text.splitlines():
        line = line.strip()
        if len(line) >= 20:
            return line[-20:]
    return text[:20]


def memory_mb(config):
    out = subprocess.run(
        [sys.executable, "-c", MEMORY_PROBE, config],
        check=True,
        capture_output=True,
        text=True,
    ).stdout.split()
    return int(out[0]) / 1024, int(out[1]) / 1024


def bench_config(config, corpora, snippets, repeat, runs):
    build = timed_ms(lambda: lumo.Converter(config), repeat)

    converter = lumo.Converter(config)
    text = corpora[input_kind(config)]
    size_mb = len(text.encode("utf-8")) / 1e6
    converter.convert(text)  # warm-up
    throughput = [size_mb / (ms / 1e3) for ms in timed_ms(lambda: converter.convert(text), runs)]
    os.environ["LUMO_THREADS"] = "1"
    one_thread = [size_mb / (ms / 1e3) for ms in timed_ms(lambda: converter.convert(text), runs)]
    del os.environ["LUMO_THREADS"]

    rss, peak = memory_mb(config)

    snippet = snippets[input_kind(config)]
    one_shot = timed_ms(lambda: lumo.convert(snippet, config), repeat)

    return (
        config,
        summary(build, "{:.2f}"),
        summary(throughput, "{:.1f}"),
        summary(one_thread, "{:.1f}"),
        f"{rss:.1f}",
        f"{peak:.1f}",
        f"{statistics.median(one_shot):.2f}",
    )


def custom_pairs(corpus, count):
    """`count` distinct two-character words of the corpus, each mapped to a marked copy."""
    words = {}
    for i in range(len(corpus) - 1):
        word = corpus[i : i + 2]
        if word.isalpha() and word not in words:
            words[word] = word + "*"
            if len(words) == count:
                break
    return words


def bench_custom(corpus, snippet, repeat):
    """Rows timing custom words: with_custom at two sizes, and the one-shot convert_with_custom."""
    base = lumo.Converter("s2twp")
    rows = []
    for count in (10, 10_000):
        pairs = custom_pairs(corpus, count)
        rows.append(
            (
                f"with_custom, {len(pairs)} pairs",
                timed_ms(lambda p=pairs: base.with_custom(p), repeat),
            )
        )
    pairs = custom_pairs(corpus, 10)
    rows.append(
        (
            "convert_with_custom, 10 pairs, 20 chars",
            timed_ms(lambda: lumo.convert_with_custom(snippet, "s2twp", pairs), repeat),
        )
    )
    rows.append(
        (
            "Converter.convert_with_custom, same",
            timed_ms(lambda: base.convert_with_custom(snippet, pairs), repeat),
        )
    )
    return [(name, summary(samples, "{:.2f}")) for name, samples in rows]


def slices(text, length, count):
    """`count` slices of `length` characters at even steps through `text`."""
    step = max(1, (len(text) - length) // count)
    return [text[i : i + length] for i in range(0, step * count, step)]


def fresh(text, count):
    """`count` equal copies of `text` that have never been encoded to UTF-8, as a text freshly read
    from a file is (the interpreter would keep a UTF-8 form on a str after encoding it)."""
    return [text.encode("utf-8").decode("utf-8") for _ in range(count)]


def detect_ms(texts):
    """Call `lumo.detect` on each text; return the wall time of each call in ms."""
    samples = []
    for text in texts:
        start = time.perf_counter_ns()
        lumo.detect(text)
        samples.append((time.perf_counter_ns() - start) / 1e6)
    return samples


def without_kana(text):
    return "".join(c for c in text if not "\u3040" <= c <= "\u30ff")


def bench_detect(corpora, runs):
    """Rows timing `lumo.detect` on each form of the corpus as given and with its kana removed."""
    rows = []
    for kind in ("simplified", "traditional"):
        for label, text in (
            (kind, corpora[kind]),
            (f"{kind}, no kana", without_kana(corpora[kind])),
        ):
            result = lumo.detect(text)  # also builds the tables
            size_mb = len(text.encode("utf-8")) / 1e6
            throughput = [size_mb / (ms / 1e3) for ms in detect_ms(fresh(text, runs))]
            per_call = [
                statistics.mean(detect_ms(fresh(piece, 20))) * 1e3
                for piece in slices(text, 100, 200)
            ]
            rows.append(
                (
                    label,
                    f"{result.region} {result.confidence}",
                    summary(throughput, "{:.1f}"),
                    summary(per_call, "{:.2f}"),
                )
            )
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repeat", type=int, default=15, help="builds / one-shot calls (15)")
    parser.add_argument("--runs", type=int, default=7, help="corpus conversions per config (7)")
    parser.add_argument("--configs", default=",".join(lumo.configs()), help="comma-separated")
    parser.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS, help="Simplified text")
    args = parser.parse_args()
    if not args.corpus.is_file():
        parser.error(f"no corpus at {args.corpus}: pass --corpus PATH")

    configs = [c.strip() for c in args.configs.split(",") if c.strip()]
    unknown = sorted(set(configs) - set(lumo.configs()))
    if unknown:
        parser.error(f"unknown config(s): {', '.join(unknown)}")

    simplified = args.corpus.read_text(encoding="utf-8")
    corpora = prepare_inputs(simplified)
    snippets = prepare_inputs(sample20(simplified))

    print(
        f"Python {platform.python_version()} | CPU {cpu_model()} | lumo {lumo_version()} | "
        f"corpus {args.corpus.name} {len(simplified.encode('utf-8')) / 1e6:.2f} MB | "
        f"repeat {args.repeat}, runs {args.runs}"
    )
    headers = ("config", "build ms", "MB/s", "1 thread", "mem MB", "peak MB", "one-shot ms")
    print_table(
        headers, [bench_config(c, corpora, snippets, args.repeat, args.runs) for c in configs]
    )

    print()
    custom_rows = bench_custom(simplified, snippets["simplified"], args.repeat)
    width = max(len(name) for name, _ in custom_rows)
    print(f"{'s2twp with custom words':<{width}}  ms")
    for name, timing in custom_rows:
        print(f"{name:<{width}}  {timing}")

    print()
    print_table(("detect", "whole text", "MB/s", "100 chars, µs"), bench_detect(corpora, args.runs))


if __name__ == "__main__":
    main()
