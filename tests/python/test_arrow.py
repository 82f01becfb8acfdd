"""Converter.convert_arrow: Arrow string columns converted as convert converts
each row, read and handed back through the Arrow PyCapsule interface."""

import ctypes
import gc
import os
import random
import struct
import threading

import lumo
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from support import available_bytes, progress_during

pa = pytest.importorskip("pyarrow")

CONVERTERS = {name: lumo.Converter(name) for name in ["s2t", "s2twp", "t2s", "jp2t"]}
TYPES = {"string": pa.string(), "large_string": pa.large_string(), "view": pa.string_view()}
PIECE = 1 << 16  # bytes a thread's share holds, at least


def expected(converter, rows):
    return [None if row is None else converter.convert(row) for row in rows]


def converted(converter, data):
    return pa.chunked_array(converter.convert_arrow(data)).to_pylist()


def sample_rows(seed, count, longest):
    """Rows of Chinese, ASCII and emoji, some missing."""
    rng = random.Random(seed)
    vocabulary = ["汉字", "发展", "头发", "后来", "软件", "A", "OK ", "\n", "é", "😀", "𠀀", "。"]
    return [
        None if rng.random() < 0.05 else "".join(rng.choices(vocabulary, k=rng.randrange(longest)))
        for _ in range(count)
    ]


row = st.one_of(
    st.none(),
    st.text(alphabet=st.characters(max_codepoint=0x7F), max_size=20),
    st.lists(st.sampled_from(["汉字", "发展", "后", "里", "A", " ", "😀", "。"]), max_size=12).map(
        "".join
    ),
    st.text(alphabet=st.characters(blacklist_categories=("Cs",)), max_size=20),
)


