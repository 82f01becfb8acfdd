"""Every function, method and property of lumo, called as a typed user would.

Type checkers must accept this file with the precise types asserted here;
run as a script, it checks the values too (the smoke test of an install).
"""

import sys
from collections.abc import Iterator, Mapping
from types import MappingProxyType
from typing import Optional

import lumo

if sys.version_info >= (3, 11):
    from typing import assert_type
else:
    from typing_extensions import assert_type


def pairs() -> Iterator[tuple[str, str]]:
    yield ("甲", "乙")


assert assert_type(lumo.__version__, str) == "0.7.9"
assert "s2twp" in assert_type(lumo.configs(), list[str])
assert "cn-tw" in assert_type(lumo.locales(), list[str])

assert assert_type(lumo.convert("汉字", "s2t"), str) == "漢字"
assert lumo.convert(text="汉字", config="s2t") == "漢字"
assert assert_type(lumo.convert_region("我的U盘坏了", "cn-s", "cn-tw"), str) == "我的隨身碟壞了"
assert lumo.convert_region("汉字", "cn-s", to="cn-t") == "漢字"

words: Mapping[str, str] = {"鼠标": "滑鼠"}
for entries in (
    words,
    MappingProxyType(words),
    [("鼠标", "滑鼠")],
    [["鼠标", "滑鼠"]],
    "鼠标 滑鼠",
):
    assert assert_type(lumo.convert_with_custom("鼠标", "s2t", entries), str) == "滑鼠"
assert lumo.convert_with_custom(text="甲", config="s2t", entries=pairs()) == "乙"

converter = assert_type(lumo.Converter("s2t"), lumo.Converter)
assert assert_type(converter.config, str) == "s2t"
assert assert_type(converter.convert("汉字"), str) == "漢字"
assert converter.convert(text="汉字") == "漢字"
assert assert_type(converter.convert_batch(["汉字"]), list[str]) == ["漢字"]
column: list[Optional[str]] = ["汉字", None]
assert assert_type(converter.convert_batch(iter(column)), list[Optional[str]]) == ["漢字", None]
assert "".join(assert_type(converter.convert_stream(["汉", "字"]), Iterator[str])) == "漢字"
assert "".join(converter.convert_stream(chunks=iter(["后", "来"]))) == "後來"
spans = assert_type(converter.explain("干"), list[tuple[str, str, tuple[str, ...]]])
assert spans == [("干", "幹", ("乾", "干", "榦"))]
assert assert_type(lumo.Converter(config="s2tw").config, str) == "s2tw"
assert assert_type(lumo.Converter.for_region("cn-s", "cn-tw"), lumo.Converter).config == "s2twp"
assert converter.for_region("cn-s", to="cn-hk").config == "s2hkp"
custom = assert_type(converter.with_custom({"甲": "乙"}), lumo.Converter)
assert custom.convert("甲") == "乙"
assert converter.with_custom(entries=(("甲", "丙"),)).convert("甲") == "丙"
assert assert_type(converter.convert_with_custom("甲", pairs()), str) == "乙"
assert converter.convert_with_custom(text="甲", entries="甲 丁") == "丁"

detection = assert_type(lumo.detect("我的隨身碟壞了"), Optional[lumo.Detection])
assert detection is not None
assert assert_type(detection.region, str) == "cn-tw"
assert 0 < assert_type(detection.confidence, int) <= 255
assert lumo.detect(text="hello") is None
