"""Calls lumo's types must reject: each line is an error both checkers report.

The checkers run with unused ignore comments reported as errors, so a line
here that they accept fails the check.
"""

from collections.abc import Mapping

import lumo

lumo.convert(1, "s2t")  # type: ignore[arg-type]
lumo.convert(b"x", "s2t")  # type: ignore[arg-type]
lumo.convert("x")  # type: ignore[call-arg]
lumo.convert("x", "s2t", "s2t")  # type: ignore[call-arg]
lumo.convert("x", configuration="s2t")  # type: ignore[call-arg]
lumo.configs("s2t")  # type: ignore[call-arg]
lumo.convert_region("x", from_="cn-s", to="cn-t")  # type: ignore[call-arg]
lumo.convert_with_custom("x", "s2t", {"a": 1})  # type: ignore[arg-type]
lumo.convert_with_custom("x", "s2t", [("a", "b", "c")])  # type: ignore[list-item]
lumo.convert_with_custom("x", "s2t", 5)  # type: ignore[arg-type]
numbers: Mapping[str, int] = {"a": 1}
lumo.convert_with_custom("x", "s2t", numbers)  # type: ignore[arg-type]
lumo.Converter(5)  # type: ignore[arg-type]
lumo.Converter("s2t").convert_stream([b"x"])  # type: ignore[list-item]
lumo.Converter("s2t").convert_batch([1])  # type: ignore[list-item]
lumo.Converter("s2t").convert_arrow(["x"])  # type: ignore[call-overload]
lumo.Converter("s2t").with_custom(b"a b")  # type: ignore[arg-type]
lumo.Converter("s2t").config = "t2s"  # type: ignore[misc]
lumo.Converter.for_region("cn-s")  # type: ignore[call-arg]
maybe_region = lumo.detect("x").region  # type: ignore[union-attr]
found = lumo.detect("x")
if found is not None:
    region: int = found.region  # type: ignore[assignment]
    found.confidence = 1  # type: ignore[misc]
names: list[int] = lumo.locales()  # type: ignore[assignment]


class Custom(lumo.Converter):  # type: ignore[misc]
    pass