@settings(
    max_examples=150, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture]
)
@given(
    config=st.sampled_from(sorted(CONVERTERS)),
    type_name=st.sampled_from(sorted(TYPES)),
    rows=st.lists(row, max_size=30),
    repeat=st.sampled_from([1, 1, 1, 3000]),
    cut=st.tuples(st.integers(0, 40), st.integers(0, 40)),
    chunks=st.integers(1, 4),
)
def test_columns_convert_like_convert(monkeypatch, config, type_name, rows, repeat, cut, chunks):
    """Any layout: slices, chunks, the three types, and columns long enough
    to convert on two threads."""
    monkeypatch.setenv("LUMO_THREADS", "2")
    converter = CONVERTERS[config]
    rows = rows * repeat
    array = pa.array(rows, type=TYPES[type_name])
    start = min(cut[0], len(rows))
    array = array.slice(start, max(0, len(rows) - start - cut[1]))
    wanted = expected(converter, array.to_pylist())
    step = max(1, len(array) // chunks)
    pieces = [array.slice(i, step) for i in range(0, len(array), step)] or [array]
    chunked = pa.chunked_array(pieces, type=TYPES[type_name])
    for data in (array, chunked):
        result = pa.chunked_array(converter.convert_arrow(data))
        assert result.to_pylist() == wanted
        assert result.type == TYPES[type_name]


@pytest.mark.parametrize("threads", [1, 2, 3])
def test_long_columns_across_rounds_and_threads(monkeypatch, threads):
    """A column of several rounds, with rows longer than a thread's share."""
    converter = CONVERTERS["s2twp"]
    rows = sample_rows(1, 60_000, 200) + ["汉字" * PIECE, None, ""] + sample_rows(2, 20_000, 40)
    wanted = expected(converter, rows)
    monkeypatch.setenv("LUMO_THREADS", str(threads))
    for type_ in TYPES.values():
        assert converted(converter, pa.array(rows, type=type_)) == wanted


@pytest.mark.huge
@pytest.mark.skipif(os.environ.get("LUMO_HUGE_TESTS") != "1", reason="LUMO_HUGE_TESTS=1 runs it")
@pytest.mark.skipif(available_bytes() < 6 << 30, reason="needs 6 GB available")
def test_strings_past_two_gib_come_back_large_strings():
    """A string column whose result passes 32-bit offsets: every chunk of
    it comes back large_string."""
    converter = CONVERTERS["s2t"].with_custom({"后": "后后"})
    row = "后" * (1 << 18)  # 768 KiB; its result twice that
    column = pa.chunked_array([pa.array(["汉"]), pa.array([row] * 1500), pa.array([None, "里"])])
    result = pa.chunked_array(converter.convert_arrow(column))
    assert result.type == pa.large_string()
    assert [len(chunk) for chunk in result.chunks] == [1, 1500, 2]
    assert result.chunk(0).to_pylist() == ["漢"] and result.chunk(2).to_pylist() == [None, "裏"]
    assert result.chunk(1)[1499].as_py() == 2 * row
    pc = pytest.importorskip("pyarrow.compute")
    assert pc.sum(pc.binary_length(result.chunk(1))).as_py() == 1500 * 6 << 18


def test_results_are_read_without_copies_and_outlive_their_object():
    converter = CONVERTERS["s2t"]
    result = converter.convert_arrow(pa.array(["汉字", None, "头发很长的中文句子在这里"]))
    # Exported three times, and unconsumed capsules dropped.
    first, second, third = pa.array(result), pa.array(result), pa.chunked_array(result)
    result.__arrow_c_array__(), result.__arrow_c_stream__(None)
    del result
    gc.collect()
    wanted = expected(converter, ["汉字", None, "头发很长的中文句子在这里"])
    assert first.to_pylist() == second.to_pylist() == third.to_pylist() == wanted
    # The exports share one data buffer: none was copied.
    assert first.buffers()[2].address == second.buffers()[2].address
    assert third.chunk(0).buffers()[2].address == first.buffers()[2].address


def test_tables_of_one_column_keep_their_shape():
    converter = CONVERTERS["s2t"]
    table = pa.table({"title": pa.chunked_array([["汉字", None], ["发展"]])})
    result = pa.table(converter.convert_arrow(table))
    assert result.column_names == ["title"]
    assert result.column("title").to_pylist() == ["漢字", None, "發展"]
    batch = pa.record_batch({"t": pa.array(["后来", "里"], type=pa.large_string())})
    assert pa.record_batch(converter.convert_arrow(batch)).to_pydict() == {"t": ["後來", "裏"]}
    # Missing rows of the struct itself, and a slice of it.
    strings = pa.array(["汉", "发", None, "后"], type=pa.string_view())
    rows = pa.StructArray.from_arrays(
        [strings], names=["s"], mask=pa.array([False, True, False, False])
    )
    result = pa.array(converter.convert_arrow(rows.slice(1)))
    assert result.to_pylist() == [None, {"s": None}, {"s": "後"}]
    assert result.type == pa.struct([("s", pa.string_view())])


def test_one_array_offers_an_array_and_a_stream_a_stream():
    converter = CONVERTERS["s2t"]
    one = converter.convert_arrow(pa.array(["汉字"]))
    many = converter.convert_arrow(pa.chunked_array([["汉字"], ["发"]]))
    assert hasattr(one, "__arrow_c_array__") and hasattr(one, "__arrow_c_stream__")
    assert not hasattr(many, "__arrow_c_array__") and hasattr(many, "__arrow_c_stream__")
    for kind in (type(one), type(many)):
        with pytest.raises(TypeError):
            kind()


def test_polars_series_round_trip():
    pl = pytest.importorskip("polars")
    series = pl.Series("name", ["汉字", None, "发展"])
    result = pl.Series(CONVERTERS["s2t"].convert_arrow(series))
    assert result.to_list() == ["漢字", None, "發展"]
    via_pyarrow = pa.chunked_array(CONVERTERS["s2t"].convert_arrow(series))
    assert pl.from_arrow(via_pyarrow).to_list() == ["漢字", None, "發展"]


def test_duckdb_relation_round_trip():
    duckdb = pytest.importorskip("duckdb")
    relation = duckdb.sql("select * from (values ('汉字'), (null), ('发展')) t(s)")
    converted_relation = CONVERTERS["s2t"].convert_arrow(relation)  # noqa: F841
    rows = duckdb.sql("select s from converted_relation").fetchall()
    assert rows == [("漢字",), (None,), ("發展",)]


def test_nanoarrow_round_trip():
    na = pytest.importorskip("nanoarrow")
    array = na.c_array(["汉字", None, "发展"], na.string())
    result = na.Array(CONVERTERS["s2t"].convert_arrow(array))
    assert result.to_pylist() == ["漢字", None, "發展"]


def test_pandas_arrow_dtype_column():
    pd = pytest.importorskip("pandas")
    column = pd.Series(["汉字", None, "发展"], dtype=pd.ArrowDtype(pa.string()))
    data = pa.array(CONVERTERS["s2t"].convert_arrow(pa.array(column)))
    result = pd.Series(data, dtype=pd.ArrowDtype(data.type))
    assert result.isna().tolist() == [False, True, False]
    assert result.dropna().tolist() == ["漢字", "發展"]


class ArrowSchema(ctypes.Structure):
    _fields_ = [("format", ctypes.c_char_p), ("name", ctypes.c_char_p),
                ("metadata", ctypes.c_char_p), ("flags", ctypes.c_int64),
                ("n_children", ctypes.c_int64), ("children", ctypes.c_void_p),
                ("dictionary", ctypes.c_void_p), ("release", ctypes.c_void_p),
                ("private_data", ctypes.c_void_p)]  # fmt: skip


class ArrowArray(ctypes.Structure):
    _fields_ = [("length", ctypes.c_int64), ("null_count", ctypes.c_int64),
                ("offset", ctypes.c_int64), ("n_buffers", ctypes.c_int64),
                ("n_children", ctypes.c_int64), ("buffers", ctypes.c_void_p),
                ("children", ctypes.c_void_p), ("dictionary", ctypes.c_void_p),
                ("release", ctypes.c_void_p), ("private_data", ctypes.c_void_p)]  # fmt: skip


@ctypes.CFUNCTYPE(None, ctypes.POINTER(ArrowSchema))
def release_schema(schema):
    schema.contents.release = None


@ctypes.CFUNCTYPE(None, ctypes.POINTER(ArrowArray))
def release_array(array):
    array.contents.release = None


new_capsule = ctypes.pythonapi.PyCapsule_New
new_capsule.restype = ctypes.py_object
new_capsule.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]


