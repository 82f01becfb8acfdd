"""Soak lumo: many mixed calls in one process, watching its resident memory.

    python scripts/soak.py [--calls N] [--warm-up N] [--limit-kb KB] [--seed S]

Makes N calls (10**6 by default) drawn at random from every function and
method of the module, with every shape of custom entries, the error paths
(bad names, non-str arguments, lone surrogates, bad custom entries, failing
chunk iterables), long texts converted on threads under changing
LUMO_THREADS, and converters shared by several Python threads. The resident
set size (RSS) is taken after the warm-up calls (a tenth of them by
default), then sampled along the way, each time in the same state (see
settled_rss_bytes); the exit status is 1 when it grows
by more than --limit-kb (1024) past the warm-up figure, 2 when a call
returns a wrong result or raises the wrong exception.

--no-check makes the calls and reports resident memory as it is, without
judging it (for sessions under valgrind, where it means nothing).
"""

from __future__ import annotations

import argparse
import ctypes
import gc
import itertools
import os
import random
import sys
import threading
import time
import types
from collections.abc import Iterator, Mapping

import lumo

PAGE = os.sysconf("SC_PAGE_SIZE")

# Configurations whose converters build in well under a millisecond; the
# others (a large dictionary each) are built now and then only.
CHEAP_CONFIGS = ("t2tw", "tw2t", "t2hk", "hk2t", "t2jp", "jp2t", "t2s", "hk2sp")

TEXTS = (
    "",
    "hello, world",
    "café crème",  # Latin-1
    "我的U盘坏了",
    "汉字头发，干燥的天气里面条卷了。\n鼠标和键盘",
    "乾燥的天氣裡麵條捲了，頭髮",
    "隨身碟壞了，滑鼠",
    "漢字の勉強をしています",
    "𠮷野家で牛丼、𩸽の塩焼き",  # beyond the BMP
    "mixed 中文 text with ASCII 和 数字 123\r\n",
)
KNOWN = (("s2t", "汉字头发", "漢字頭髮"), ("s2twp", "我的U盘坏了", "我的隨身碟壞了"))
THREAD_VALUES = (None, "1", "2", " 2 ", "4", "0", "+2", "x")


def rss_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * PAGE


def settled_rss_bytes() -> int:
    """RSS in the same state each time: lumo keeps up to 8 MB of blocks freed
    by builds, whichever the last builds freed, so every configuration is
    built once in the same order first; the garbage collector runs, and the
    C allocator gives its free pages back."""
    for name in lumo.configs():
        lumo.Converter(name)
    gc.collect()
    try:
        ctypes.CDLL(None).malloc_trim(0)
    except (OSError, AttributeError):
        pass
    return rss_bytes()


class Words(Mapping):
    """A mapping that is not a dict."""

    def __init__(self, pairs):
        self._pairs = dict(pairs)

    def __getitem__(self, key):
        return self._pairs[key]

    def __iter__(self):
        return iter(self._pairs)

    def __len__(self):
        return len(self._pairs)


class WrongResult(Exception):
    pass


