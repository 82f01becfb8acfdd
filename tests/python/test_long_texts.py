"""Long texts: read without their UTF-8 form, cut into pieces and converted
on several threads."""

import functools
import random
import sys
from pathlib import Path

import lumo
import pytest

DICTIONARY_DIR = Path(__file__).resolve().parents[2] / "data" / "dictionary"
PIECE = 1 << 16  # characters per piece, at least


def words(name):
    found = []
    for line in (DICTIONARY_DIR / f"{name}.txt").read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#") and "\t" in line:
            key, values = line.split("\t", 1)
            found += [key, *values.split()]
    return found


def long_text(seed, extra=(), size=3 * PIECE + 1000):
    """Dictionary words with ASCII, kana, line feeds and rare characters."""
    rng = random.Random(seed)
    vocabulary = (
        words("STPhrases") + words("TWPhrases") + words("HKVariants") + words("JPShinjitaiPhrases")
    )
    vocabulary += ["\n", "\n", "A", "OK ", "の", "カ", "。", "\u3000", *extra]
    pieces = []
    length = 0
    while length < size:
        piece = rng.choice(vocabulary)
        pieces.append(piece)
        length += len(piece)
    return "".join(pieces)


TEXT = long_text(1)
ASTRAL_TEXT = long_text(2, extra=["😀", "𠀀"])


def convert_with(monkeypatch, threads, call):
    monkeypatch.setenv("LUMO_THREADS", str(threads))
    return call()


@pytest.mark.parametrize("config", lumo.configs())
@pytest.mark.parametrize("text", [TEXT, ASTRAL_TEXT], ids=["two-byte", "four-byte"])
def test_pieces_convert_like_the_whole(monkeypatch, config, text):
    converter = lumo.Converter(config)
    whole = convert_with(monkeypatch, 1, lambda: converter.convert(text))
    assert convert_with(monkeypatch, 3, lambda: converter.convert(text)) == whole
    assert convert_with(monkeypatch, 2, lambda: lumo.convert(text, config)) == whole


@pytest.mark.parametrize(
    "entries",
    [
        {"\n新": "<LF>"},  # a key holding a line feed
        [("OK", "好")],  # a key led by ASCII
        "の カ|カ の",
    ],
    ids=["line-feed-key", "ascii-key", "string"],
)
@pytest.mark.parametrize("config", ["s2t", "t2jp", "tw2sp"])
def test_custom_words_convert_like_the_whole(monkeypatch, config, entries):
    text = TEXT.replace("\n", "\n新", 50)
    converter = lumo.Converter(config)
    whole = convert_with(monkeypatch, 1, lambda: converter.convert_with_custom(text, entries))
    assert (
        convert_with(monkeypatch, 4, lambda: converter.convert_with_custom(text, entries)) == whole
    )
    assert (
        convert_with(monkeypatch, 4, lambda: converter.with_custom(entries).convert(text)) == whole
    )
    parallel = convert_with(monkeypatch, 4, lambda: lumo.convert_with_custom(text, config, entries))
    assert parallel == whole


# Equality between str objects holds only between equal kinds, so these
# also check that each result is stored in the narrowest width.
@pytest.mark.parametrize(
    ("value", "narrowest"),
    [("a", "a"), ("é", "é"), ("中", "中"), ("😀", "😀")],
    ids=["ascii", "latin-1", "two-byte", "four-byte"],
)
def test_results_take_the_narrowest_width(monkeypatch, value, narrowest):
    text = "的" * (3 * PIECE)
    result = convert_with(
        monkeypatch, 3, lambda: lumo.convert_with_custom(text, "s2t", {"的": value})
    )
    assert result == narrowest * (3 * PIECE)
    assert result.isascii() == (value == "a")


UTF8_COPY_CALLS = {
    "convert": lambda text: lumo.convert(text, "s2t"),
    "convert_region": lambda text: lumo.convert_region(text, "cn-s", "cn-tw"),
    "convert_with_custom": lambda text: lumo.convert_with_custom(text, "t2s", {"é": "中"}),
    "Converter.convert": lambda text: lumo.Converter("s2twp").convert(text),
    "Converter.convert_with_custom": (
        lambda text: lumo.Converter("jp2t").convert_with_custom(text, "a b")
    ),
}


@pytest.mark.parametrize("threads", [1, 2])
@pytest.mark.parametrize(
    "text",
    [TEXT[:100], TEXT[: 1 << 12], TEXT, "😀" + TEXT[:100], "café" * 10, "café" * PIECE],
    ids=["short", "middling", "long", "short-four-byte", "latin-1", "long-latin-1"],
)
@pytest.mark.parametrize("call", UTF8_COPY_CALLS.values(), ids=UTF8_COPY_CALLS)
def test_the_text_keeps_no_utf8_copy(monkeypatch, threads, text, call):
    text = "".join(text)  # a copy never encoded
    size = sys.getsizeof(text)
    convert_with(monkeypatch, threads, lambda: call(text))
    assert sys.getsizeof(text) == size


