"""The lumo module: its attributes, docstrings, argument binding and import rules."""

import importlib
import json
import re
import subprocess
import sys
from pathlib import Path

import lumo
import pytest

LIST = Path(__file__).resolve().parents[2] / "data" / "config" / "configurations.json"
CONFIGS = [entry["name"] for entry in json.loads(LIST.read_text(encoding="utf-8"))]
LOCALES = ["cn-s", "cn-t", "cn-tw", "cn-hk", "jp-t", "jp-n"]

# Every public name in registration order.
PUBLIC_NAMES = [
    "__version__", "Converter", "Detection", "detect", "configs", "locales",
    "convert", "convert_region", "convert_with_custom",
]  # fmt: skip


def test_version_and_docstring():
    assert lumo.__version__ == "0.7.9"
    assert lumo.__doc__ == "Register the `lumo` Python module."


def test_all_lists_the_names_in_registration_order():
    assert lumo.__all__ == PUBLIC_NAMES
    assert list(vars(lumo))[-len(PUBLIC_NAMES) - 1 : -1] == PUBLIC_NAMES  # __file__ comes last
    assert type(lumo.__all__) is list


# "{}" matches any one word.
@pytest.mark.parametrize(
    ("obj", "signature", "doc"),
    [
        (lumo.configs, "()", "All 16 built-in {} config names in canonical order."),
        (
            lumo.locales,
            "()",
            "All 6 region codes in canonical order (`cn-s`, `cn-t`, `cn-tw`,\n"
            "`cn-hk`, `jp-n`, `jp-t`).",
        ),
        (lumo.convert, "(text, config)", "Convert `text` using one of the 16 built-in {} configs."),
        (lumo.Converter, "(config)", ""),
        (
            lumo.Converter.config,
            None,
            'The config name this converter was built for (e.g. `"s2twp"`).',
        ),
        (
            lumo.Converter.convert,
            "($self, text)",
            "Convert `text`. Pure (no I/O, no allocations beyond the result).",
        ),
        (
            lumo.detect,
            "(text)",
            "Identify the script variant of `text`. Returns `None` when there are no\n"
            "CJK characters or kana.",
        ),
        (
            lumo.convert_region,
            "(text, from, to)",
            "Convert `text` using a `(from, to)` semantic-region pair.",
        ),
        (
            lumo.convert_with_custom,
            "(text, config, entries)",
            "Convert with custom words, one-shot. Same `entries` shapes as\n"
            "`Converter.convert_with_custom`.",
        ),
        (lumo.Converter.for_region, "(from, to)", None),
        (
            lumo.Converter.convert_with_custom,
            "($self, text, entries)",
            "Convert `text` with custom words injected at the highest priority.\n"
            "`entries` accepts list-of-pairs / dict / DictLike-string.",
        ),
        (
            lumo.Converter.with_custom,
            "($self, entries)",
            "Return a new Converter with these custom words baked in.",
        ),
    ],
    ids=lambda value: getattr(value, "__qualname__", None) if callable(value) else "",
)
def test_docstrings_and_signatures(obj, signature, doc):
    assert getattr(obj, "__text_signature__", None) == signature
    if doc is None:  # a docstring that is only a signature
        assert obj.__doc__ is None
    else:
        assert re.fullmatch(re.escape(doc).replace(r"\{\}", r"\w+"), obj.__doc__)


@pytest.mark.parametrize(
    "name", ["detect", "configs", "locales", "convert", "convert_region", "convert_with_custom"]
)
def test_functions_are_builtins_bound_to_the_module(name):
    function = getattr(lumo, name)
    assert type(function).__name__ == "builtin_function_or_method"
    assert function.__self__ is lumo
    assert function.__module__ == "lumo"
    assert function.__name__ == name


@pytest.mark.parametrize(
    ("function", "expected"), [(lumo.configs, CONFIGS), (lumo.locales, LOCALES)]
)
def test_configs_and_locales(function, expected):
    first = function()
    assert first == expected
    first.clear()  # each call builds a new list
    second = function()
    assert second == expected
    assert all(type(item) is str for item in second)
    with pytest.raises(TypeError):
        function(1)
    with pytest.raises(TypeError):
        function(x=1)


CONVERTER = lumo.Converter("s2t")
BOUND = {
    "convert": lumo.convert,
    "Converter.__new__": lumo.Converter,
    "Converter.convert": CONVERTER.convert,
}


@pytest.mark.parametrize(
    ("name", "args", "kwargs", "message"),
    [
        ("convert", (), {}, "missing 2 required positional arguments: 'text' and 'config'"),
        ("convert", ("a",), {}, "missing 1 required positional argument: 'config'"),
        ("convert", (), {"config": "s2t"}, "missing 1 required positional argument: 'text'"),
        ("convert", ("a", "s2t", "x"), {}, "takes 2 positional arguments but 3 were given"),
        ("convert", ("a", "s2t"), {"foo": 1}, "got an unexpected keyword argument 'foo'"),
        ("convert", ("a",), {"text": "b"}, "got multiple values for argument 'text'"),
        ("convert", ("a", "s2t"), {"config": "s2t"}, "got multiple values for argument 'config'"),
        ("convert", ("a",), {"Text": "b"}, "got an unexpected keyword argument 'Text'"),
        # Binding is settled before any argument is read.
        ("convert", (b"a",), {"foo": 1}, "got an unexpected keyword argument 'foo'"),
        ("convert", (b"a", 1, 2), {}, "takes 2 positional arguments but 3 were given"),
        ("Converter.__new__", (), {}, "missing 1 required positional argument: 'config'"),
        ("Converter.__new__", ("s2t", "t2s"), {}, "takes 1 positional argument but 2 were given"),
        ("Converter.__new__", (), {"name": "s2t"}, "got an unexpected keyword argument 'name'"),
        ("Converter.__new__", ("a",), {"config": "b"}, "got multiple values for argument 'config'"),
        ("Converter.convert", (), {}, "missing 1 required positional argument: 'text'"),
        ("Converter.convert", ("a", "b"), {}, "takes 1 positional argument but 2 were given"),
        ("Converter.convert", (), {"txt": "a"}, "got an unexpected keyword argument 'txt'"),
        ("Converter.convert", ("a",), {"text": "b"}, "got multiple values for argument 'text'"),
    ],
)
def test_argument_binding_errors(name, args, kwargs, message):
    with pytest.raises(TypeError) as info:
        BOUND[name](*args, **kwargs)
    assert str(info.value) == f"{name}() {message}"


