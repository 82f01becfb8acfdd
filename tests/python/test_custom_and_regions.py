"""Conversion by region pair, and custom entries in all their accepted shapes."""

import functools
import gc
import itertools
import json
import sys
import threading
import time
import unicodedata
from collections import UserDict
from pathlib import Path
from types import MappingProxyType

import lumo
import pytest
from hypothesis import given
from hypothesis import strategies as st

LOCALES = ["cn-s", "cn-t", "cn-tw", "cn-hk", "jp-t", "jp-n"]
LIST = Path(__file__).resolve().parents[2] / "data" / "config" / "configurations.json"
ROUTES = {
    (source, target): entry["name"]
    for entry in json.loads(LIST.read_text(encoding="utf-8"))
    for source, target in entry["routes"]
}
SAMPLE = "我的U盘坏了，鼠标和头发。學國乗車着想衛生"
UNUSABLE = "entries must be a list of [key, value] pairs, a dict, or a 'key value|...' string"
NO_SPACE = "dict entry {}: expected 'key value' separated by a space, got "


def failure(call):
    """The type and text of the exception that `call` raises."""
    with pytest.raises(Exception) as info:
        call()
    return type(info.value), str(info.value)


@pytest.mark.parametrize(("source", "target"), list(itertools.product(LOCALES, repeat=2)))
def test_every_region_pair(source, target):
    routed = ROUTES.get((source, target))
    if routed is None:
        message = (f"no conversion needed: {source} -> {target}" if source == target else
                   f"no direct conversion from '{source}' to '{target}'; "
                   f"try an intermediate (e.g. {source} -> cn-t -> {target})")  # fmt: skip
        assert failure(lambda: lumo.convert_region("", source, target)) == (ValueError, message)
        assert failure(lambda: lumo.Converter.for_region(source, target)) == (ValueError, message)
        return
    expected = lumo.convert(SAMPLE, routed)
    assert lumo.convert_region(SAMPLE, source, target) == expected
    keywords = {"from": source, "to": target}
    # A static method: called on an instance, it still receives no instance.
    for converter in (lumo.Converter.for_region(source, target),
                      lumo.Converter("t2s").for_region(**keywords)):  # fmt: skip
        assert (type(converter), converter.config) == (lumo.Converter, routed)
        assert converter.convert(SAMPLE) == expected


@pytest.mark.parametrize(
    ("source", "target", "named"),
    [("CN-S", "cn-t", "CN-S"), ("cn-TW", "cn-s", "cn-TW"), ("cn-tw ", "cn-s", "cn-tw "),
     ("xx", "yy", "xx"), ("cn-s", "xx", "xx"), ("cn-s\x00", "cn-t", "cn-s\x00")],
)  # fmt: skip
def test_unknown_region(source, target, named):
    assert lumo.locales() == LOCALES
    expected = (ValueError, f"unknown region '{named}'. Valid: {', '.join(LOCALES)}")
    assert failure(lambda: lumo.convert_region("汉", source, target)) == expected
    assert failure(lambda: lumo.Converter.for_region(source, target)) == expected
    # Every argument is read before routing.
    assert failure(lambda: lumo.convert_region(b"x", source, target))[0] is TypeError
    error, message = failure(lambda: lumo.Converter.for_region(source, None))
    assert error is TypeError and message.startswith("argument 'to': 'NoneType'")


def three_ways(text, config, entries):
    """The text converted through each custom-entry entry point."""
    converter = lumo.Converter(config)
    results = [
        lumo.convert_with_custom(text, config, entries),
        converter.with_custom(entries).convert(text),
        converter.convert_with_custom(text, entries),
    ]
    assert converter.convert(text) == lumo.convert(text, config)  # the instance is unchanged
    return results


class Pairs:
    """An iterable that is neither a sequence nor a dict."""

    def __init__(self, *pairs):
        self.pairs = pairs

    def __iter__(self):
        return iter(self.pairs)


class Unreadable(UserDict):
    """A mapping whose values cannot be read."""

    def __getitem__(self, key):
        return 1 // 0


def iter_property(exception):
    def fail(self):
        raise exception

    return type("Odd", (), {"__iter__": property(fail)})()


# Iteration overridden by list and tuple subclasses is honoured; a dict and a
# pair are read from their storage, whatever their methods say.
Text = type("Text", (str,), {"__str__": lambda self: "wrong"})
Dict = type("Dict", (dict,), {
    "items": lambda self: [("甲", "X")], "__iter__": lambda self: iter(["甲"]),
    "__getitem__": lambda self, key: "X", "__len__": lambda self: 0,
})  # fmt: skip
List = type("List", (list,), {"__iter__": lambda self: iter([("甲", "X")])})
Tuple = type("Tuple", (tuple,), {"__iter__": lambda self: iter([("甲", "X")])})
Pair = type("Pair", (tuple,), {"__getitem__": lambda self, i: "X", "__len__": lambda self: 5})


