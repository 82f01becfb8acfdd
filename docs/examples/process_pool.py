import concurrent.futures
import multiprocessing
import sys
from pathlib import Path

import lumo

converter = None  # each worker's own


def start_worker(received):
    global converter
    converter = received  # arrives as its recipe, built again here


def convert_file(paths):
    source, target = paths
    target.parent.mkdir(parents=True, exist_ok=True)
    with (
        open(source, encoding="utf-8", newline="") as reader,
        open(target, "w", encoding="utf-8", newline="") as writer,
    ):
        writer.writelines(converter.convert_stream(reader))
    return target


def convert_folder(source, target, config, workers=None, start_method="spawn"):
    source, target = Path(source), Path(target)
    jobs = [(path, target / path.relative_to(source)) for path in sorted(source.rglob("*.txt"))]
    with concurrent.futures.ProcessPoolExecutor(
        workers,
        mp_context=multiprocessing.get_context(start_method),
        initializer=start_worker,
        initargs=(lumo.Converter(config),),
    ) as pool:
        return list(pool.map(convert_file, jobs))


if __name__ == "__main__":
    convert_folder(sys.argv[1], sys.argv[2], sys.argv[3])