def test_keyword_arguments():
    assert lumo.convert(config="s2t", text="汉字") == "漢字"
    assert lumo.Converter(config="s2t").convert(text="汉字") == "漢字"


CALLS_BY_PARAMETER = [
    ("text", lambda value: lumo.convert(value, "s2t")),
    ("config", lambda value: lumo.convert("汉字", value)),
    ("config", lambda value: lumo.Converter(value)),
    ("text", lambda value: CONVERTER.convert(value)),
]
CALL_IDS = ["convert-text", "convert-config", "Converter-config", "Converter.convert-text"]


@pytest.mark.parametrize(("parameter", "call"), CALLS_BY_PARAMETER, ids=CALL_IDS)
@pytest.mark.parametrize(
    ("value", "type_name"),
    [(b"s2t", "bytes"), (bytearray(b"s2t"), "bytearray"), (7, "int"), (None, "NoneType")],
)
def test_non_str_argument(parameter, call, value, type_name):
    with pytest.raises(TypeError) as info:
        call(value)
    plain = f"'{type_name}' object cannot be converted to 'PyString'"
    assert str(info.value) == f"argument '{parameter}': {plain}"
    cause = info.value.__cause__
    assert type(cause) is TypeError
    assert str(cause) == plain
    assert info.value.__suppress_context__


@pytest.mark.parametrize(("parameter", "call"), CALLS_BY_PARAMETER, ids=CALL_IDS)
@pytest.mark.parametrize("value", ["\ud800", "s2t\udfff", "漢\udc80字"])
def test_lone_surrogates_raise_the_interpreters_error(parameter, call, value):
    with pytest.raises(UnicodeEncodeError) as expected:
        value.encode("utf-8")
    with pytest.raises(UnicodeEncodeError) as info:
        call(value)
    assert type(info.value) is UnicodeEncodeError
    assert info.value.args == expected.value.args
    assert info.value.__cause__ is None
    assert "argument" not in str(info.value)


def test_str_subclasses_are_accepted():
    class Text(str):
        def __str__(self):
            return "wrong"

    result = lumo.convert(Text("汉字"), Text("s2t"))
    assert result == "漢字"
    assert type(result) is str
    converter = lumo.Converter(Text("t2s"))
    assert type(converter.config) is str
    assert converter.config == "t2s"
    assert converter.convert(Text("漢字")) == "汉字"


@pytest.mark.parametrize(
    ("args", "error", "prefix"),
    [
        ((b"x", "nope"), TypeError, "argument 'text'"),
        ((5, "\ud800"), TypeError, "argument 'text'"),
        (("x", 5), TypeError, "argument 'config'"),
        (("\ud800", "nope"), UnicodeEncodeError, "'utf-8' codec"),
    ],
)
def test_arguments_are_read_in_order_before_the_config_is_resolved(args, error, prefix):
    with pytest.raises(error) as info:
        lumo.convert(*args)
    assert str(info.value).startswith(prefix)


def test_reimport_gives_working_objects(monkeypatch):
    monkeypatch.delitem(sys.modules, "lumo")
    again = importlib.import_module("lumo")
    assert again.Converter is lumo.Converter
    assert again.__all__ == lumo.__all__
    assert len(again.__all__) == len(set(again.__all__))
    assert again.convert("汉字", "s2t") == "漢字"
    assert again.Converter("t2s").convert("漢字") == "汉字"
    assert again.configs() == CONFIGS


def test_reimport_returns_the_same_module(monkeypatch):
    monkeypatch.delitem(sys.modules, "lumo")
    again = importlib.import_module("lumo")
    assert again is lumo
    assert again.convert.__self__ is again


IMPORT_REPORT = """
try:
    import lumo
except ImportError as error:
    print("ImportError:", error)
else:
    print("imported")
"""


@pytest.mark.parametrize("imported_first", [False, True], ids=["fresh", "after-main-import"])
def test_subinterpreter_import_fails(imported_first):
    pytest.importorskip("_testcapi")
    main = "import lumo\n" if imported_first else ""
    code = f"{main}import _testcapi\n_testcapi.run_in_subinterp({IMPORT_REPORT!r})"
    child = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=60)
    assert child.stdout.startswith("ImportError:"), child.stdout + child.stderr
    assert "sub-interpreter" in child.stdout


def test_import_emits_no_warnings():
    code = "import lumo; print(lumo.convert('汉字', 's2t'))"
    child = subprocess.run(
        [sys.executable, "-W", "error", "-c", code], capture_output=True, text=True, timeout=60
    )
    assert child.stderr == ""
    assert child.stdout == "漢字\n"
