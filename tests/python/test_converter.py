"""Converter objects and the conversions they produce."""

import contextlib
import gc
import json
import os
import subprocess
import sys
import weakref
from pathlib import Path

import lumo
import pytest
from hypothesis import given
from hypothesis import strategies as st

CONFIGS = lumo.configs()
CONVERTERS = {name: lumo.Converter(name) for name in CONFIGS}
DICTIONARY_DIR = Path(__file__).resolve().parents[2] / "data" / "dictionary"
VALID = ", ".join(CONFIGS)


def read_dictionary(name):
    """The (key, values) entries of one dictionary source text."""
    entries = []
    for line in (DICTIONARY_DIR / f"{name}.txt").read_text(encoding="utf-8").splitlines():
        if line and not line.startswith("#"):
            key, values = line.split("\t", 1)
            entries.append((key, values.split()))
    return entries


KNOWN = {
    character
    for path in DICTIONARY_DIR.glob("*.txt")
    for key, values in read_dictionary(path.stem)
    for character in key + "".join(values)
}
PHRASES = sorted(key for name in ("STPhrases", "TSPhrases", "TWPhrases", "JPShinjitaiPhrases")
                 for key, _ in read_dictionary(name))  # fmt: skip
KANA = [chr(code) for code in range(0x3041, 0x30FF)]
EMOJI = [chr(code) for code in range(0x1F600, 0x1F650)]
UNKNOWN = [c for c in KANA + EMOJI if c not in KNOWN]
# Texts mixing dictionary phrases and characters with ASCII, kana and emoji.
mixed_text = st.lists(st.one_of(
    st.sampled_from(PHRASES), st.sampled_from(sorted(KNOWN)),
    st.text(alphabet=st.characters(max_codepoint=0x7F)), st.sampled_from(KANA + EMOJI),
), max_size=12).map("".join)  # fmt: skip


@pytest.mark.parametrize("name", CONFIGS)
def test_construction(name):
    converter = lumo.Converter(name)
    assert type(converter) is lumo.Converter
    assert converter.config == name
    assert repr(converter) == f"<lumo.Converter config={name}>"


