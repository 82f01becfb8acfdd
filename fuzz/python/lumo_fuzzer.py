#!/usr/bin/env python3
"""Random calls on lumo's public surface, under atheris.

Each input makes a few calls to lumo's functions, Converter's methods and
Detection's properties, with arguments of every kind: str of every width,
with lone surrogates, str subclasses, bytes, numbers, None, hostile
iterables and mappings (raising, lying about their length, changing as
they are read), very long and empty values, and a random LUMO_THREADS.
Streams are entered again by their own iterator, a chunk's destructor and
a second thread while they run: each such call is refused, and what came
out is in order a prefix of the conversion, all of it unless the refusal
was let through.
A call either returns a result of the right shape or raises TypeError,
ValueError (UnicodeEncodeError among them), MemoryError, or the Hostile
error an argument raised itself. Anything else, a SystemError or
lumo.InternalError included, stops the run as a finding; so does any
sanitizer report from the module, which scripts/fuzz.sh builds with
AddressSanitizer and UndefinedBehaviorSanitizer.

Run it through scripts/fuzz.sh python SECONDS.
"""

import os
import sys
import threading
import time

import atheris
import lumo

ALLOWED = (TypeError, ValueError, MemoryError)
CONFIGS = lumo.configs()
LOCALES = lumo.locales()
THREADS = ["1", "2", "3", " 4 ", "0", "+4", "4x", "", "-1", "1025", "99999999999999999999999"]
SAMPLES = [
    "我的U盘坏了",
    "一口吃成甦",
    "計算機程序员",
    "フランス語",
    "乾燥\n后天",
    "abc",
    "é",
    "\U0002a6a5",
]


class Hostile(Exception):
    """What hostile arguments raise; lumo must let it through."""


class WeirdStr(str):
    """A str subclass whose methods all refuse: lumo must read its storage."""

    def __str__(self):
        raise Hostile("__str__")

    def __iter__(self):
        raise Hostile("__iter__")

    def __len__(self):
        raise Hostile("__len__")

    def __eq__(self, other):
        raise Hostile("__eq__")

    def __hash__(self):
        return 0

    def encode(self, *args, **kwargs):
        raise Hostile("encode")


class HostileIterable:
    """Yields some items, then raises, or grows the list it walks."""

    def __init__(self, items, fail_at, grow):
        self.items, self.fail_at, self.grow = list(items), fail_at, grow

    def __iter__(self):
        for index, item in enumerate(self.items):
            if index == self.fail_at:
                raise Hostile("__next__")
            if self.grow and len(self.items) < 64:
                self.items.append(item)
            yield item


class HostileMapping(dict):
    """A dict whose reading methods raise or lie, by `mode`."""

    def __init__(self, pairs, mode):
        super().__init__(pairs)
        self.mode = mode

    def __len__(self):
        return sys.maxsize if self.mode == 0 else super().__len__()

    def keys(self):
        if self.mode == 1:
            raise Hostile("keys")
        return super().keys()

    def items(self):
        if self.mode == 2:
            raise Hostile("items")
        if self.mode == 3:
            self.clear()
        return super().items()

    def __getitem__(self, key):
        if self.mode == 4:
            raise Hostile("__getitem__")
        return super().__getitem__(key)

    def __iter__(self):
        if self.mode == 5:
            raise Hostile("__iter__")
        return super().__iter__()


class Chunk(str):
    """A chunk whose destructor enters the stream reading it."""

    def __del__(self):
        if Entering.current is not None:
            Entering.current.enter(list)


class Entering:
    """Chunks that enter the stream reading them, by a plan drawn from the
    fuzzer: 1 and 2 enter it with next() and list() and catch the refusal,
    3 lets it through, 4 sleeps so that another thread can try, 5 yields a
    Chunk."""

    current = None

    def __init__(self, chunks, plan):
        self.chunks, self.plan, self.stream = iter(chunks), iter(plan), None
        self.passed = self.entered = False

    def enter(self, call):
        """The refusal of call(stream); a destructor cannot raise, so a call
        that got in is recorded."""
        try:
            call(self.stream)
        except ValueError as error:
            return error
        self.entered = True
        return ValueError("entered")

    def __iter__(self):
        return self

    def __next__(self):
        step = next(self.plan, 0)
        if step in (1, 2, 3):
            error = self.enter(next if step == 1 else list)
            if step == 3:
                self.passed = True
                raise error
        elif step == 4:
            time.sleep(0.0001)
        chunk = next(self.chunks)
        return Chunk(chunk) if step == 5 and type(chunk) is str else chunk


