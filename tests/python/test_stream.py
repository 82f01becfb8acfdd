"""Converter.convert_stream: a text that arrives in chunks converts exactly
as the whole does, piece by piece as it comes."""

import itertools
import re

import lumo
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from test_long_texts import TEXT, convert_with

# Words that convert, keys that start with ASCII or span a line feed, line
# endings of each kind, characters beyond the BMP, a byte-order mark.
VOCABULARY = [
    "我们的", "U盘", "坏了", "用U盘", "B超", "汉字", "後來", "乾燥", "头发", "干",
    "發", "里", "の", "カ", "OK", "A", " ", "\n", "\r\n", "\r", "😀", "𠀀", "\ufeff",
    "。", "著", "台", "隨身碟", "滑鼠", "鼠标", "头发后来" * 6 + "干",
]  # fmt: skip
CUSTOM = [
    None,
    {"OK": "好", "坏了\n汉": "X", "盘": "", "核": "核心"},
    {"A": "B", "头发后来" * 6 + "干": "长"},  # the longest key: a cut must see past its end
]


def chunked(text, cuts):
    bounds = sorted({0, len(text), *(cut % (len(text) + 1) for cut in cuts)})
    return [text[a:b] for a, b in zip(bounds, bounds[1:])]


@settings(max_examples=300, deadline=None)
@given(
    st.sampled_from(lumo.configs()),
    st.sampled_from(CUSTOM),
    st.lists(st.sampled_from(VOCABULARY), max_size=150).map("".join),
    st.lists(st.integers(min_value=0, max_value=1000), max_size=30),
)
def test_joined_pieces_are_the_whole_conversion(config, custom, text, cuts):
    converter = lumo.Converter(config)
    if custom is not None:
        converter = converter.with_custom(custom)
    chunks = chunked(text, cuts)
    assert "".join(converter.convert_stream(chunks)) == converter.convert(text)
    assert "".join(converter.convert_stream(iter(chunks))) == converter.convert(text)
    # In UTF-8, chunks cut characters too.
    data = text.encode()
    pieces = converter.convert_utf8_stream(chunked(data, cuts))
    assert b"".join(pieces) == converter.convert(text).encode()


@pytest.mark.parametrize("config", lumo.configs())
def test_long_chunks_convert_on_threads_like_the_whole(monkeypatch, config):
    converter = lumo.Converter(config)
    whole = convert_with(monkeypatch, 1, lambda: converter.convert(TEXT))
    chunks = chunked(TEXT, range(0, len(TEXT), 150_001))
    assert convert_with(monkeypatch, 2, lambda: "".join(converter.convert_stream(chunks))) == whole


@pytest.mark.parametrize("config", ["s2t", "s2twp", "t2s", "t2jp"])
def test_pieces_come_while_chunks_are_read(config):
    line = "我们的U盘坏了，汉字和语言。後來乾燥。\n"
    read = []

    def lines():
        for number in itertools.count():
            read.append(number)
            yield line

    stream = lumo.Converter(config).convert_stream(lines())
    behind = []
    for _ in range(200):
        before = len(read)
        next(stream)
        behind.append(len(read) - before)
    # Each piece waits for at most a key's length of text after it.
    assert max(behind[1:]) <= 4


@pytest.mark.parametrize("utf8", [False, True])
@pytest.mark.parametrize(
    "line", ["这是一个测试\n", "我们的U盘坏了，汉字\n", "Uber 用U盘\n", "\0\n"]
)
def test_lines_come_out_as_they_arrive_where_keys_start_with_ascii(utf8, line):
    read = []

    def lines():
        for number in itertools.count(1):
            read.append(number)
            yield line.encode() if utf8 else line

    converter = lumo.Converter("s2t")
    stream = (converter.convert_utf8_stream if utf8 else converter.convert_stream)(
        lines(), max_held=100
    )
    expected = converter.convert(line)
    for number in range(1, 30):
        piece = next(stream)
        assert (piece.decode() if utf8 else piece, len(read)) == (expected, number)


def failing():
    yield "汉字\n"
    raise OSError("disk gone")


