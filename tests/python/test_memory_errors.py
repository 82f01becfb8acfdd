"""The interpreter running out of memory inside a call: every call raises
MemoryError, or the error it would raise anyway, or returns the right
result; never another error, a crash, or a NULL returned without an error
set. The interpreter's allocator fails from the n-th allocation on, or at
the n-th alone, for every n the call reaches.

The interpreter's own loop sometimes loses an exception it could not make
for want of memory and raises SystemError("error return without exception
set") in its place, as it does for float("x"); a function of ours returning
NULL without an exception gets a message naming the function instead."""

import itertools
import subprocess
import sys
import threading

import lumo
import pytest

testcapi = pytest.importorskip("_testcapi")
if not hasattr(testcapi, "set_nomemory"):
    pytest.skip("_testcapi.set_nomemory is missing", allow_module_level=True)

LONG = "汉字头发，鼠标。\n" * 20000  # over 131072 characters: converted on threads
PAIRS = [("鼠标", "滑鼠"), ("汉字", "漢字!")]


def stream(text):
    return "".join(lumo.Converter("s2t").convert_stream([text[:3], text[3:], ""]))


CALLS = {
    "Converter": lambda: lumo.Converter("s2twp").config,
    "for_region": lambda: lumo.Converter.for_region("cn-s", "cn-tw").config,
    "convert": lambda: lumo.Converter("s2t").convert("汉字头发"),
    "convert on threads": lambda: lumo.Converter("s2t").convert(LONG),
    "convert Latin-1": lambda: lumo.Converter("s2t").convert("café 汉"[:5]),
    "convert_with_custom": lambda: lumo.Converter("s2t").convert_with_custom("鼠标", dict(PAIRS)),
    "with_custom": lambda: lumo.Converter("t2jp").with_custom(PAIRS).convert("汉字"),
    "custom string": lambda: lumo.convert_with_custom("鼠标", "s2t", "鼠标 滑鼠|甲 乙"),
    "module convert": lambda: lumo.convert("汉字", "s2t"),
    "convert_region": lambda: lumo.convert_region("我的U盘坏了", "cn-s", "cn-tw"),
    "convert_stream": lambda: stream("汉字头发鼠标"),
    "convert_batch": lambda: lumo.Converter("s2t").convert_batch(iter(["汉字", None, "café"[:4]])),
    "convert_batch on threads": lambda: lumo.Converter("s2t").convert_batch([LONG, "😀头发"]),
    "detect": lambda: repr(lumo.detect("我的隨身碟壞了")),
    "configs and locales": lambda: (lumo.configs(), lumo.locales()),
}
ERRORS = {
    "unknown config": (lambda: lumo.Converter("s2x"), ValueError),
    "bad custom": (lambda: lumo.convert_with_custom("x", "s2t", [("a", 1)]), TypeError),
    "lone surrogate": (lambda: lumo.Converter("s2t").convert("汉\ud800"), UnicodeEncodeError),
    "batch item": (lambda: lumo.Converter("s2t").convert_batch(["汉", 1]), TypeError),
}


def ran_short(outcome):
    return isinstance(outcome, MemoryError) or (
        type(outcome) is SystemError and str(outcome) == "error return without exception set"
    )


def under_failing_memory(call, start, from_then_on):
    """What call() returns, or the exception it raises, while the
    interpreter's allocations fail from the start-th on, or the start-th
    alone."""
    testcapi.set_nomemory(start, 0 if from_then_on else start + 1)
    try:
        return call()
    except Exception as error:
        return error
    finally:
        testcapi.remove_mem_hooks()


@pytest.mark.parametrize("from_then_on", [False, True], ids=["one", "from-then-on"])
@pytest.mark.parametrize("name", [*CALLS, *ERRORS])
def test_running_out_of_memory_raises_memory_error(name, from_then_on):
    if threading.active_count() > 1:
        # Threads other tests left (a cluster's event loop, a JVM gateway)
        # would fail their allocations too, and may spin on them holding
        # the interpreter lock.
        pytest.skip("other threads are alive: test_in_a_process_of_its_own runs this")
    call, expected_error = ERRORS.get(name, (CALLS.get(name), None))
    expected = None if expected_error else call()
    completed = 0  # attempts in a row that did not run short
    for start in itertools.count():
        outcome = under_failing_memory(call, start, from_then_on)
        if ran_short(outcome):
            completed = 0
            continue
        if expected_error:
            assert isinstance(outcome, expected_error), (start, outcome)
        else:
            assert not isinstance(outcome, BaseException), (start, outcome)
            assert outcome == expected, start
        completed += 1
        if completed == 20:
            break
        assert start < 5000


def test_in_a_process_of_its_own():
    if threading.active_count() == 1:
        pytest.skip("ran in this process")
    command = [sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", __file__]
    result = subprocess.run(command, capture_output=True, text=True)
    assert result.returncode == 0, result.stdout[-3000:]