class Crafted:
    """An array built by hand, as no library would let a broken one be:
    `buffers` are bytes or None, after a validity bitmap of None."""

    def __init__(self, format_, length, buffers, offset=0):
        self.data = [None if b is None else ctypes.create_string_buffer(b, len(b)) for b in buffers]
        self.pointers = (ctypes.c_void_p * (len(buffers) + 1))(
            None, *(None if b is None else ctypes.addressof(b) for b in self.data)
        )
        self.schema = ArrowSchema(format_, b"", None, 2, 0, None, None, None, None)
        self.array = ArrowArray(length, 0, offset, len(buffers) + 1, 0, None, None, None, None)
        self.array.buffers = ctypes.addressof(self.pointers)
        self.schema.release = ctypes.cast(release_schema, ctypes.c_void_p).value
        self.array.release = ctypes.cast(release_array, ctypes.c_void_p).value

    def __arrow_c_array__(self, requested_schema=None):
        return (
            new_capsule(ctypes.addressof(self.schema), b"arrow_schema", None),
            new_capsule(ctypes.addressof(self.array), b"arrow_array", None),
        )


def offsets(*values, wide=False):
    return struct.pack(f"<{len(values)}{'q' if wide else 'i'}", *values)


def view(length, buffer=0, offset=0, data=b""):
    if length <= 12:
        return struct.pack("<i12s", length, data)
    return struct.pack("<i4sii", length, data[:4], buffer, offset)


@pytest.mark.parametrize("type_", [pa.string(), pa.large_string(), pa.string_view()])
@pytest.mark.parametrize(
    "rows, row",
    [
        ([b"ok", b"\xe6\xb1", b"x" * 20], 3),
        # Bytes that are UTF-8 only joined: a character cut between rows.
        ([b"ok", b"\xe6", b"\xb1\x89" * 9], 3),
        ([b"\xe6\xb1\x89" * 5 + b"\xe6", b"\xb1\x89", None], 2),
        ([None, b"\x80", b"\xe6\xb1\x89"], 3),
    ],
)
def test_invalid_utf8_names_the_row_across_chunks(type_, rows, row):
    good = pa.array(["汉字", "a"], type=type_)
    binary = {pa.string(): pa.binary(), pa.large_string(): pa.large_binary()}
    bad = pa.array(rows, type=binary.get(type_, pa.binary_view())).view(type_)
    with pytest.raises(ValueError, match=rf"row {row} is not valid UTF-8"):
        CONVERTERS["s2t"].convert_arrow(pa.chunked_array([good, bad], type=type_))