@pytest.mark.parametrize(
    ("chunks", "error", "message"),
    [
        (["汉字\n", "后来\n", 5, "x"], TypeError, "argument 'chunks[2]'"),
        (["汉字\n", b"x"], TypeError, "argument 'chunks[1]'"),
        (["汉字\n", "a\ud800b", "x"], UnicodeEncodeError, "surrogates not allowed"),
        (["\udc00"], UnicodeEncodeError, "surrogates not allowed"),
        (failing(), OSError, "disk gone"),
    ],
)
def test_bad_chunks_raise_when_reached_and_end_the_stream(chunks, error, message):
    requested = []

    def recorded():
        for chunk in chunks:
            requested.append(chunk)
            yield chunk

    converter = lumo.Converter("t2s")
    stream = converter.convert_stream(recorded())
    pieces = []
    with pytest.raises(error, match=re.escape(message)):
        for piece in stream:
            pieces.append(piece)
    # The lines before the bad chunk came out; nothing after it was read.
    good = [chunk for chunk in requested if isinstance(chunk, str) and chunk.endswith("\n")]
    assert "".join(pieces) == converter.convert("".join(good))
    assert "x" not in requested
    assert list(stream) == []


@pytest.mark.parametrize(
    ("chunks", "error", "position"),
    [
        ([b"\n", b"ab\xe6\xb1", b"\x89c\xff"], "invalid start byte", 4),
        ([b"\n", b"x\xed\xa0\x80"], "invalid continuation byte", 1),  # a surrogate
        ([b"\n", b"x\xf4\x90\x80\x80"], "invalid continuation byte", 1),  # past U+10FFFF
        ([b"\n", b"x\xc0\xaf"], "invalid start byte", 1),  # overlong
        ([b"\n", bytearray(b"\xe6"), memoryview(b"\xb1")], "unexpected end of data", 0),
        # A character held back over chunks shorter than it, then broken.
        ([b"\n", b"\xf0\x90", b"\x80", b"A\xe6\xb1\x89"], "invalid continuation byte", 0),
    ],
)
def test_utf8_chunks_that_are_not_utf8_raise_as_decoding_does(chunks, error, position):
    stream = lumo.Converter("t2s").convert_utf8_stream(chunks)
    assert next(stream) == b"\n"  # what came in chunks before the bad bytes
    before: list[bytes] = []
    with pytest.raises(UnicodeDecodeError, match=error) as raised:
        before.extend(stream)  # and what the bad bytes' chunk holds before them, cut after b
    assert b"".join(before) in (b"", b"ab")
    assert raised.value.start == position
    with pytest.raises(TypeError, match=r"chunks\[1\]': a bytes-like object is required"):
        list(lumo.Converter("t2s").convert_utf8_stream([b"x", "x"]))


def test_chunks_must_be_iterable():
    with pytest.raises(TypeError, match="not iterable"):
        lumo.Converter("s2t").convert_stream(5)


# A custom key "A" starting with ASCII leaves a stretch of A's no cut at all.
UNCUT = lumo.Converter("t2jp").with_custom({"A": "B"})


@pytest.mark.parametrize(
    ("method", "as_chunk"),
    [
        ("convert_stream", str),
        ("explain_stream", str),
        ("convert_utf8_stream", str.encode),
    ],
)
def test_a_stream_with_no_cut_stops_past_max_held(method, as_chunk):
    chunks = [as_chunk(text) for text in ["xxxx", "A" * 1000, "A" * 1000, "A" * 1000, "x"]]
    stream = getattr(UNCUT, method)(iter(chunks), max_held=2500)
    pieces = []
    with pytest.raises(ValueError, match="no place to cut the text within max_held=2500 "):
        pieces.extend(stream)
    assert list(stream) == []  # the error ended it
    expected = getattr(UNCUT, method)(iter(chunks[:1]), max_held=None)
    assert pieces == list(expected)  # what came before is exact
    unbounded = getattr(UNCUT, method)(iter(chunks), max_held=None)
    assert len(list(unbounded)) > 0


@pytest.mark.parametrize(
    ("max_held", "error"),
    [(0, ValueError), (-1, ValueError), ("1", TypeError), (1.0, TypeError)],
)
def test_max_held_must_be_a_positive_int_or_none(max_held, error):
    with pytest.raises(error, match="max_held"):
        UNCUT.convert_stream([], max_held=max_held)
    with pytest.raises(TypeError, match="takes 1 positional argument but 2 were given"):
        UNCUT.convert_stream([], 10)


@pytest.mark.parametrize("config", ["s2t", "s2twp", "tw2sp", "t2jp"])
@pytest.mark.parametrize("text", ["\0" * 5000, "Uber BSU 用U盘 " * 500])
def test_stretches_without_line_or_segment_cuts_stream_in_small_memory(config, text):
    converter = lumo.Converter(config)
    chunks = [text[i : i + 700] for i in range(0, len(text), 700)] * 20
    pieces = list(converter.convert_stream(iter(chunks), max_held=2000))
    assert "".join(pieces) == converter.convert("".join(chunks))