@pytest.mark.parametrize(
    ("entries", "text", "expected"),
    [
        ({"甲": "乙", "丙": "丁"}, "甲丙", "乙丁"),
        ("甲 乙|丙 丁", "甲丙", "乙丁"),
        ("||  甲   乙 丙  ||", "甲", "乙 丙"),
        ([["甲", "乙"], ("丙", "丁")], "甲丙", "乙丁"),
        ((("甲", "乙"),), "甲", "乙"),
        (Pairs(("甲", "乙")), "甲", "乙"),
        ({("甲", "乙")}, "甲", "乙"),
        ({"中": "X"}, "中国", "X國"),  # shadows the longer built-in phrase
        ({"甲": ""}, "甲乙甲", "乙"),
        ({"": "X"}, "汉", "漢"),
        ([["甲", "乙"], ["甲", "丙"]], "甲", "丙"),
        ({"OK": "好"}, "说OK了", "說OK了"),  # OK is cut out, and ASCII-led segments stay
        (Dict({"甲": "乙"}), "甲", "乙"),
        (Text("甲 乙"), "甲", "乙"),
        ({Text("甲"): Text("乙")}, "甲", "乙"),
        ([(Text("甲"), Text("乙"))], "甲", "乙"),
        ([Pair(("甲", "乙"))], "甲", "乙"),
        (List([("甲", "乙")]), "甲", "X"),
        (List(), "甲", "X"),
        (Tuple([("甲", "乙")]), "甲", "X"),
        # Other mappings mean their items, as for a dict.
        (MappingProxyType({"甲": "乙", "丙": "丁"}), "甲丙", "乙丁"),
        (UserDict({"甲": "乙"}), "甲", "乙"),
        # A long key that the text follows from every position before it
        # matches, or never matches.
        ({"汉" * 300 + "字": "X"}, "汉" * 1300 + "字汉", "漢" * 1000 + "X漢"),
        ({"汉" * 300 + "字": "X"}, "汉" * 2000, "漢" * 2000),
    ],
)
def test_entries_shapes_and_effects(entries, text, expected):
    assert three_ways(text, "s2t", entries) == [expected] * 3


def test_custom_value_is_converted_by_later_stages():
    assert three_ways("老鼠", "s2twp", {"老鼠": "鼠標"}) == ["滑鼠"] * 3


@pytest.mark.parametrize(
    ("entries", "error", "message"),
    [
        (5, ValueError, UNUSABLE),
        (iter_property(AttributeError("x")), ValueError, UNUSABLE),
        (iter_property(type("Sub", (AttributeError,), {})()), ValueError, UNUSABLE),
        ({}, ValueError, "custom dict is empty"),
        (Dict(), ValueError, "custom dict is empty"),
        (MappingProxyType({}), ValueError, "custom dict is empty"),
        (UserDict({"甲": 1}), ValueError, "dict values must be strings"),
        ("", ValueError, "custom dict string parsed to zero entries"),
        ([], ValueError, "custom entries list is empty"),
        ((), ValueError, "custom entries list is empty"),
        (Pairs(), ValueError, "custom entries iterator is empty"),
        ({"甲": 1}, ValueError, "dict values must be strings"),
        ({"甲": "乙", 1: "丙"}, ValueError, "dict keys must be strings"),
        ("a b||cd", ValueError, NO_SPACE.format(2) + '"cd"'),
        ([["甲", "乙"], ["丙"]], ValueError, "entries[1] must be a 2-element [key, value]"),
        ([["", "", ""]], ValueError, "entries[0] must be a 2-element [key, value]"),
        ([Text("甲乙")], ValueError, "entries[0] must be a [key, value] pair"),
        (Pairs(("a", "b"), {"a": "b"}), ValueError, "entries[1] must be a [key, value] pair"),
        (b"ab", ValueError, "entries[0] must be a [key, value] pair"),
        ([("", "乙")], ValueError, "entries[0] has an empty key"),
        ([[1, "乙"]], TypeError, "'int' object cannot be converted to 'PyString'"),
        ([("甲", b"x")], TypeError, "'bytes' object cannot be converted to 'PyString'"),
        ([["", None]], TypeError, "'NoneType' object cannot be converted to 'PyString'"),
    ],
)  # fmt: skip
def test_unusable_entries(entries, error, message):
    converter = lumo.Converter("s2t")
    assert failure(lambda: lumo.convert_with_custom("甲", "s2t", entries)) == (error, message)
    assert failure(lambda: converter.with_custom(entries)) == (error, message)
    assert failure(lambda: converter.convert_with_custom("甲", entries)) == (error, message)


