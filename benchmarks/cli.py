"""Time the `lumo` command end to end against the same job in one Python process and against the
command-line tool of the Debian package opencc. With lumo installed in out/bench (see
benchmarks/setup.sh, which also installs the Debian tool), from the repository root:

    out/bench/bin/python benchmarks/cli.py [--mb 200] [--runs 5] [--big-gb 2] [--chart PATH]

Inputs are built from the corpus under out/cli-bench: the Simplified text repeated to --mb
megabytes for s2t and s2twp, and lumo's s2t form of it for t2s. For each configuration the three
ways run interleaved, --runs times each, on the same file, writing a file:

  lumo       `lumo -c CONFIG -i IN -o OUT`: the command, started afresh each run
  in-proc    a fresh Python process that reads IN, decodes it, calls Converter.convert once on the
             whole text, encodes and writes OUT; `convert` is the call alone, timed inside it, and
             `stream` is Converter.convert_stream over the decoded text in chunks of 2^20
             characters, the pieces kept in a list
  opencc     `opencc -c CONFIG.json -i IN -o OUT` from the Debian package

MB/s is 10^6 bytes of UTF-8 input per second, best of the runs; peak RSS is the largest resident
set of the process (from wait4). Every output is checked against lumo's in-process one. With
--big-gb, the command then converts a file of that many GB once, and its time and peak RSS are
reported.
"""

import argparse
import hashlib
import os
import platform
import shutil
import subprocess
import sys
import time
from datetime import datetime
from pathlib import Path

from chart import grouped_bars

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent
DEFAULT_CORPUS = ROOT.parent / "shared" / "corpus" / "zuozhuan.txt"
WORK = ROOT / "out" / "cli-bench"
CONFIGS = ("s2t", "s2twp", "t2s")
INPUT = {"s2t": "simplified", "s2twp": "simplified", "t2s": "s2t"}
IN_PROCESS = """
import sys, time, lumo
source, target, config = sys.argv[1:4]
start = time.perf_counter()
with open(source, "rb") as file:
    text = file.read().decode("utf-8")
converter = lumo.Converter(config)
begun = time.perf_counter()
result = converter.convert(text)
converted = time.perf_counter() - begun
with open(target, "wb") as file:
    file.write(result.encode("utf-8"))
del result
chunks = [text[i : i + (1 << 20)] for i in range(0, len(text), 1 << 20)]
begun = time.perf_counter()
pieces = list(converter.convert_stream(chunks))
streamed = time.perf_counter() - begun
print(converted, streamed)
"""


