"""How conversion scales past one process: a text dataset of 200 MB or more, made from the corpus,
converted in one process, by a process pool, and on Dask and Spark with one and then two workers.
With scripts/setup.sh done (it installs Dask, Spark and Java), from the repository root:

    .venv/bin/python benchmarks/scaling.py

The dataset is a folder of Parquet files with a `text` column, one row per line of the corpus, and
the same lines as a folder of text files; it is made once in out/scaling and reused. Every worker
converts on one thread (LUMO_THREADS=1), as the engines give each worker one core. Every way runs
the documentation's code (docs/examples/): its Parquet recipe (in one process and in the pool), its
pool, Dask and Spark examples; each way's output is checked against the conversion in one process.
A last row runs the Parquet recipe with a converter that returns its column as it is: what reading
and writing the files cost alone, the bound of any conversion in this pipeline. Prints a Markdown
table, then the estimate for 1 TB that the figures give.
"""

import argparse
import concurrent.futures
import importlib
import math
import multiprocessing
import os
import platform
import shlex
import shutil
import sys
import time
from datetime import datetime
from importlib.metadata import version
from pathlib import Path

os.environ["LUMO_THREADS"] = "1"  # before lumo converts anything, and inherited by every worker

import lumo  # noqa: E402
import pandas as pd  # noqa: E402
from machine import cpu_model  # noqa: E402

HERE = Path(__file__).resolve().parent
EXAMPLES = HERE.parent / "docs" / "examples"
DEFAULT_CORPUS = HERE.parent.parent / "shared" / "corpus" / "zuozhuan.txt"
CONFIG = "s2twp"
TB_MB = 1e6
CORES_PER_MACHINE = 16


def example_module(name):
    """docs/examples/`name`.py as a module; its folder stays on the path, so that worker processes
    import it too."""
    if str(EXAMPLES) not in sys.path:
        sys.path.insert(0, str(EXAMPLES))
    return importlib.import_module(name)


def make_dataset(corpus, folder, size_mb, files):
    """Parquet files and text files of the corpus lines, each file starting at another line;
    returns the size of the text in MB (10^6 bytes of UTF-8)."""
    marker = folder / f"made-{size_mb}-{files}"
    lines = corpus.read_text(encoding="utf-8").split("\n")
    if not marker.exists():
        shutil.rmtree(folder, ignore_errors=True)
        (folder / "table").mkdir(parents=True)
        (folder / "files").mkdir()
        per_file, first_id = size_mb * 1e6 / files, 0
        for index in range(files):
            rows, size, line = [], 0, index * 7919 % len(lines)
            while size < per_file:
                rows.append(lines[line % len(lines)] + "\n")
                size += len(rows[-1].encode("utf-8"))
                line += 1
            ids = range(first_id, first_id + len(rows))
            frame = pd.DataFrame({"id": ids, "text": rows})
            frame.to_parquet(folder / "table" / f"part-{index:03}.parquet", index=False)
            (folder / "files" / f"{index:03}.txt").write_text("".join(rows), encoding="utf-8")
            first_id += len(rows)
        marker.touch()
    return sum(p.stat().st_size for p in (folder / "files").iterdir()) / 1e6


class InProcess:
    """Everything on the calling thread."""

    def __init__(self, examples):
        self.examples = examples

    def table(self, source, target, converter):
        target.mkdir()
        convert_file = self.examples["parquet"].convert_dataset
        for path in sorted(source.iterdir()):
            convert_file(path, target / path.name, converter)

    def files(self, source, target, converter):
        pool_example = self.examples["pool"]
        pool_example.start_worker(converter)
        jobs = [(path, target / path.name) for path in sorted(source.iterdir())]
        for job in jobs:
            pool_example.convert_file(job)

    def close(self):
        pass


class Unconverted:
    """Stands in for a converter and returns each column as it is."""

    @staticmethod
    def convert_arrow(column):
        return column


class ReadWriteOnly(InProcess):
    """The Parquet recipe on the calling thread with nothing converted."""

    def table(self, source, target, converter):
        super().table(source, target, Unconverted())

    files = None


