"""Time Converter.explain on the corpus, next to Converter.convert. With lumo installed:

    .venv/bin/python benchmarks/explain.py [--runs N] [--configs s2t,s2twp,t2s] [--corpus PATH]

Each configuration runs in a fresh process: `first` is its first explain call, which reads the
further values of the dictionary entries; `MB/s` is the best of --runs calls after it (10^6 bytes of
UTF-8 input per second, each call on a new copy of the text), with convert's alongside; `spans` and
`ambiguous` count the list it returns; `RSS MB` is the growth of the process's peak resident set
over the first call and the runs, the value lists and one result included.
Inputs: the Simplified corpus for s2*; its s2t form for t2*.
"""

import argparse
import json
import subprocess
import sys
from pathlib import Path

DEFAULT_CORPUS = Path(__file__).resolve().parents[2] / "shared" / "corpus" / "zuozhuan.txt"
WORKER = """
import json, resource, sys, time
import lumo
config, corpus, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
text = open(corpus, encoding="utf-8").read()
if config.startswith("t2"):
    text = lumo.convert(text, "s2t")
size = len(text.encode("utf-8"))
converter = lumo.Converter(config)
converter.convert(text[:100])
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
start = time.perf_counter()
spans = converter.explain(text)
first = time.perf_counter() - start
best = best_convert = float("inf")
for _ in range(runs):
    copy = "".join(list(text))
    del spans
    start = time.perf_counter()
    spans = converter.explain(copy)
    best = min(best, time.perf_counter() - start)
    start = time.perf_counter()
    converter.convert(copy)
    best_convert = min(best_convert, time.perf_counter() - start)
grown = (resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before) / 1024
print(json.dumps({"first_ms": first * 1000, "mbps": size / best / 1e6,
                  "convert_mbps": size / best_convert / 1e6, "spans": len(spans),
                  "ambiguous": sum(1 for span in spans if span[2]), "rss_mb": grown,
                  "mb": size / 1e6}))
"""


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=10)
    parser.add_argument("--configs", default="s2t,s2twp,s2hkp,t2s")
    parser.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS)
    args = parser.parse_args()
    print(f"`{' '.join(sys.argv)}`, corpus {args.corpus.name}\n")
    print("| config | first ms | explain MB/s | convert MB/s | spans | ambiguous | RSS MB |")
    print("|---|---|---|---|---|---|---|")
    for config in args.configs.split(","):
        result = subprocess.run(
            [sys.executable, "-c", WORKER, config, str(args.corpus), str(args.runs)],
            check=True,
            capture_output=True,
            text=True,
        )
        row = json.loads(result.stdout)
        print(
            f"| {config} | {row['first_ms']:.0f} | {row['mbps']:.1f} | {row['convert_mbps']:.0f} "
            f"| {row['spans']} | {row['ambiguous']} | {row['rss_mb']:.1f} |"
        )


if __name__ == "__main__":
    main()