WHITE_SPACE = {chr(c) for c in [*range(0x9, 0xE), 0x85, 0xA0, 0x1680, *range(0x2000, 0x200B),
                                0x2028, 0x2029, 0x202F, 0x205F, 0x3000]}  # fmt: skip
ESCAPES = {'"': '\\"', "\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n", "\0": "\\0"}


@pytest.mark.skipif(unicodedata.unidata_version != "14.0.0", reason="tables follow Unicode 14")
def test_every_character_in_a_bad_piece_is_trimmed_or_quoted():
    wrong = []
    for code in itertools.chain(range(0xD800), range(0xE000, 0x110000)):
        c = chr(code)
        if c in " |":
            continue
        if c in WHITE_SPACE:
            quoted = ""  # trimmed
        elif c in ESCAPES or c.isprintable():
            quoted = ESCAPES.get(c, c)
        else:
            quoted = f"\\u{{{code:x}}}"
        try:
            lumo.convert_with_custom("", "s2t", f"\u3000x{c}\u3000")
        except ValueError as error:
            if str(error) == NO_SPACE.format(0) + f'"x{quoted}"':
                continue
        wrong.append(hex(code))
    assert wrong == []


@pytest.mark.parametrize(
    ("text", "separator", "outcome"),
    [
        ("\u3000甲 乙 丙||丁 戊\n", "|", (("甲", "乙 丙"), ("丁", "戊"))),
        ("a|b c\r\n\n d  e ", "\n", (("a|b", "c"), ("d", "e"))),
        ("a b||cd", "|", (NO_SPACE.format(2) + '"cd"', 2, "cd")),
        ("a b\n\t甲\t乙 \nc", "\n", (NO_SPACE.format(1) + '"甲\\t乙"', 1, "甲\t乙")),
        (" | \u3000", "|", ("custom dict string parsed to zero entries",)),
        ("a b", "||", ("argument 'separator' must be one ASCII character",)),
        ("a b", "\xa6", ("argument 'separator' must be one ASCII character",)),
    ],
)
def test_custom_pairs_are_the_module_s_reading(text, separator, outcome):
    """The private reader the command uses: the pairs, or the module's
    ValueError with the number and text of a piece without a space."""
    read = functools.partial(lumo.Converter._custom_pairs, text, separator=separator)
    if isinstance(outcome[0], tuple):
        assert read() == outcome
        return
    with pytest.raises(ValueError) as raised:
        read()
    assert (str(raised.value), *vars(raised.value).values()) == outcome
    if separator == "|":
        assert failure(lambda: lumo.Converter("s2t").with_custom(text)) == (ValueError, outcome[0])


def fresh_pairs():
    yield ("甲", "乙")


@pytest.mark.parametrize(
    ("call", "error", "start"),
    [
        (lambda g: lumo.convert_with_custom("x", "nope", g), ValueError, "unknown config 'nope'"),
        (lambda g: lumo.convert_with_custom("x", "nope", 5), ValueError, "unknown config 'nope'"),
        (lambda g: lumo.convert_with_custom("x", 1, g), TypeError, "argument 'config'"),
        (lambda g: lumo.Converter("s2t").convert_with_custom(b"x", 5), TypeError,
         "argument 'text'"),
        (lambda g: lumo.Converter("s2t").convert_with_custom("\ud800", g), UnicodeEncodeError,
         "'utf-8'"),
    ],
)  # fmt: skip
def test_entries_are_read_last(call, error, start):
    entries = fresh_pairs()
    with pytest.raises(error) as info:
        call(entries)
    assert str(info.value).startswith(start)
    assert next(entries) == ("甲", "乙")  # untouched


def test_generators():
    assert lumo.convert_with_custom("甲", "s2t", fresh_pairs()) == "乙"
    used = fresh_pairs()
    list(used)
    assert failure(lambda: lumo.convert_with_custom("甲", "s2t", used)) == (
        ValueError, "custom entries iterator is empty")  # fmt: skip

    def reentrant():
        yield ("甲", lumo.convert("乙", "s2t"))
        yield ("丙", lumo.Converter("t2s").with_custom("𠀀 x").convert_with_custom("丁", "丁 丙"))

    assert lumo.Converter("s2t").with_custom(reentrant()).convert("甲丙") == "乙丙"