class Pool(InProcess):
    """A pool of processes started once (spawn), each with its converter built."""

    def __init__(self, examples, workers, converter):
        super().__init__(examples)
        pool_example = examples["pool"]
        self.pool = concurrent.futures.ProcessPoolExecutor(
            workers,
            mp_context=multiprocessing.get_context("spawn"),
            initializer=pool_example.start_worker,
            initargs=(converter,),
        )
        list(self.pool.map(time.sleep, [0.2] * workers))  # every worker up before timing

    def table(self, source, target, converter):
        target.mkdir()
        paths = sorted(source.iterdir())
        targets = [target / path.name for path in paths]
        convert_file = self.examples["parquet"].convert_dataset
        list(self.pool.map(convert_file, paths, targets, [converter] * len(paths)))

    def files(self, source, target, converter):
        jobs = [(path, target / path.name) for path in sorted(source.iterdir())]
        list(self.pool.map(self.examples["pool"].convert_file, jobs))

    def close(self):
        self.pool.shutdown()


class Dask(InProcess):
    def __init__(self, examples, workers):
        super().__init__(examples)
        from dask.distributed import Client, LocalCluster

        self.cluster = LocalCluster(
            n_workers=workers,
            threads_per_worker=1,
            dashboard_address=None,
            env={"LUMO_THREADS": "1"},
            silence_logs=40,
        )
        self.client = Client(self.cluster)

    def table(self, source, target, converter):
        self.examples["dask"].convert_table(str(source), str(target), converter)

    def files(self, source, target, converter):
        self.examples["dask"].convert_folder(source, target, converter, files_per_task=1)

    def close(self):
        self.client.close()
        self.cluster.close()


class Spark(InProcess):
    def __init__(self, examples, workers, scratch):
        super().__init__(examples)
        from pyspark.sql import SparkSession

        os.environ["PYSPARK_PYTHON"] = os.environ["PYSPARK_DRIVER_PYTHON"] = sys.executable
        self.spark = (
            SparkSession.builder.master(f"local[{workers}]")
            .config("spark.ui.enabled", "false")
            .config("spark.ui.showConsoleProgress", "false")
            .config("spark.driver.memory", "4g")
            # Two files to a task, as a large dataset has many 128 MB tasks to a core; by default
            # this one would be cut into two tasks of very different sizes.
            .config("spark.sql.files.maxPartitionBytes", "16m")
            .config("spark.local.dir", str(scratch))
            .config("spark.executorEnv.LUMO_THREADS", "1")
            .getOrCreate()
        )
        self.spark.sparkContext.setLogLevel("ERROR")

    def table(self, source, target, converter):
        self.examples["spark"].convert_table(self.spark, str(source), str(target), converter)

    files = None

    def close(self):
        self.spark.stop()


def read_table(folder):
    return pd.read_parquet(folder).sort_values("id")["text"].tolist()


def read_files(folder):
    return {path.name: path.read_bytes() for path in sorted(folder.rglob("*.txt"))}


def busy_seconds():
    """CPU seconds the whole machine has spent busy since boot (every process: the JVM too)."""
    with open("/proc/stat") as f:
        ticks = [int(field) for field in f.readline().split()[1:]]
    return (sum(ticks) - ticks[3] - ticks[4]) / os.sysconf("SC_CLK_TCK")  # less idle, iowait


