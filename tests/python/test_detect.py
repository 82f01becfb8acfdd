"""detect and the Detection objects it returns."""

import gc
import subprocess
import sys

import lumo
import pytest
from hypothesis import given
from hypothesis import strategies as st


@pytest.mark.parametrize(
    ("text", "expected"),
    [
        ("", None),
        ("Latin letters only", None),
        ("，。！？「」… ,.!?", None),
        ("\u3400\uf900\U00020000", None),  # Extension A, compatibility, supplementary
        ("中文", ("cn-t", 0)),
        ("国語の辞書", ("jp-n", 100)),
        ("國語の辭書", ("jp-t", 100)),
        ("ひらがなだけ", ("jp-n", 50)),
        ("這個問題很難清楚の", ("jp-n", 50)),  # one kana: the Japanese rule decides
        ("这是简体中文", ("cn-s", 50)),
        ("爲", ("cn-tw", 200)),
        ("說", ("cn-hk", 200)),
        ("我的隨身碟壞了", ("cn-tw", 50)),
        # Simplified characters outweigh Taiwan phrases that Simplified text uses too.
        ("软件、鼠标、驱动程序都装好了", ("cn-s", 41)),
        ("我们建立了一个新的公司", ("cn-s", 18)),
        ("这是简体中文隨身碟", ("cn-s", 33)),
        ("伊利諾州", ("cn-t", 25)),  # a phrase of both lists scores for neither
        ("爲僞啓喫國", ("cn-t", 255)),  # 260 saturates
    ],
)
def test_detect(text, expected):
    result = lumo.detect(text)
    if expected is None:
        assert result is None
    else:
        assert type(result) is lumo.Detection
        assert (result.region, result.confidence) == expected
        assert type(result.region) is str and type(result.confidence) is int
        assert lumo.detect(text=text).confidence == expected[1]


def test_detection_objects():
    first, second = lumo.detect("爲"), lumo.detect("爲")
    assert repr(first) == "<lumo.Detection region=cn-tw confidence=200>"
    assert first == first and first != second  # compared by identity
    for name in ("region", "confidence"):
        with pytest.raises(AttributeError):
            setattr(first, name, getattr(first, name))
        with pytest.raises(AttributeError):
            delattr(first, name)
    with pytest.raises(AttributeError):
        first.extra = 1
    assert (first.region, first.confidence) == ("cn-tw", 200)


def test_detection_class():
    for args in [(), ("cn-t", 0)]:
        with pytest.raises(TypeError, match="^No constructor defined$"):
            lumo.Detection(*args)
    with pytest.raises(TypeError):
        object.__new__(lumo.Detection)
    with pytest.raises(TypeError):
        type("Sub", (lumo.Detection,), {})
    assert lumo.Detection.__module__ == "builtins"
    assert lumo.Detection.__doc__ is None
    assert lumo.detect.__text_signature__ == "(text)"


def test_results_release_their_class():
    # Every instance holds a reference to its class, so a leaked one shows here.
    gc.collect()
    counts = [sys.getrefcount(lumo.Detection)]
    results = [lumo.detect("爲") for _ in range(100)]
    counts.append(sys.getrefcount(lumo.Detection))
    del results
    counts.append(sys.getrefcount(lumo.Detection))
    assert counts == [counts[0], counts[0] + 100, counts[0]]


@pytest.mark.parametrize(
    ("args", "kwargs", "message"),
    [
        ((), {}, "detect() missing 1 required positional argument: 'text'"),
        (("a", "b"), {}, "detect() takes 1 positional argument but 2 were given"),
        ((), {"txt": "a"}, "detect() got an unexpected keyword argument 'txt'"),
        (("a",), {"text": "b"}, "detect() got multiple values for argument 'text'"),
        ((b"a",), {}, "argument 'text': 'bytes' object cannot be converted to 'PyString'"),
        ((None,), {}, "argument 'text': 'NoneType' object cannot be converted to 'PyString'"),
    ],
)
def test_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError) as info:
        lumo.detect(*args, **kwargs)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "text",
    ["\ud800", "國\udfff", "\U00020000說\udc00x", "\ud83d\ude00", "國語" * 50000 + "\udbff"],
    ids=["alone", "last", "four-byte", "pair", "long"],
)
def test_lone_surrogates(text):
    with pytest.raises(UnicodeEncodeError) as expected:
        text.encode("utf-8")
    size = sys.getsizeof(text)
    with pytest.raises(UnicodeEncodeError) as info:
        lumo.detect(text)
    assert info.value.args == expected.value.args
    assert sys.getsizeof(text) == size


def fresh(text):
    """An equal str that has never been encoded to UTF-8."""
    return text.encode("utf-8").decode("utf-8")


@pytest.mark.parametrize("length", [3, 200000])
@pytest.mark.parametrize(
    "sample",
    ["ascii", "é Latin-1", "國語の辭書 汉字", "\U00020000漢字"],
    ids=["ascii", "latin-1", "two-byte", "four-byte"],
)
def test_detect_attaches_nothing(sample, length):
    text = fresh((sample * length)[:length])
    size = sys.getsizeof(text)
    lumo.detect(text)
    assert sys.getsizeof(text) == size


@pytest.mark.parametrize(
    "text",
    ["这是简体中文", "我的隨身碟壞了", "說", "國語の辭書", "爲僞啓喫國", "硬碟和滑鼠。" * 30000],
)
def test_detect_agrees_across_str_kinds(text):
    expected = lumo.detect(text)
    for astral in ("\U00020000" + text, text + "\U0001f600"):  # four bytes per character
        result = lumo.detect(astral)
        assert (result.region, result.confidence) == (expected.region, expected.confidence)


def counted(character):
    return 0x4E00 <= ord(character) <= 0x9FFF or 0x3040 <= ord(character) <= 0x30FF


REGIONS = {"cn-s", "cn-t", "cn-tw", "cn-hk", "jp-t", "jp-n"}
text_near_cjk = st.text(
    st.one_of(
        st.characters(exclude_categories=["Cs"]),
        st.characters(min_codepoint=0x3000, max_codepoint=0xA000),
        st.sampled_from("爲說國隨身碟伊利諾州"),
    )
)


@given(text_near_cjk)
def test_detect_never_raises_and_is_none_only_without_counted_characters(text):
    result = lumo.detect(text)
    assert (result is None) == (not any(map(counted, text)))
    if result is not None:
        assert result.region in REGIONS and 0 <= result.confidence <= 255


THREADS = """
import sys, threading
import lumo

texts = sys.argv[1:]
barrier = threading.Barrier(32)
results = [None] * 32

def run(i):
    barrier.wait()
    results[i] = repr(lumo.detect(texts[i % len(texts)]))

threads = [threading.Thread(target=run, args=(i,)) for i in range(32)]
for thread in threads:
    thread.start()
for thread in threads:
    thread.join()
print(results == [repr(lumo.detect(texts[i % len(texts)])) for i in range(32)])
"""


def test_concurrent_first_calls_in_a_fresh_process():
    texts = ["中文", "国語の辞書", "这是简体中文", "說", "我的隨身碟壞了", "", "abc"]
    child = subprocess.run(
        [sys.executable, "-c", THREADS, *texts], capture_output=True, text=True, timeout=60
    )
    assert child.returncode == 0, child.stderr
    assert child.stdout == "True\n"