def shared_stream(make, converter):
    """A stream of a drawn kind over chunks that enter it, read by one or two
    threads."""
    kind = make.fdp.ConsumeIntInRange(0, 2)
    texts = [make.pick(SAMPLES) + make.fdp.ConsumeUnicodeNoSurrogates(8) for _ in range(8)]
    plan = [make.fdp.ConsumeIntInRange(0, 5) for _ in range(10)]
    source = Entering([text.encode() for text in texts] if kind == 1 else texts, plan)
    method = [converter.convert_stream, converter.convert_utf8_stream, converter.explain_stream]
    source.stream = stream = method[kind](source)
    Entering.current = source
    out = []

    def read():
        try:
            out.extend(stream)  # in the order the stream gives, as extend appends at once
        except ValueError as error:
            assert "already executing" in str(error), error

    second = threading.Thread(target=read) if make.fdp.ConsumeBool() else None
    if second is not None:
        second.start()
    read()
    if second is not None:
        second.join()
    Entering.current = None
    assert not source.entered, "a running stream was entered"
    if kind == 1:
        got = b"".join(out).decode()
    elif kind == 2:
        got = "".join(target for _, target, _ in out)
    else:
        got = "".join(out)
    whole = converter.convert("".join(texts))
    # A reader refused leaves the stream to the other, which reads it to the
    # end unless the iterator let a refusal through.
    assert got == whole if not source.passed else whole.startswith(got), (got, whole)


class Maker:
    """Arguments drawn from the fuzzer's bytes."""

    def __init__(self, data):
        self.fdp = atheris.FuzzedDataProvider(data)

    def pick(self, choices):
        return choices[self.fdp.ConsumeIntInRange(0, len(choices) - 1)]

    def text(self, depth=0):
        kind = self.fdp.ConsumeIntInRange(0, 15)
        length = self.fdp.ConsumeIntInRange(0, 40)
        if kind == 0:
            return self.fdp.ConsumeUnicode(length)  # ASCII, UCS-2 or UCS-4, surrogates too
        if kind == 1:
            return self.fdp.ConsumeUnicodeNoSurrogates(length)
        if kind == 2:
            return "".join(self.pick(SAMPLES) for _ in range(length))
        if kind == 3:  # past the length at which texts are cut for threads
            return self.pick(SAMPLES) * self.fdp.ConsumeIntInRange(1, 40_000)
        if kind == 4:
            return ""
        if kind == 5:
            return WeirdStr(self.text(depth + 1) if depth < 2 else "汉字")
        if kind == 6:
            return self.fdp.ConsumeBytes(length)
        if kind == 7:
            return self.pick([None, 0, 1.5, ["汉"], object(), b"", bytearray(b"abc")])
        if kind == 8:
            return self.pick(CONFIGS) if self.fdp.ConsumeBool() else self.pick(LOCALES)
        if kind == 9:  # a long run of one character no key starts with
            return "\x00" * self.fdp.ConsumeIntInRange(0, 200_000)
        return self.fdp.ConsumeUnicodeNoSurrogates(length) + self.pick(SAMPLES)

    def name(self):
        kind = self.fdp.ConsumeIntInRange(0, 3)
        if kind == 0:
            return self.text()
        return self.pick(CONFIGS if kind < 3 else LOCALES)

    def entries(self, depth=0):
        count = self.fdp.ConsumeIntInRange(0, 5)
        pairs = [(self.text(), self.text()) for _ in range(count)]
        kind = self.fdp.ConsumeIntInRange(0, 9)
        if kind == 0:
            return dict(pairs)
        if kind == 1:
            return pairs
        if kind == 2:
            return tuple(pairs)
        if kind == 3:
            return "|".join(f"{key} {value}" for key, value in pairs if isinstance(key, str))
        if kind == 4:
            return HostileIterable(pairs, self.fdp.ConsumeIntInRange(-1, 5), self.fdp.ConsumeBool())
        if kind == 5:
            return HostileMapping(
                {k: v for k, v in pairs if isinstance(k, str)}, self.fdp.ConsumeIntInRange(0, 6)
            )
        if kind == 6:  # pairs of the wrong shape
            return [self.pick([(), ("a",), ("a", "b", "c"), "ab", ["a", "b"], None])] * count
        if kind == 7:
            return iter(pairs)
        if kind == 8 and depth == 0:
            return [[key, value] for key, value in pairs]
        return self.text()