class Soak:
    def __init__(self, seed: int):
        self.rng = random.Random(seed)
        self.converters = {name: lumo.Converter(name) for name in lumo.configs()}
        self.routes = []  # the (from, to) pairs of regions that have a configuration
        for route in itertools.permutations(lumo.locales(), 2):
            try:
                lumo.Converter.for_region(*route)
                self.routes.append(route)
            except ValueError:
                pass
        pairs = [("鼠标", "滑鼠"), ("汉字", "漢字!"), ("甲", "乙"), ("的U盘", "V"), ("空", "")]
        self.good_customs = (
            lambda: dict(pairs),
            lambda: list(pairs),
            lambda: tuple(pairs),
            lambda: (pair for pair in pairs),
            lambda: "鼠标 滑鼠|汉字 漢字 !| 甲 乙 |",
            lambda: Words(pairs),
            lambda: types.MappingProxyType(dict(pairs)),
            lambda: [("头" * 300, "x")],
        )
        self.bad_customs = (
            (lambda: "no-space-here", ValueError),
            (lambda: [("a", "b", "c")], ValueError),
            (lambda: [("a", 1)], TypeError),
            (lambda: [1, 2], ValueError),
            (lambda: {"a": None}, ValueError),
            (lambda: 42, ValueError),
            (lambda: {}, ValueError),
        )
        # Over 131072 characters each, so converted on threads: two bytes a
        # character, four, and Latin-1 (through a UTF-8 copy).
        base = "".join(TEXTS[3:8]) * 4000
        self.long_texts = (base, base + "𠮷", "café crème\n" * 14000)
        self.calls = self._call_table()
        self.weights = [weight for weight, _ in self.calls]

    def _call_table(self):
        return [
            (300, self.convert),
            (40, self.convert_known),
            (25, self.convert_with_custom_method),
            (20, self.with_custom),
            (25, self.module_convert),
            (20, self.module_convert_region),
            (20, self.module_convert_with_custom),
            (20, self.build_converter),
            (15, self.build_for_region),
            (40, self.config),
            (150, self.detect),
            (40, self.detection_fields),
            (30, self.listings),
            (50, self.stream),
            (25, self.bad_name),
            (25, self.bad_type),
            (20, self.surrogate),
            (25, self.bad_custom),
            (15, self.bad_stream),
            (2, self.long_conversion),
            (1, self.long_stream),
            (2, self.long_detection),
            (3, self.python_threads),
        ]

    def text(self) -> str:
        return self.rng.choice(TEXTS)

    def converter(self) -> lumo.Converter:
        return self.converters[self.rng.choice(lumo.configs())]

    def config_to_build(self) -> str:
        if self.rng.random() < 0.05:
            return self.rng.choice(lumo.configs())
        return self.rng.choice(CHEAP_CONFIGS)

    def expect_error(self, error_type, call, *args) -> None:
        try:
            call(*args)
        except error_type:
            return
        except Exception as error:
            raise WrongResult(f"{call.__name__}: {error!r}, not {error_type.__name__}") from None
        raise WrongResult(f"{call.__name__}: no {error_type.__name__}")

    # One call each.
    def convert(self):
        self.converter().convert(self.text())

    def convert_known(self):
        config, text, expected = self.rng.choice(KNOWN)
        if self.converters[config].convert(text) != expected:
            raise WrongResult(f"{config} of {text}")

    def convert_with_custom_method(self):
        converter = lumo.Converter(self.config_to_build())
        converter.convert_with_custom(self.text(), self.rng.choice(self.good_customs)())

    def with_custom(self):
        converter = lumo.Converter(self.config_to_build())
        converter.with_custom(self.rng.choice(self.good_customs)()).convert(self.text())

    def module_convert(self):
        lumo.convert(self.text(), self.config_to_build())

    def module_convert_region(self):
        lumo.convert_region(self.text(), *self.rng.choice(self.routes))

    def module_convert_with_custom(self):
        custom = self.rng.choice(self.good_customs)()
        lumo.convert_with_custom(self.text(), self.config_to_build(), custom)

    def build_converter(self):
        lumo.Converter(self.config_to_build())

    def build_for_region(self):
        if self.rng.random() < 0.8:
            lumo.Converter.for_region(*self.rng.choice(self.routes))
        else:
            self.expect_error(ValueError, lumo.Converter.for_region, "cn-t", "cn-t")

    def config(self):
        _ = self.converter().config

    def detect(self):
        lumo.detect(self.text())

    def detection_fields(self):
        found = lumo.detect("我的隨身碟壞了")
        if found.region != "cn-tw" or not 0 <= found.confidence <= 255 or not repr(found):
            raise WrongResult(repr(found))

    def listings(self):
        if (
            lumo.configs() != list(self.converters)
            or len(lumo.locales()) != 6
            or not lumo.__version__
        ):
            raise WrongResult("listings")

    def stream(self):
        text = self.text()
        cut = self.rng.randrange(len(text) + 1)
        "".join(self.converter().convert_stream(iter([text[:cut], text[cut:], ""])))

    def bad_name(self):
        if self.rng.random() < 0.5:
            self.expect_error(ValueError, lumo.Converter, "s2x")
        else:
            self.expect_error(ValueError, lumo.convert_region, "x", "cn-s", "mars")

    def bad_type(self):
        converter = self.converter()
        call, args = self.rng.choice(
            ((converter.convert, (b"bytes",)), (lumo.detect, (None,)), (lumo.convert, ("x", 7)))
        )
        self.expect_error(TypeError, call, *args)

    def surrogate(self):
        text = "汉字\ud800" if self.rng.random() < 0.5 else "\udfff𠮷"
        self.expect_error(UnicodeEncodeError, self.converter().convert, text)

    def bad_custom(self):
        make, error_type = self.rng.choice(self.bad_customs)
        self.expect_error(error_type, lumo.convert_with_custom, "甲", "t2jp", make())

    def bad_stream(self):
        def failing() -> Iterator[str]:
            yield "汉字"
            raise KeyError("chunk")

        choice = self.rng.randrange(3)
        converter = self.converter()
        if choice == 0:
            self.expect_error(TypeError, list, converter.convert_stream(["汉字", 3]))
        elif choice == 1:
            self.expect_error(UnicodeEncodeError, list, converter.convert_stream(["a", "\ud800"]))
        else:
            self.expect_error(KeyError, list, converter.convert_stream(failing()))

    def with_threads(self, call):
        value = self.rng.choice(THREAD_VALUES)
        if value is None:
            os.environ.pop("LUMO_THREADS", None)
        else:
            os.environ["LUMO_THREADS"] = value
        try:
            return call()
        finally:
            os.environ.pop("LUMO_THREADS", None)

    def long_conversion(self):
        text = self.rng.choice(self.long_texts)
        self.with_threads(lambda: self.converters["s2t"].convert(text))

    def long_stream(self):
        text = self.rng.choice(self.long_texts)
        step = len(text) // 3 + 1
        chunks = [text[i : i + step] for i in range(0, len(text), step)]
        self.with_threads(lambda: "".join(self.converters["s2twp"].convert_stream(chunks)))

    def long_detection(self):
        lumo.detect(self.rng.choice(self.long_texts))

    def python_threads(self):
        converter = self.converter()
        texts = TEXTS

        def work():
            for text in texts:
                converter.convert(text)
                lumo.detect(text)

        threads = [threading.Thread(target=work) for _ in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    def run(self, count: int) -> None:
        for call in self.rng.choices([call for _, call in self.calls], self.weights, k=count):
            call()


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--calls", type=int, default=10**6)
    parser.add_argument("--warm-up", type=int, help="calls before the first figure (calls/10)")
    parser.add_argument("--samples", type=int, default=20)
    parser.add_argument("--limit-kb", type=int, default=1024)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--no-check", action="store_true", help="report memory, do not judge it")
    args = parser.parse_args(argv[1:])
    warm_up = args.calls // 10 if args.warm_up is None else min(args.warm_up, args.calls)
    soak = Soak(args.seed)
    start = time.perf_counter()
    try:
        measure = rss_bytes if args.no_check else settled_rss_bytes
        soak.run(warm_up)
        baseline = measure()
        print(f"after {warm_up} warm-up calls: RSS {baseline / 1024:.0f} KB", flush=True)
        samples = []
        remaining = args.calls - warm_up
        for i in range(args.samples):
            batch = remaining // args.samples + (1 if i < remaining % args.samples else 0)
            soak.run(batch)
            samples.append(measure())
    except WrongResult as error:
        print(f"wrong result: {error}", file=sys.stderr)
        return 2
    seconds = time.perf_counter() - start
    growth = max(samples, default=baseline) - baseline
    print("samples (KB):", " ".join(f"{sample / 1024:.0f}" for sample in samples))
    print(
        f"{args.calls} calls in {seconds:.1f} s; RSS at the end {samples[-1] / 1024:.0f} KB,"
        f" largest growth past the warm-up {growth / 1024:+.0f} KB"
        f" (limit {args.limit_kb} KB)"
    )
    if not args.no_check and growth > args.limit_kb * 1024:
        print("RSS grew past the limit", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