@pytest.mark.parametrize(
    "array, fault",
    [
        (Crafted(b"u", 2, [offsets(0, 4, 2), b"abcd"]), "offsets that decrease"),
        (Crafted(b"u", 1, [offsets(-1, 2), b"abcd"]), "offsets that decrease"),
        (Crafted(b"U", 2, [offsets(0, 9, 3, wide=True), b"abc"]), "offsets that decrease"),
        (Crafted(b"u", 1, [None, b"abcd"]), "lacks a buffer"),
        (Crafted(b"u", 1, [offsets(0, 2), None]), "lacks a buffer"),
        (Crafted(b"u", -1, [offsets(0), b""]), "negative length"),
        (Crafted(b"u", 1, [offsets(0, 1), b"a"], offset=-1), "negative length"),
        (Crafted(b"u", 1, [offsets(0, 1)]), "lacks a buffer"),
        (
            Crafted(b"vu", 2, [view(2, data=b"ab") + view(20, 0, 10, b"abcd"), b"x" * 16,
                               offsets(16, wide=True)]),
            "a view outside its data buffers",
        ),
        (
            Crafted(b"vu", 1, [view(13, 1, 0, b"abcd"), b"x" * 16, offsets(16, wide=True)]),
            "a view outside its data buffers",
        ),
        (Crafted(b"vu", 1, [view(-1), offsets(wide=True)]), "a view outside its data buffers"),
        (Crafted(b"vu", 1, [view(13, 0, 0, b"abcd"), None, offsets(16, wide=True)]), "lacks"),
    ],
)  # fmt: skip
def test_broken_layouts_raise_value_error(array, fault):
    with pytest.raises(ValueError, match=fault):
        CONVERTERS["s2t"].convert_arrow(array)
    assert array.schema.release is None and array.array.release is None  # released once taken


@pytest.mark.parametrize(
    "data, name",
    [
        (pa.array([1, 2]), "int64"),
        (pa.array([b"x"]), "binary"),
        (pa.array(["a"]).dictionary_encode(), "dictionary"),
        (pa.array([["a"]]), "list"),
        (pa.table({"a": ["x"], "b": ["y"]}), "struct"),
        (pa.array([1.5], type=pa.float32()), "float32"),
    ],
)
def test_other_types_raise_type_error_naming_them(data, name):
    message = f"convert_arrow needs string, large_string or string_view values, not {name}$"
    with pytest.raises(TypeError, match=message):
        CONVERTERS["s2t"].convert_arrow(data)


@pytest.mark.parametrize("data", [None, ["汉字"], "汉字"])
def test_objects_without_the_interface_raise_type_error(data):
    with pytest.raises(TypeError, match="__arrow_c_stream__ or __arrow_c_array__"):
        CONVERTERS["s2t"].convert_arrow(data)


def test_a_failing_stream_raises_its_error():
    schema = pa.schema([("s", pa.string())])

    def batches():
        yield pa.record_batch([pa.array(["汉字"])], schema=schema)
        raise ValueError("the producer broke")

    reader = pa.RecordBatchReader.from_batches(schema, batches())
    with pytest.raises(OSError, match="the producer broke"):
        CONVERTERS["s2t"].convert_arrow(reader)


def test_another_thread_runs_during_a_long_conversion(monkeypatch):
    """A thread counting while a column converts makes progress comparable
    to counting alone; with the interpreter lock held it would make none."""
    monkeypatch.setenv("LUMO_THREADS", "1")
    converter = CONVERTERS["s2twp"]
    column = pa.array(sample_rows(3, 100_000, 60))
    during, alone = progress_during(lambda: converter.convert_arrow(column))
    assert during > alone / 4, (during, alone)


def test_threads_converting_columns_at_once(monkeypatch):
    monkeypatch.setenv("LUMO_THREADS", "2")
    columns = [
        (CONVERTERS[config], pa.array(sample_rows(seed, 3000, 60), type=type_))
        for seed, (config, type_) in enumerate(
            zip(["s2t", "s2twp", "t2s", "jp2t"] * 2, list(TYPES.values()) * 3)
        )
    ]
    wanted = [expected(converter, column.to_pylist()) for converter, column in columns]
    results = [None] * len(columns)

    def work(index):
        converter, column = columns[index]
        results[index] = all(converted(converter, column) == wanted[index] for _ in range(5))

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(columns))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [True] * len(columns)
