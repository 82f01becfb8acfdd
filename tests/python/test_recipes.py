"""The column recipes of the docs (docs/examples/, included in docs/dataframes.md), each run on
a column with missing values: every one gives what per-row convert gives, and keeps what it says
it keeps."""

import runpy
from pathlib import Path

import lumo
import pytest

pa = pytest.importorskip("pyarrow")

EXAMPLES = Path(__file__).resolve().parents[2] / "docs" / "examples"
CONVERTER = lumo.Converter("s2twp")
TEXTS = ["汉字", None, "鼠标和软件", "", "头发 and 😀", None, "台湾的U盘"]
EXPECTED = [None if text is None else CONVERTER.convert(text) for text in TEXTS]


def recipe(name):
    """The names the recipe docs/examples/`name`.py defines."""
    return runpy.run_path(str(EXAMPLES / f"{name}.py"))


@pytest.mark.parametrize(
    "dtype", ["object", "string[python]", "string[pyarrow]", "string", "large_string"]
)
def test_pandas(dtype):
    pd = pytest.importorskip("pandas")
    if dtype in ("string", "large_string"):
        dtype = pd.ArrowDtype(getattr(pa, dtype)())
    texts = pd.Series(TEXTS, dtype=dtype, index=range(10, 10 + len(TEXTS)), name="title")
    if dtype == "object":
        texts.iloc[5] = float("nan")
    result = recipe("pandas_column")["convert_series"](texts, CONVERTER)
    assert (result.dtype, result.name, list(result.index)) == (
        texts.dtype,
        "title",
        list(texts.index),
    )
    assert [None if pd.isna(value) else value for value in result] == EXPECTED


def test_polars():
    pl = pytest.importorskip("polars")
    frame = pl.DataFrame({"id": range(len(TEXTS)), "text": TEXTS})
    result = recipe("polars_column")["convert_column"](frame, CONVERTER)
    assert result["text"].to_list() == EXPECTED
    assert result["id"].to_list() == list(range(len(TEXTS)))


def test_duckdb():
    duckdb = pytest.importorskip("duckdb")
    names = recipe("duckdb_column")
    connection = duckdb.connect()
    connection.execute("create table docs (id integer, text varchar)")
    connection.executemany("insert into docs values (?, ?)", list(enumerate(TEXTS)))
    names["add_function"](connection, "to_taiwan", CONVERTER)
    rows = connection.sql("select to_taiwan(text) from docs order by id").fetchall()
    assert [row[0] for row in rows] == EXPECTED
    rows = names["convert_relation"](connection, "select text from docs order by id", CONVERTER)
    assert [row[0] for row in rows] == EXPECTED


def test_parquet_dataset(tmp_path):
    pq = pytest.importorskip("pyarrow.parquet")
    source = tmp_path / "source"
    source.mkdir()
    half = len(TEXTS) // 2
    for index, part in enumerate((TEXTS[:half], TEXTS[half:])):
        ids = range(index * half, index * half + len(part))
        pq.write_table(pa.table({"id": ids, "text": part}), source / f"part-{index}.parquet")
    target = tmp_path / "converted.parquet"
    recipe("parquet_dataset")["convert_dataset"](source, target, CONVERTER, rows=2)
    table = pq.read_table(target)
    assert table.column("text").to_pylist() == EXPECTED
    assert table.column("id").to_pylist() == list(range(len(TEXTS)))
