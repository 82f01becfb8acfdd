"""A text whose UTF-8 form passes 2**32 bytes, and 2**31 characters: no
size, offset or count may wrap. It needs about 13 GB of memory and a
minute or two, so it runs only with LUMO_HUGE_TESTS=1, where memory
allows (scripts/test.sh sets it)."""

import itertools
import os
import resource
import time

import lumo
import pytest
from support import available_bytes

LINE = "a汉字头发b\n"  # 7 characters, 15 bytes of UTF-8; a str of two bytes per character
CONVERTED_LINE = "a漢字頭髮b\n"
TAIL = "我的隨身碟壞了"  # a Taiwan phrase, past every 2**32 boundary
LINES = 2**31 // 7 + 2**22  # 2.18 * 10**9 characters, 4.67 * 10**9 bytes of UTF-8
# The text (2 bytes a character), the threads' buffers (up to 1.2 times the
# text) and the result, all alive at once, and some room: a run uses 12.2 GB.
NEEDED_BYTES = int(2 * len(LINE) * LINES * 3.2) + (1 << 30)


pytestmark = [
    pytest.mark.huge,
    pytest.mark.skipif(
        os.environ.get("LUMO_HUGE_TESTS") != "1", reason="LUMO_HUGE_TESTS=1 runs it"
    ),
    pytest.mark.skipif(
        available_bytes() < NEEDED_BYTES, reason=f"needs {NEEDED_BYTES >> 30} GB available"
    ),
]


def huge_text():
    block = LINE * 4096
    blocks, lines = divmod(LINES, 4096)
    # One allocation: join sizes the result first.
    return "".join(itertools.chain(itertools.repeat(block, blocks), [LINE * lines, TAIL]))


def test_a_text_past_two_to_the_thirty_two_bytes_converts_and_detects_to_its_tail():
    start = time.perf_counter()
    text = huge_text()
    characters = len(LINE) * LINES + len(TAIL)
    assert len(text) == characters and characters > 2**31
    built = time.perf_counter()

    result = lumo.Converter("s2t").convert(text)
    converted = time.perf_counter()
    assert len(result) == characters
    assert result.endswith(CONVERTED_LINE * 3 + TAIL)
    # Where the characters pass 2**31, and where the UTF-8 bytes pass 2**32.
    for line in (0, 2**31 // len(LINE), 2**32 // 15, LINES - 1):
        around = slice(max(line * len(LINE) - 70, 0), line * len(LINE) + 70)
        assert result[around] == text[around].replace("汉字头发", "漢字頭髮"), line
    del text

    # The converted text is Traditional, so phrases decide: without the
    # tail's Taiwan phrase it would be ("cn-t", 75).
    found = lumo.detect(result)
    detected = time.perf_counter()
    assert (found.region, found.confidence) == ("cn-tw", 74)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 2**20
    print(
        f"\n{characters} characters, {15 * LINES + 21} bytes of UTF-8: built in"
        f" {built - start:.1f} s, converted in {converted - built:.1f} s, detected in"
        f" {detected - converted:.1f} s; peak RSS {peak:.1f} GB"
    )
