from pathlib import Path

import dask
import dask.bag
import dask.dataframe
import lumo
import pandas as pd
import pyarrow as pa


def convert_files(jobs, converter):
    """Converts one partition's (source, target) files; returns the targets."""
    for source, target in jobs:
        Path(target).parent.mkdir(parents=True, exist_ok=True)
        with (
            open(source, encoding="utf-8", newline="") as reader,
            open(target, "w", encoding="utf-8", newline="") as writer,
        ):
            writer.writelines(converter.convert_stream(reader))
    return [target for _, target in jobs]


def convert_folder(source, target, converter, files_per_task=8):
    """Converts every .txt file under `source` to the same place under `target`."""
    source, target = Path(source), Path(target)
    jobs = [
        (str(path), str(target / path.relative_to(source)))
        for path in sorted(source.rglob("*.txt"))
    ]
    if not jobs:
        return []
    bag = dask.bag.from_sequence(jobs, partition_size=files_per_task)
    return bag.map_partitions(convert_files, dask.delayed(converter)).compute()


def convert_texts(texts, converter):
    """One partition of a text column, converted through Arrow in one call; its index, name and
    dtype are kept, and missing values stay missing."""
    converted = pa.chunked_array(converter.convert_arrow(pa.array(texts, from_pandas=True)))
    return pd.Series(pd.array(converted, dtype=texts.dtype), index=texts.index, name=texts.name)


def convert_table(source, target, converter, column="text"):
    """Writes the Parquet dataset `source` to `target` with `column` converted."""
    table = dask.dataframe.read_parquet(source)
    texts = table[column]
    texts = texts.map_partitions(convert_texts, dask.delayed(converter), meta=texts)
    table.assign(**{column: texts}).to_parquet(target)


if __name__ == "__main__":
    from dask.distributed import Client, LocalCluster

    # Two worker processes of one thread each, here; on a cluster: Client("tcp://host:8786").
    with (
        LocalCluster(n_workers=2, threads_per_worker=1, env={"LUMO_THREADS": "1"}) as cluster,
        Client(cluster),
    ):
        convert_folder("texts", "texts-t", lumo.Converter("s2t"))
        convert_table("table.parquet", "table-t.parquet", lumo.Converter("s2t"))
