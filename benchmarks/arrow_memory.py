"""The memory a long Arrow column takes to convert, beyond its input and its output. With lumo and
pyarrow installed in out/bench, from the repository root:

    out/bench/bin/python benchmarks/arrow_memory.py [--mb 1000] [--config s2twp] [--threads 1,2]

Builds a `string` column of --mb MB (10^6 bytes) of the corpus's sentences, then, for each thread
count, resets the process's peak resident size (/proc/self/clear_refs), converts the column with
Converter.convert_arrow into a pyarrow array, and reads the peak back (VmHWM). "beyond" is that
peak less the resident size before the call and less the output's buffers: what the conversion
held besides its input and its result. Linux only.
"""

import argparse
import os
import shlex
import sys
import time
from pathlib import Path

import lumo
import pyarrow as pa
from compare import DEFAULT_CORPUS
from machine import cpu_model

from columns import sentences

LIMIT_MB = 64  # the most a conversion may hold beyond its input and output


def status_kb(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise SystemExit(f"no {field} in /proc/self/status")


def column(corpus, mb):
    """A one-chunk string array of about `mb` MB of sentences, and its UTF-8 size in MB."""
    base = pa.array(sentences(corpus.read_text(encoding="utf-8")), pa.string())
    base_mb = base.buffers()[2].size / 1e6
    copies = max(1, round(mb / base_mb))
    return pa.concat_arrays([base] * copies), base_mb * copies


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS)
    parser.add_argument("--mb", type=int, default=1000, help="column size in MB (1000)")
    parser.add_argument("--config", default="s2twp")
    parser.add_argument("--threads", default="1,2", help="thread counts to run (1,2)")
    args = parser.parse_args()

    converter = lumo.Converter(args.config)
    data, size_mb = column(args.corpus, args.mb)
    print(
        f"{shlex.join(sys.orig_argv)}\nCPU {cpu_model()} × {os.cpu_count()}, lumo "
        f"{lumo.__version__}, pyarrow {pa.__version__}: a column of {len(data)} rows, "
        f"{size_mb:.0f} MB, {args.config}\n"
    )
    print("threads  seconds  peak MB  before MB  output MB  beyond MB")
    worst = -float("inf")
    for threads in args.threads.split(","):
        os.environ["LUMO_THREADS"] = threads
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")  # the peak resident size starts again from the current one
        before = status_kb("VmRSS") / 1e3
        start = time.perf_counter()
        result = pa.array(converter.convert_arrow(data))
        seconds = time.perf_counter() - start
        peak = status_kb("VmHWM") / 1e3
        output = sum(buffer.size for buffer in result.buffers() if buffer is not None) / 1e6
        beyond = peak - before - output
        worst = max(worst, beyond)
        print(
            f"{threads:>7}  {seconds:7.2f}  {peak:7.0f}  {before:9.0f}  {output:9.0f}  "
            f"{beyond:9.1f}"
        )
        del result
    verdict = "within" if worst <= LIMIT_MB else "OVER"
    print(f"\nworst beyond input and output: {worst:.1f} MB, {verdict} the {LIMIT_MB} MB limit")


if __name__ == "__main__":
    main()