def measure(way, kind, dataset, out, converter, runs, expected):
    """The best of `runs` wall times of one way over one kind of input, with the cores it kept
    busy then; its output checked where it converts."""
    convert, read = (way.table, read_table) if kind == "table" else (way.files, read_files)
    best = (math.inf, 0.0)
    for _ in range(runs):
        target = out / "converted"
        shutil.rmtree(target, ignore_errors=True)
        start, busy = time.perf_counter(), busy_seconds()
        convert(dataset / kind, target, converter)
        seconds = time.perf_counter() - start
        best = min(best, (seconds, (busy_seconds() - busy) / seconds))
    if isinstance(way, ReadWriteOnly):
        pass
    elif expected.get(kind) is None:
        expected[kind] = read(target)
    elif read(target) != expected[kind]:
        raise SystemExit(f"{type(way).__name__} wrote other output than the first way")
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--corpus", type=Path, default=DEFAULT_CORPUS)
    parser.add_argument("--out", type=Path, default=HERE.parent / "out" / "scaling")
    parser.add_argument("--size-mb", type=int, default=210, help="dataset size (default 210)")
    parser.add_argument("--files", type=int, default=32, help="files in the dataset (default 32)")
    parser.add_argument("--runs", type=int, default=3, help="runs per way, best taken")
    args = parser.parse_args()

    args.out.mkdir(parents=True, exist_ok=True)
    dataset = args.out / "dataset"
    size = make_dataset(args.corpus, dataset, args.size_mb, args.files)
    examples = {
        "parquet": example_module("parquet_dataset"),
        "pool": example_module("process_pool"),
        "dask": example_module("dask_cluster"),
        "spark": example_module("spark_cluster"),
    }
    converter = lumo.Converter(CONFIG)
    ways = [("in one process", 1, lambda: InProcess(examples))]
    for workers in (1, 2):
        ways.append(("process pool", workers, lambda n=workers: Pool(examples, n, converter)))
    for workers in (1, 2):
        ways.append(("Dask LocalCluster", workers, lambda n=workers: Dask(examples, n)))
    for workers in (1, 2):
        ways.append(("Spark local", workers, lambda n=workers: Spark(examples, n, args.out)))
    ways.append(("Parquet read and write only", 1, lambda: ReadWriteOnly(examples)))

    results, startups, expected = {}, {}, {}
    for name, workers, make in ways:
        start = time.perf_counter()
        way = make()
        startups[name, workers] = time.perf_counter() - start
        try:
            for kind in ("table", "files"):
                if getattr(way, kind) is not None:
                    print(f"  {name} ×{workers}: {kind}", file=sys.stderr, flush=True)
                    seconds, cores = measure(
                        way, kind, dataset, args.out, converter, args.runs, expected
                    )
                    results[name, workers, kind] = (size / seconds, cores)
        finally:
            way.close()

    command = shlex.join(getattr(sys, "orig_argv", [sys.executable, *sys.argv]))
    print(f"Python {platform.python_version()} | CPU {cpu_model()} × {os.cpu_count()} | ", end="")
    print(f"{datetime.now().strftime('%Y-%m-%d %H:%M')} | {command}")
    print(
        f"lumo {version('lumo')}, Dask {version('distributed')}, PySpark {version('pyspark')}, ",
        end="",
    )
    print(f"pandas {version('pandas')}, pyarrow {version('pyarrow')}")
    print(f"\n{size:.0f} MB of text in {args.files} files, `{CONFIG}`, best of {args.runs} runs\n")
    print(
        "| way | workers | Parquet MB/s | × in one process | cores busy | MB/s per core | ", end=""
    )
    print("text files MB/s | start s |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    base = results["in one process", 1, "table"][0]
    for name, workers, _ in ways:
        table, cores = results[name, workers, "table"]
        files = results.get((name, workers, "files"), (None,))[0]
        print(
            f"| {name} | {workers} | {table:.1f} | {table / base:.2f} | {cores:.2f} | "
            f"{table / cores:.1f} | {'' if files is None else f'{files:.1f}'} | "
            f"{startups[name, workers]:.1f} |"
        )
    print(
        "\nMB: 10^6 bytes of UTF-8 text. cores busy: CPU time the machine spent, over the wall "
        "time, during the Parquet run. start: starting the pool or cluster, not in the times."
    )
    print(estimate(results))


def estimate(results):
    """What the Parquet figures give for 1 TB on machines of 16 cores: each core of a machine as
    fast as a busy core with two workers here."""
    lines = ["", f"1 TB on machines of {CORES_PER_MACHINE} cores, from the Parquet figures:"]
    for name in ("Spark local", "Dask LocalCluster"):
        (one, one_cores), (two, two_cores) = results[name, 1, "table"], results[name, 2, "table"]
        per_core = two / two_cores
        per_machine = per_core * CORES_PER_MACHINE
        hours_on_one = TB_MB / per_machine / 3600
        machines_10_min = math.ceil(TB_MB / (per_machine * 600))
        lines.append(
            f"- {name}: {per_core:.1f} MB/s per busy core with 2 workers ({one / one_cores:.1f} "
            f"with 1), {per_machine:.0f} MB/s per machine: {hours_on_one:.2f} h on one machine, "
            f"{hours_on_one * 60 / 10:.1f} min on 10, {machines_10_min} machines for 10 min."
        )
    return "\n".join(lines)


if __name__ == "__main__":
    main()