def build_input(corpus, form, megabytes):
    """The corpus in `form`, repeated to at least `megabytes` MB, as a file under WORK."""
    path = WORK / f"{form}-{megabytes}mb.txt"
    if path.exists():
        return path
    import lumo

    text = corpus.read_text(encoding="utf-8")
    if form != "simplified":
        text = lumo.convert(text, form)
    data = text.encode("utf-8")
    copies = -(-megabytes * 10**6 // len(data))
    WORK.mkdir(parents=True, exist_ok=True)
    with open(path, "wb") as file:
        for _ in range(copies):
            file.write(data)
    return path


def run(command, stdout=subprocess.DEVNULL):
    """Runs `command`; returns (seconds, peak RSS in MB, its standard output)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=stdout, stderr=subprocess.PIPE)
    output = process.stdout.read() if process.stdout else b""
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    error = process.stderr.read().decode(errors="replace")
    process.returncode = os.waitstatus_to_exitcode(status)
    if process.returncode != 0:
        sys.exit(f"{command[0]} failed ({process.returncode}): {error.strip()}")
    return elapsed, usage.ru_maxrss / 1024, output


def digest(path):
    hasher = hashlib.sha256()
    with open(path, "rb") as file:
        while block := file.read(1 << 22):
            hasher.update(block)
    return hasher.hexdigest()


def opencc_config(config):
    for folder in ("/usr/share/opencc", "/usr/local/share/opencc"):
        if Path(folder, f"{config}.json").exists():
            return str(Path(folder, f"{config}.json"))
    return None


def measure(config, source, lumo_command, runs):
    size = source.stat().st_size
    out = WORK / f"out-{config}.txt"
    ways = {
        "lumo": lambda: run([*lumo_command, "-c", config, "-i", str(source), "-o", str(out)]),
        "in-proc": lambda: run(
            [sys.executable, "-c", IN_PROCESS, str(source), str(out), config],
            stdout=subprocess.PIPE,
        ),
    }
    opencc = shutil.which("opencc")
    if opencc and opencc_config(config):
        ways["opencc"] = lambda: run(
            [opencc, "-c", opencc_config(config), "-i", str(source), "-o", str(out)]
        )
    best = {name: (float("inf"), 0.0) for name in ways}
    convert_best = stream_best = float("inf")
    reference = None
    for _ in range(runs):
        for name, way in ways.items():
            seconds, rss, output = way()
            best[name] = (min(best[name][0], seconds), max(best[name][1], rss))
            if name == "in-proc":
                converted, streamed = map(float, output.split())
                convert_best = min(convert_best, converted)
                stream_best = min(stream_best, streamed)
                reference = digest(out)
            elif reference is not None and name == "lumo" and digest(out) != reference:
                sys.exit(f"{config}: the command's output differs from Converter.convert")
    out.unlink()
    row = {name: (size / seconds / 1e6, rss) for name, (seconds, rss) in best.items()}
    row["convert"] = (size / convert_best / 1e6, 0.0)
    row["stream"] = (size / stream_best / 1e6, 0.0)
    return row


def big_run(corpus, lumo_command, gigabytes):
    source = build_input(corpus, "simplified", int(gigabytes * 1000))
    seconds, rss, _ = run([*lumo_command, "-c", "s2t", "-i", str(source), "-o", os.devnull])
    return source.stat().st_size, seconds, rss


def draw(rows, path):
    labels = {"lumo": "lumo command", "in-proc": "Converter.convert in one process (whole job)",
              "opencc": "opencc command (Debian)"}  # fmt: skip
    series = {label: [rows[config].get(way, (0, 0))[0] for config in CONFIGS]
              for way, label in labels.items()}  # fmt: skip
    grouped_bars(path, CONFIGS, series, "MB/s of UTF-8 input, end to end",
                 "Converting a file of 200 MB and more, file to file")  # fmt: skip


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS)
    parser.add_argument("--mb", type=int, default=200)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--big-gb", type=float, default=0)
    parser.add_argument("--chart", type=Path)
    parser.add_argument("--lumo", default=str(Path(sys.executable).with_name("lumo")))
    args = parser.parse_args()
    lumo_command = [args.lumo]
    rows = {}
    for config in CONFIGS:
        rows[config] = measure(config, build_input(args.corpus, INPUT[config], args.mb),
                               lumo_command, args.runs)  # fmt: skip
    print(f"Python {platform.python_version()} | {platform.processor() or platform.machine()} | "
          f"{os.cpu_count()} processors | {datetime.now():%Y-%m-%d %H:%M} | "
          f"{' '.join(sys.argv)}")  # fmt: skip
    print()
    print(
        "| config | lumo MB/s | peak RSS MB | in-proc job MB/s | convert MB/s | stream MB/s "
        "| lumo / job | lumo / convert | opencc MB/s | lumo / opencc |"
    )
    print("|---|---|---|---|---|---|---|---|---|---|")
    for config, row in rows.items():
        lumo_rate, lumo_rss = row["lumo"]
        job, convert = row["in-proc"][0], row["convert"][0]
        opencc = row.get("opencc", (float("nan"), 0))[0]
        stream = row["stream"][0]
        print(f"| {config} | {lumo_rate:.0f} | {lumo_rss:.0f} | {job:.0f} | {convert:.0f} | "
              f"{stream:.0f} | "
              f"{lumo_rate / job:.2f} | {lumo_rate / convert:.2f} | {opencc:.1f} | "
              f"{lumo_rate / opencc:.1f}× |")  # fmt: skip
    if args.big_gb:
        size, seconds, rss = big_run(args.corpus, lumo_command, args.big_gb)
        print(f"\n`lumo -c s2t` on {size / 1e9:.2f} GB: {seconds:.1f} s "
              f"({size / seconds / 1e6:.0f} MB/s), peak RSS {rss:.0f} MB")  # fmt: skip
    if args.chart:
        draw(rows, args.chart)


if __name__ == "__main__":
    main()