def test_entries_read_by_threads_sharing_a_converter():
    # Reading pairs lets the interpreter's lock go to threads that read
    # other pairs for the same converter: each call keeps its own.
    base = lumo.Converter("s2t")
    shared = [("甲", "乙")]
    results = {}

    def pairs(number):
        for key, value in [("丙", str(number)), *shared]:
            time.sleep(0.001)
            shared.append((f"{number}{key}", value))
            yield key, value

    def build(number):
        made = base.with_custom(pairs(number))
        results[number] = (made.convert("甲丙"), base.convert_with_custom("丙", pairs(number)))

    threads = [threading.Thread(target=build, args=(number,)) for number in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == {number: (f"乙{number}", str(number)) for number in range(4)}
    assert base.convert("甲丙") == "甲丙"


class Boom(Exception):
    pass


def failing_pairs():
    yield ("甲", "乙")
    raise Boom


@pytest.mark.parametrize(
    ("make", "error"),
    [
        (failing_pairs, Boom),
        (lambda: (1 // 0 for _ in "x"), ZeroDivisionError),
        (lambda: iter_property(KeyError("x")), KeyError),
        (lambda: iter_property(RecursionError()), RecursionError),
        (lambda: type("NoIter", (), {"__iter__": None})(), TypeError),  # not iterable
        (lambda: {"甲\ud800": "乙"}, UnicodeEncodeError),
        (lambda: {"甲": "\udfff"}, UnicodeEncodeError),
        (lambda: "甲 \ud800", UnicodeEncodeError),
        (lambda: [("\udc80", "乙")], UnicodeEncodeError),
        (lambda: [("甲", "乙\ud800")], UnicodeEncodeError),
        (lambda: UserDict({"甲": "乙\ud800"}), UnicodeEncodeError),
        (lambda: Unreadable({"甲": "乙"}), ZeroDivisionError),
    ],
)
def test_interpreter_errors_pass_through(make, error):
    for call in (lambda: lumo.convert_with_custom("甲", "s2t", make()),
                 lambda: lumo.Converter("s2t").with_custom(make())):  # fmt: skip
        with pytest.raises(error) as info:
            call()
        assert type(info.value) is error
        assert info.value.__cause__ is None and info.value.__context__ is None


def test_with_custom_does_not_accumulate():
    base = lumo.Converter("s2tw")
    first = base.with_custom({"甲": "乙"})
    second = first.with_custom({"丙": "丁"})
    assert (first.config, repr(second)) == ("s2tw", "<lumo.Converter config=s2tw>")
    assert [c.convert("甲丙为") for c in (base, first, second)] == ["甲丙為", "乙丙為", "甲丁為"]
    assert first.convert_with_custom("甲丙", "丙 丁") == "甲丁"
    assert first.convert("甲丙") == "乙丙"
    assert lumo.Converter.for_region("cn-s", "cn-tw").with_custom("甲 乙").config == "s2twp"


short = st.text(alphabet="甲乙丙中国汉字鼠标老鼠ab", max_size=3)


@given(
    st.sampled_from(lumo.configs()),
    st.dictionaries(short.filter(bool), short, min_size=1, max_size=5),
    st.text(alphabet="甲乙丙中国汉字鼠标老鼠ab ", max_size=12),
)
def test_entry_points_and_shapes_agree(config, entries, text):
    expected = lumo.convert_with_custom(text, config, entries)
    assert three_ways(text, config, entries) == [expected] * 3
    assert lumo.convert_with_custom(text, config, list(entries.items())) == expected
    if all(entries.values()):
        string = "|".join(f"{key} {value}" for key, value in entries.items())
        assert lumo.convert_with_custom(text, config, string) == expected


@pytest.mark.parametrize(
    "make",
    [
        lambda pair, bad: (p for p in [pair, bad]),
        lambda pair, bad: [pair, bad],
        lambda pair, bad: [pair, ("", pair[1])],
        lambda pair, bad: {pair[0]: pair[1], 1: "x"},
        lambda pair, bad: itertools.chain([pair], failing_pairs()),
        lambda pair, bad: [pair],
    ],
)
def test_no_references_leak(make):
    pair, bad = ("甲" * 3, "乙" * 3), ["丙" * 3, None]
    converter = lumo.Converter("s2t")

    def counts():
        gc.collect()
        return [sys.getrefcount(x) for x in (pair, bad, *pair, bad[0], lumo.Converter)]

    before = counts()
    for _ in range(50):
        for call in (lambda: lumo.convert_with_custom("甲", "s2t", make(pair, bad)),
                     lambda: converter.convert_with_custom("甲", make(pair, bad)),
                     lambda: converter.with_custom(make(pair, bad))):  # fmt: skip
            try:
                call()
            except (ValueError, TypeError, Boom):
                pass
    assert counts() == before
