"""Streams used while they run: entered again from one of their own
callbacks, or shared by threads. Such a call raises ValueError, as a
generator does, and changes nothing: what came out is always, in order, a
prefix of the conversion, and all of it when no error reached the stream's
own consumer."""

import itertools
import random
import threading
import time

import lumo
import pytest

CONVERTER = lumo.Converter("s2twp")
LINES = ["我们的U盘坏了，汉字和语言。", "头发后来干燥", "鼠标和软件", "用U盘", "发"]
TEXT = "".join(f"{line}{number}\n" for number, line in enumerate(LINES * 40))
WHOLE = CONVERTER.convert(TEXT)
BUSY = "already executing"


class Kind:
    """One of the three streams, with chunks of its type and its output as text."""

    def __init__(self, method):
        self.method = method
        self.utf8 = method == "convert_utf8_stream"

    def __repr__(self):
        return self.method

    def stream(self, chunks):
        return getattr(CONVERTER, self.method)(chunks)

    def chunks(self, rng=None, size=7):
        data = TEXT.encode() if self.utf8 else TEXT
        cuts = range(0, len(data), size) if rng is None else rng.sample(range(len(data)), 60)
        bounds = sorted({0, len(data), *cuts})
        return [data[a:b] for a, b in zip(bounds, bounds[1:])]

    def text(self, out):
        if self.utf8:
            return b"".join(out).decode()
        if self.method == "explain_stream":
            return "".join(target for _, target, _ in out)
        return "".join(out)


KINDS = [Kind(method) for method in ("convert_stream", "convert_utf8_stream", "explain_stream")]


class Chunk:
    """Chunk types whose destructor calls `hook`."""

    hook = staticmethod(lambda: None)

    class Str(str):
        def __del__(self):
            Chunk.hook()

    class Bytes(bytes):
        def __del__(self):
            Chunk.hook()


class Chunks:
    """A class iterator over `chunks` that calls `before()` at each step; a
    type it returns wraps the chunk."""

    def __init__(self, chunks, before):
        self.chunks, self.before = iter(chunks), before

    def __iter__(self):
        return self

    def __next__(self):
        wrap = self.before()
        chunk = next(self.chunks)
        return wrap(chunk) if wrap else chunk


def in_threads(target, count):
    threads = [threading.Thread(target=target, args=(number,)) for number in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()


def drain(stream, out):
    """Extends `out` with the stream's pieces; the ValueError it raised, if any."""
    try:
        out.extend(stream)
    except ValueError as error:
        return error
    return None


def refused(stream, enter, refusals):
    """Runs enter(stream), which must be refused, and records the refusal."""
    with pytest.raises(ValueError, match=BUSY) as raised:
        enter(stream)
    refusals.append(raised.value)


@pytest.mark.parametrize("kind", KINDS, ids=repr)
@pytest.mark.parametrize("enter", [list, next], ids=["list", "next"])
@pytest.mark.parametrize("passed_on", [True, False], ids=["raised", "caught"])
def test_iterator_entering_its_stream(kind, enter, passed_on):
    refusals, calls = [], itertools.count(1)

    def before():
        if next(calls) % 5 == 2:
            refused(stream, enter, refusals)
            if passed_on:
                raise refusals[-1]

    stream = kind.stream(Chunks(kind.chunks(), before))
    out = []
    error = drain(stream, out)
    assert refusals
    if passed_on:
        # The iterator's error ends the stream, after the pieces before it.
        assert error is refusals[0] and len(refusals) == 1
        assert WHOLE.startswith(kind.text(out)) and list(stream) == []
    else:
        assert error is None and kind.text(out) == WHOLE


@pytest.mark.parametrize("kind", KINDS, ids=repr)
def test_generator_entering_its_stream_from_finally(kind):
    def chunks():
        try:
            yield from kind.chunks()
        finally:
            next(stream)

    stream = kind.stream(chunks())
    out = []
    assert BUSY in str(drain(stream, out))
    assert WHOLE.startswith(kind.text(out)) and list(stream) == []


@pytest.mark.parametrize("kind", KINDS, ids=repr)
def test_chunk_destructor_entering_its_stream(monkeypatch, kind):
    refusals = []
    stream = kind.stream(
        (Chunk.Bytes if kind.utf8 else Chunk.Str)(chunk) for chunk in kind.chunks()
    )
    monkeypatch.setattr(Chunk, "hook", lambda: refused(stream, list, refusals))
    out = []
    assert drain(stream, out) is None
    assert kind.text(out) == WHOLE and len(refusals) == len(kind.chunks())


@pytest.mark.parametrize("kind", KINDS, ids=repr)
@pytest.mark.parametrize("source", ["generator", "class"])
def test_two_threads_sharing_a_stream(kind, source):
    def slow_chunks():
        for chunk in kind.chunks(size=50):
            time.sleep(0.001)
            yield chunk

    if source == "generator":
        stream = kind.stream(slow_chunks())
    else:
        stream = kind.stream(Chunks(kind.chunks(size=50), lambda: time.sleep(0.001)))
    out, errors = [], []
    in_threads(lambda _: errors.append(drain(stream, out)), 2)
    # list.extend appends each piece as the stream returns it, before any
    # other thread runs: `out` is in the order the stream gave the pieces.
    assert kind.text(out) == WHOLE
    assert all(error is None or BUSY in str(error) for error in errors)


@pytest.mark.parametrize("kind", KINDS, ids=repr)
@pytest.mark.parametrize("seed", range(4))
def test_threads_taking_turns_at_random_on_a_stream(monkeypatch, kind, seed):
    """Four threads take a few pieces at a time from one stream, whose
    iterator sleeps, enters the stream, or hands out chunks whose destructor
    enters it, at random; an iterator that lets a refusal through ends the
    stream with it."""
    source_random = random.Random(seed)
    passes_on = seed % 2 == 1
    refusals, passed = [], []

    def enter():
        (next if source_random.random() < 0.5 else list)(stream)

    def entering_chunk():
        try:
            enter()
        except ValueError as error:
            refusals.append(error)

    def before():
        draw = source_random.random()
        if draw < 0.3:
            time.sleep(0.0005)
        elif draw < 0.5:
            try:
                enter()
            except ValueError as error:
                refusals.append(error)
                if passes_on and source_random.random() < 0.1:
                    passed.append(error)
                    raise
        elif draw < 0.6:
            return Chunk.Bytes if kind.utf8 else Chunk.Str
        return None

    stream = kind.stream(Chunks(kind.chunks(source_random), before))
    out, errors = [], []

    def consume(number):
        own_random = random.Random(seed * 10 + number)
        for _ in range(own_random.randint(0, 30)):
            try:
                out.extend(itertools.islice(stream, own_random.randint(1, 4)))
            except ValueError as error:
                errors.append(error)
        while (error := drain(stream, out)) is not None:
            errors.append(error)
            time.sleep(0.0002)

    monkeypatch.setattr(Chunk, "hook", entering_chunk)
    in_threads(consume, 4)
    assert all(BUSY in str(error) for error in errors + refusals)
    text = kind.text(out)
    assert text == WHOLE if not passed else WHOLE.startswith(text)


def test_an_exporter_that_fails_raises_its_own_error():
    # A chunk exporting its bytes may run code (a __buffer__ method) that
    # fails, on entering the stream for one: that error, not a TypeError.
    with pytest.raises(BufferError, match="contiguous"):
        list(CONVERTER.convert_utf8_stream([b"x", memoryview(b"abcd")[::2]]))