def check_result(result, kind):
    if kind is str:
        assert type(result) is str, type(result)
    elif kind is lumo.Detection:
        if result is not None:
            assert type(result) is lumo.Detection
            assert result.region in LOCALES, result.region
            assert 0 <= result.confidence <= 255 and type(result.confidence) is int
            repr(result)


def one_call(make, converters):
    os.environ["LUMO_THREADS"] = make.pick(THREADS)
    action = make.fdp.ConsumeIntInRange(0, 15)
    if action == 0:
        check_result(lumo.convert(make.text(), make.name()), str)
    elif action == 1:
        check_result(lumo.convert_region(make.text(), make.name(), make.name()), str)
    elif action == 2:
        check_result(lumo.convert_with_custom(make.text(), make.name(), make.entries()), str)
    elif action == 3:
        check_result(lumo.detect(make.text()), lumo.Detection)
    elif action == 4:
        assert lumo.configs() == CONFIGS and lumo.locales() == LOCALES
        assert isinstance(lumo.__version__, str)
    elif action == 5:
        converter = lumo.Converter(make.name())
        assert converter.config in CONFIGS
        converters.append(converter)
    elif action == 6:
        source, target = make.name(), make.name()
        made = (
            lumo.Converter.for_region(source, target)
            if make.fdp.ConsumeBool()
            else lumo.Converter.for_region(source, to=target)
        )
        converters.append(made)
    elif action == 7:
        converters.append(make.pick(converters).with_custom(make.entries()))
    elif action == 8:
        converter = make.pick(converters)
        text = make.text()
        result = converter.convert_with_custom(text, make.entries())
        check_result(result, str)
    elif action == 9:
        converter = make.pick(converters)
        chunks = [make.text() for _ in range(make.fdp.ConsumeIntInRange(0, 6))]
        source = HostileIterable(chunks, make.fdp.ConsumeIntInRange(-1, 6), False)
        pieces = list(converter.convert_stream(source if make.fdp.ConsumeBool() else chunks))
        for piece in pieces:
            check_result(piece, str)
        if all(type(chunk) is str for chunk in chunks) and source.fail_at == -1:
            assert "".join(pieces) == converter.convert("".join(chunks))
    elif action == 10:  # wrong arity and keywords
        make.pick([lumo.convert, lumo.detect, lumo.Converter, lumo.convert_region])(
            *[make.text() for _ in range(make.fdp.ConsumeIntInRange(0, 4))]
        )
    elif action == 11:
        lumo.convert(text=make.text(), config=make.name())
    elif action == 13:
        shared_stream(make, make.pick(converters))
    else:
        converter = make.pick(converters)
        text = make.text()
        result = converter.convert(text)
        check_result(result, str)
        if type(text) is str and make.fdp.ConsumeBool():  # a str subclass converts alike
            assert converter.convert(WeirdStr(text)) == result


BASE = [lumo.Converter(config) for config in ("s2t", "t2s", "s2twp", "jp2t")]


def test_one_input(data):
    make = Maker(data)
    converters = list(BASE)
    for _ in range(make.fdp.ConsumeIntInRange(1, 4)):
        try:
            one_call(make, converters)
        except (Hostile, *ALLOWED):
            pass


def main():
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
