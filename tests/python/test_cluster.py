"""The docs' Dask and Spark examples (docs/examples/, included in docs/dataframes.md), run on a
local cluster, write exactly what one process
converts. Deselect with `-m "not cluster"` for a quick run."""

import importlib
import os
import random
import shutil
import sys
from pathlib import Path

import lumo
import pytest

pytestmark = pytest.mark.cluster

EXAMPLES = Path(__file__).resolve().parents[2] / "docs" / "examples"
# Phrases the configurations rewrite, phrases that meet a line feed or a CR LF, kana, Latin
# letters, an astral character and nothing, shuffled into texts of no fixed shape.
PIECES = (
    "我的U盘坏了 头发干了 鼠标 後來乾燥的 于是 里面 台湾 软件 汉字 かな 𠀾 。 一个人的信息".split()
)
PIECES += ["\n", "\r\n", "头\n发", "干\r\n燥", "abc ", ""]
CONVERTER = lumo.Converter("s2twp").with_custom({"鼠标": "老鼠", "头\n发": "X"})


def text(rng, pieces):
    return "".join(rng.choice(PIECES) for _ in range(pieces))


def example_module(name, monkeypatch):
    """The example docs/examples/`name`.py as a module, whose folder stays on the path: worker
    processes start with this process's path and import it."""
    monkeypatch.syspath_prepend(str(EXAMPLES))
    return importlib.import_module(name)


def write_table(path, rows, files):
    """A Parquet dataset of `files` files with an `id` column and a `text` column with nulls."""
    pd = pytest.importorskip("pandas")
    path.mkdir()
    rng = random.Random(7)
    frame = pd.DataFrame(
        {
            "id": range(rows),
            "text": [None if i % 11 == 3 else text(rng, i % 40) for i in range(rows)],
        }
    )
    size = -(-rows // files)
    for index in range(files):
        frame.iloc[index * size : (index + 1) * size].to_parquet(
            path / f"part-{index}.parquet", index=False
        )
    return frame


def assert_converted(source_frame, target):
    pd = pytest.importorskip("pandas")
    written = pd.read_parquet(target).sort_values("id").reset_index(drop=True)
    assert list(written["id"]) == list(source_frame["id"])
    expected = [None if t is None else CONVERTER.convert(t) for t in source_frame["text"]]
    assert [None if pd.isna(t) else t for t in written["text"]] == expected


@pytest.fixture(scope="module")
def dask_example():
    """The docs' Dask module, with a client of two worker processes that can import it."""
    pytest.importorskip("dask.dataframe")
    distributed = pytest.importorskip("dask.distributed")
    with pytest.MonkeyPatch.context() as monkeypatch:
        example = example_module("dask_cluster", monkeypatch)
        with (
            distributed.LocalCluster(
                n_workers=2, threads_per_worker=1, dashboard_address=None, env={"LUMO_THREADS": "1"}
            ) as cluster,
            distributed.Client(cluster),
        ):
            yield example


def test_dask_bag_converts_a_folder_of_files(dask_example, tmp_path):
    rng = random.Random(3)
    texts = {f"part{i // 10}/{i}.txt": text(rng, rng.randrange(0, 400)) for i in range(40)}
    texts["long.txt"] = text(rng, 150_000)  # long enough for threads, were LUMO_THREADS not 1
    texts["empty.txt"] = ""
    source = tmp_path / "in"
    for name, content in texts.items():
        (source / name).parent.mkdir(parents=True, exist_ok=True)
        (source / name).write_bytes(content.encode("utf-8"))
    (source / "notes.md").write_text("汉字", encoding="utf-8")  # not a .txt: left alone

    written = dask_example.convert_folder(source, tmp_path / "out", CONVERTER, files_per_task=3)

    assert sorted(written) == sorted(str(tmp_path / "out" / name) for name in texts)
    for name, content in texts.items():
        assert (tmp_path / "out" / name).read_bytes().decode("utf-8") == CONVERTER.convert(content)
    assert not (tmp_path / "out" / "notes.md").exists()
    assert dask_example.convert_folder(tmp_path / "nothing", tmp_path / "out2", CONVERTER) == []


def test_dask_dataframe_converts_a_parquet_column(dask_example, tmp_path):
    frame = write_table(tmp_path / "table", rows=2_000, files=5)
    dask_example.convert_table(tmp_path / "table", tmp_path / "out", CONVERTER)
    assert_converted(frame, tmp_path / "out")


@pytest.fixture(scope="module")
def spark(tmp_path_factory):
    pytest.importorskip("pandas")
    pytest.importorskip("pyarrow")
    sql = pytest.importorskip("pyspark.sql")
    if not (os.environ.get("JAVA_HOME") or shutil.which("java")):
        pytest.skip("Spark needs Java (scripts/setup.sh installs openjdk-17-jre-headless)")
    with pytest.MonkeyPatch.context() as monkeypatch:
        # Spark's Python workers run this interpreter, which has lumo.
        monkeypatch.setenv("PYSPARK_PYTHON", sys.executable)
        monkeypatch.setenv("PYSPARK_DRIVER_PYTHON", sys.executable)
        session = (
            sql.SparkSession.builder.master("local[2]")
            .appName("lumo-tests")
            .config("spark.ui.enabled", "false")
            .config("spark.sql.shuffle.partitions", "2")
            .config("spark.local.dir", str(tmp_path_factory.mktemp("spark")))
            .config("spark.executorEnv.LUMO_THREADS", "1")
            .getOrCreate()
        )
        session.sparkContext.setLogLevel("ERROR")
        yield session
        session.stop()


def test_spark_converts_a_parquet_column(spark, tmp_path, monkeypatch):
    example = example_module("spark_cluster", monkeypatch)
    frame = write_table(tmp_path / "table", rows=2_000, files=3)
    example.convert_table(spark, str(tmp_path / "table"), str(tmp_path / "out"), CONVERTER)
    assert_converted(frame, tmp_path / "out")