def test_instances_are_read_only():
    converter = lumo.Converter("s2twp")
    with pytest.raises(AttributeError):
        converter.config = "s2t"
    with pytest.raises(AttributeError):
        del converter.config
    with pytest.raises(AttributeError):
        converter.extra = 1
    if sys.version_info >= (3, 10):  # classes can be made immutable since 3.10
        with pytest.raises(TypeError):
            lumo.Converter.extra = 1
    assert converter.config == "s2twp"
    assert not hasattr(converter, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(converter)


def test_class_is_final():
    with pytest.raises(TypeError):
        type("Sub", (lumo.Converter,), {})
    with pytest.raises(TypeError):
        object.__new__(lumo.Converter)
    assert lumo.Converter.__bases__ == (object,)
    assert lumo.Converter.__module__ == "builtins"
    assert lumo.Converter.__qualname__ == "Converter"


def test_equality_and_hash_are_by_identity():
    first, second = lumo.Converter("s2t"), lumo.Converter("s2t")
    assert first == first
    assert first != second
    assert hash(first) == hash(first)
    assert len({first, second, first}) == 2
    with pytest.raises(TypeError):
        first < second  # noqa: B015


@pytest.mark.parametrize(
    "name", ["S2T", "s2t ", " s2t", "s2t.json", "", "s2t\x00", "简体", "tw2tw", "s2twP"]
)
@pytest.mark.parametrize("build", [lumo.Converter, lambda name: lumo.convert("汉字", name)])
def test_unknown_config(build, name):
    with pytest.raises(ValueError) as info:
        build(name)
    assert str(info.value) == f"unknown config '{name}'. Valid: {VALID}"


def references_to_converter_class():
    gc.collect()  # drop what earlier tests left to the collector
    return sys.getrefcount(lumo.Converter)


@pytest.mark.parametrize("bad", ["nope", b"s2t", "\ud800", None])
def test_failing_constructor_creates_nothing(bad):
    # Every instance holds a reference to its class, so a leaked one shows here.
    counts = [references_to_converter_class()]
    for _ in range(50):
        with contextlib.suppress(ValueError, TypeError):
            lumo.Converter(bad)
    counts.append(references_to_converter_class())
    kept = lumo.Converter("s2t")
    counts.append(references_to_converter_class())
    del kept
    counts.append(references_to_converter_class())
    assert counts == [counts[0], counts[0], counts[0] + 1, counts[0]]


@pytest.mark.parametrize(
    ("text", "config", "expected"),
    [
        ("我的U盘坏了", "s2twp", "我的隨身碟壞了"),
        ("U盘", "s2twp", "U盤"),  # an ASCII-led segment: no phrase lookup at U
        ("用U盘", "s2twp", "用隨身碟"),
        ("做B超", "s2twp", "做超音波"),
        ("B超", "s2twp", "B超"),
        ("核心", "tw2sp", "核心"),
        ("汉字", "s2t", "漢字"),
        ("漢字", "t2s", "汉字"),
        ("汉\x00字", "s2t", "漢\x00字"),
        ("学国", "jp2t", "學國"),
        ("學國", "t2jp", "学国"),
    ],
)
def test_conversions(text, config, expected):
    assert lumo.convert(text, config) == expected
    assert CONVERTERS[config].convert(text) == expected


@pytest.mark.parametrize(
    ("dictionary", "config", "reverse"),
    [
        ("STCharacters", "s2t", False),
        ("TSCharacters", "t2s", False),
        ("JPShinjitaiCharacters", "jp2t", False),
        ("JPShinjitaiCharacters", "t2jp", True),
    ],
)
def test_single_characters_follow_the_dictionary(dictionary, config, reverse):
    converter = CONVERTERS[config]
    if reverse:
        pairs = [(value, key) for key, values in read_dictionary(dictionary) for value in values]
    else:
        pairs = [(key, values[0]) for key, values in read_dictionary(dictionary)]
    assert len(pairs) > 300
    assert [(k, converter.convert(k), v) for k, v in pairs if converter.convert(k) != v] == []


@pytest.mark.parametrize("config", CONFIGS)
def test_empty_and_ascii_text_unchanged(config):
    text = "Hello, World! 0123456789\n\t~`!@#$%^&*()_+-=[]{}|\\:;\"'<>,.?/ \r\x00\x7f"
    for converter in (CONVERTERS[config], lumo.Converter(config)):
        assert converter.convert("") == ""
        assert converter.convert(text) == text
    assert lumo.convert("", config) == ""
    assert lumo.convert(text, config) == text


# No dictionary key is made of ASCII alone, so nothing in such a text can match.
@given(st.text(alphabet=st.one_of(st.characters(max_codepoint=0x7F), st.sampled_from(UNKNOWN))))
def test_ascii_and_unknown_characters_are_unchanged(text):
    for converter in CONVERTERS.values():
        assert converter.convert(text) == text


@given(st.sampled_from(CONFIGS), mixed_text)
def test_module_function_matches_converter(config, text):
    expected = lumo.convert(text, config)
    assert type(expected) is str
    assert lumo.Converter(config).convert(text) == expected
    assert CONVERTERS[config].convert(text) == expected


# What the memory scripts share: the process's address space, in bytes.
ADDRESS_SPACE = """
def address_space():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmSize:"):
                return int(line.split()[1]) * 1024

MB = 1 << 20
"""

MEMORY_SCRIPT = """
import resource
import lumo
"""
MEMORY_SCRIPT += ADDRESS_SPACE
MEMORY_SCRIPT += """converter = lumo.Converter("t2jp")
huge = "a" * (300 * MB)  # its output reservation alone exceeds the headroom
large = "b" * (150 * MB)  # its output fits, but not the result str besides it
wide = "學\\n" * (30 * MB)  # converted in pieces on several threads
resource.setrlimit(resource.RLIMIT_AS, (address_space() + 200 * MB, resource.RLIM_INFINITY))
calls = {
    "huge-function": lambda: lumo.convert(huge, "s2t"),
    "huge-method": lambda: converter.convert(huge),
    "large-function": lambda: lumo.convert(large, "s2twp"),
    "large-method": lambda: converter.convert(large),
    "wide-method": lambda: converter.convert(wide),
}
for label, call in calls.items():
    try:
        call()
    except MemoryError:
        print(label, "MemoryError")
    else:
        print(label, "converted")
print(lumo.convert("汉字", "s2t"), converter.convert("學"))
"""


@pytest.mark.skipif(not Path("/proc/self/status").exists(), reason="needs /proc/self/status")
def test_out_of_memory_raises_memory_error():
    child = subprocess.run(
        [sys.executable, "-c", MEMORY_SCRIPT],
        capture_output=True,
        text=True,
        timeout=300,
        env={**os.environ, "LUMO_THREADS": "3"},
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout.splitlines() == [
        "huge-function MemoryError",
        "huge-method MemoryError",
        "large-function MemoryError",
        "large-method MemoryError",
        "wide-method MemoryError",
        "漢字 学",
    ]


# Under any address-space limit and any thread count a conversion returns
# its result or raises MemoryError, and the interpreter goes on. Each limit
# is tried in a child forked from a process that has built the converter
# and the expected result; a child ended any other way fails the sweep.
SWEEP_SCRIPT = """
import json, os, resource, sys
import lumo
"""
SWEEP_SCRIPT += ADDRESS_SPACE
SWEEP_SCRIPT += """line = "中國人民銀行發佈了新的貨幣政策，我们的U盘坏了。鑰匙和😀\\n"
text = line * (66 * (1 << 16) // len(line))  # 66 pieces of the smallest size
converter = lumo.Converter("s2twp")
os.environ["LUMO_THREADS"] = "1"
expected = converter.convert(text)
outcomes = []
for threads in sys.argv[1:]:
    os.environ["LUMO_THREADS"] = threads
    for step in range(32):
        child = os.fork()
        if child == 0:
            headroom = 4 * MB + step * step * MB  # denser where the failures are
            limit = address_space() + headroom
            resource.setrlimit(resource.RLIMIT_AS, (limit, resource.RLIM_INFINITY))
            try:
                status = 0 if converter.convert(text) == expected else 1
            except MemoryError:
                status = 2
            resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
            if lumo.convert("汉字", "s2t") != "漢字":
                status = 1
            os._exit(status)
        _, status = os.waitpid(child, 0)
        outcomes.append(os.waitstatus_to_exitcode(status))
print(json.dumps(outcomes))
"""


@pytest.mark.skipif(not Path("/proc/self/status").exists(), reason="needs /proc/self/status")
def test_memory_limits_raise_memory_error_on_any_thread_count():
    child = subprocess.run(
        [sys.executable, "-c", SWEEP_SCRIPT, "2", "17", "48", "64"],
        capture_output=True,
        text=True,
        timeout=600,
    )
    assert child.returncode == 0, child.stderr
    outcomes = json.loads(child.stdout)  # 0 converted, 2 MemoryError
    assert set(outcomes) <= {0, 2}, outcomes
    assert 0 in outcomes and 2 in outcomes, outcomes