@functools.cache
def converter_for(config):
    return lumo.Converter(config)


# A lone surrogate anywhere, however the text would be cut, raises what
# encoding the text raises, with the same position, and before the custom
# entries are looked at.
SURROGATES = {
    "lone-high": "\udbfb\ufabc",  # then a character decoding past U+10FFFF as a pair
    "lone-low": "\udc00中",
    "reversed-pair": "\udc00\ud800",
}


@pytest.mark.parametrize("config", lumo.configs())
@pytest.mark.parametrize("shape", SURROGATES.values(), ids=SURROGATES)
@pytest.mark.parametrize("where", ["start", "before-cut", "at-cut", "end", "short"])
@pytest.mark.parametrize("kind", ["two-byte", "four-byte"])
def test_lone_surrogates_raise_as_encoding_does(monkeypatch, config, shape, where, kind):
    size = 100 if where == "short" else 4 * PIECE
    body = ("汉" if kind == "two-byte" else "𠀀") * size
    calls = [
        converter_for(config).convert,
        lambda text: converter_for(config).convert_with_custom(text, 42),
        lambda text: lumo.convert(text, config),
        lambda text: lumo.convert_region(text, "cn-s", "cn-t"),
    ]
    for threads in (1, 2, 3):
        at = {"start": 0, "before-cut": size // threads - 1, "at-cut": size // threads}
        at = at.get(where, size)
        text = body[:at] + shape + body[at:]
        with pytest.raises(UnicodeEncodeError) as expected:
            text.encode("utf-8")
        monkeypatch.setenv("LUMO_THREADS", str(threads))
        for call in calls:
            with pytest.raises(UnicodeEncodeError) as raised:
                call(text)
            assert str(raised.value) == str(expected.value)
            assert raised.value.start == expected.value.start


@pytest.mark.parametrize(
    "setting",
    ["", "0", "-2", "+2", "many", "2x", "0x2", " 2", "2 ", "\t2\n", "99999999999999999999"],
)
def test_thread_settings_never_change_the_result(monkeypatch, setting):
    expected = convert_with(monkeypatch, 1, lambda: lumo.convert(TEXT, "s2twp"))
    assert convert_with(monkeypatch, setting, lambda: lumo.convert(TEXT, "s2twp")) == expected


# A line that converts the same alone and repeated: its repetitions meet
# where no key reaches over. Short repetitions take the plain UTF-8 path,
# long ones the direct one.
LINE = "中國人民銀行發佈了新的貨幣政策，我们的U盘坏了。A型肝炎、鑰匙和😀\n"


@pytest.mark.parametrize("config", lumo.configs())
@pytest.mark.parametrize("line", [LINE, LINE.replace("😀", "…")], ids=["four-byte", "two-byte"])
def test_long_texts_convert_like_their_repeated_line(monkeypatch, config, line):
    expected = lumo.convert(line, config)
    assert len(line * 8) < 1 << 12
    assert lumo.convert(line * 8, config) == expected * 8
    repeats = 3 * PIECE // len(line) + 1
    for threads in (1, 3):
        monkeypatch.setenv("LUMO_THREADS", str(threads))
        assert lumo.convert(line * repeats, config) == expected * repeats


# Two-byte text whose conversion holds a character beyond U+FFFF here and
# there: the pieces come out in UTF-16 with a few surrogate pairs, and the
# result takes four bytes per character.
@pytest.mark.parametrize("every", [1, 7, 40])
def test_two_byte_text_with_a_few_astral_values(monkeypatch, every):
    line = "".join("的" if i % every == 0 else "中國人民銀行發佈"[i % 8] for i in range(97)) + "\n"
    entries = {"的": "𠀀"}
    expected = lumo.convert_with_custom(line, "s2t", entries)
    assert "𠀀" in expected
    repeats = 3 * PIECE // len(line) + 1
    for threads in (1, 3):
        monkeypatch.setenv("LUMO_THREADS", str(threads))
        assert lumo.convert_with_custom(line * repeats, "s2t", entries) == expected * repeats


# Converters whose main dictionary is large are built on two threads when
# allowed; the result must not depend on it.
@pytest.mark.parametrize("config", ["s2t", "s2twp", "s2hkp"])
def test_converters_built_on_one_or_two_threads_agree(monkeypatch, config):
    built = {}
    for threads in (1, 2):
        monkeypatch.setenv("LUMO_THREADS", str(threads))
        built[threads] = lumo.Converter(config)
    monkeypatch.setenv("LUMO_THREADS", "1")
    assert built[2].convert(TEXT) == built[1].convert(TEXT)
