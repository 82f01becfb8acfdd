"""Converter.convert_batch: a list of texts converted as convert converts each,
with the interpreter lock released and threads across rows."""

import random
import threading
from pathlib import Path

import lumo
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from support import progress_during

CONFIGS = lumo.configs()
CONVERTERS = {name: lumo.Converter(name) for name in CONFIGS}
DICTIONARY_DIR = Path(__file__).resolve().parents[2] / "data" / "dictionary"
PHRASES = sorted(
    line.split("\t", 1)[0]
    for name in ("STPhrases", "TSPhrases", "TWPhrases")
    for line in (DICTIONARY_DIR / f"{name}.txt").read_text(encoding="utf-8").splitlines()
    if line and not line.startswith("#") and "\t" in line
)
PIECE = 1 << 16  # units a thread's share holds, at least


def expected(converter, texts):
    return [None if text is None else converter.convert(text) for text in texts]


# Rows of every str kind: ASCII, Latin-1, two-byte, four-byte, and mixed.
row = st.one_of(
    st.none(),
    st.text(alphabet=st.characters(max_codepoint=0x7F)),
    st.text(alphabet=st.characters(max_codepoint=0xFF)),
    st.lists(st.sampled_from(PHRASES + ["A", " ", "é", "😀", "𠀀", "。"])).map("".join),
    st.text(alphabet=st.characters(blacklist_categories=("Cs",))),
)


@settings(max_examples=200, deadline=None)
@given(config=st.sampled_from(CONFIGS), texts=st.lists(row, max_size=20))
def test_rows_convert_like_convert(config, texts):
    converter = CONVERTERS[config]
    result = converter.convert_batch(texts)
    assert type(result) is list
    assert result == expected(converter, texts)
    assert all(type(text) in (str, type(None)) for text in result)


def rows(seed, count, longest):
    """Rows of dictionary phrases and other characters, some missing."""
    rng = random.Random(seed)
    vocabulary = PHRASES + ["A", "OK ", "\n", "é", "の", "😀", "𠀀", "。"]
    found = []
    for _ in range(count):
        if rng.random() < 0.05:
            found.append(None)
            continue
        length = rng.randrange(longest)
        found.append("".join(rng.choice(vocabulary) for _ in range(length)))
    return found


# Long enough to cut into shares for several threads.
LONG_BATCH = rows(1, 4000, 40) + ["x" * PIECE, "汉字" * PIECE, "", None] + rows(2, 2000, 40)


@pytest.mark.parametrize("config", ["s2t", "s2twp", "t2s", "jp2t"])
@pytest.mark.parametrize("threads", [1, 2, 3, 8])
def test_long_batches_convert_like_convert_on_any_threads(monkeypatch, config, threads):
    converter = CONVERTERS[config]
    monkeypatch.setenv("LUMO_THREADS", "1")
    wanted = expected(converter, LONG_BATCH)
    monkeypatch.setenv("LUMO_THREADS", str(threads))
    assert converter.convert_batch(LONG_BATCH) == wanted


class Text(str):
    pass


@pytest.mark.parametrize(
    "make",
    [list, tuple, iter, lambda texts: (text for text in texts), lambda texts: dict.fromkeys(texts)],
    ids=["list", "tuple", "iterator", "generator", "dict"],
)
def test_sequences_and_iterables(make):
    converter = CONVERTERS["s2t"]
    texts = ["汉字", None, "", Text("发展"), "😀后"]
    assert converter.convert_batch(make(texts)) == expected(converter, texts)


@pytest.mark.parametrize(
    "texts, index, type_name",
    [
        ([1], 0, "int"),
        (["汉字", None, b"x"], 2, "bytes"),
        (["a"] * 5 + [["a"]], 5, "list"),
        # past the first of the rounds a long batch is converted in
        (["汉字" * 10] * 20000 + [1.5], 20000, "float"),
    ],
)
def test_wrong_items_raise_type_error_naming_their_index(texts, index, type_name):
    with pytest.raises(
        TypeError, match=rf"^texts\[{index}\] must be str or None, not {type_name}$"
    ):
        CONVERTERS["s2t"].convert_batch(iter(texts))


@pytest.mark.parametrize("texts", [None, 3, [["汉字"]], "汉字", b"ab", bytearray(b"ab")])
def test_wrong_arguments_raise_type_error(texts):
    with pytest.raises(TypeError):
        CONVERTERS["s2t"].convert_batch(texts)


def test_lone_surrogates_raise_the_interpreters_error():
    with pytest.raises(UnicodeEncodeError):
        CONVERTERS["s2t"].convert_batch(["汉字", "a\ud800"])


def test_errors_of_the_iteration_pass_on():
    def failing():
        yield "汉字"
        raise KeyError("stop")

    with pytest.raises(KeyError):
        CONVERTERS["s2t"].convert_batch(failing())


def test_another_thread_runs_during_a_long_batch(monkeypatch):
    """A thread counting while a batch converts makes progress comparable to
    counting alone; with the interpreter lock held it would make none."""
    monkeypatch.setenv("LUMO_THREADS", "1")
    converter = CONVERTERS["s2twp"]
    texts = rows(3, 50_000, 60)
    during, alone = progress_during(lambda: converter.convert_batch(texts))
    assert during > alone / 4, (during, alone)


def test_threads_converting_batches_at_once(monkeypatch):
    monkeypatch.setenv("LUMO_THREADS", "2")
    batches = [(CONVERTERS[config], rows(seed, 3000, 60)) for seed, config in
               enumerate(["s2t", "s2twp", "t2s", "tw2sp"] * 2)]  # fmt: skip
    wanted = [expected(converter, texts) for converter, texts in batches]
    results = [None] * len(batches)

    def work(index):
        converter, texts = batches[index]
        results[index] = all(converter.convert_batch(texts) == wanted[index] for _ in range(5))

    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(batches))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [True] * len(batches)
