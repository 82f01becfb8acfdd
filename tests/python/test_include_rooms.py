"""The include check of tools/check_includes.py, on small trees of its own."""

from __future__ import annotations

import importlib.util
from pathlib import Path

import pytest

_spec = importlib.util.spec_from_file_location(
    "check_includes", Path(__file__).resolve().parents[2] / "tools" / "check_includes.py"
)
assert _spec is not None and _spec.loader is not None
check_includes = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(check_includes)


@pytest.mark.parametrize(
    ("files", "fault"),
    [
        ({"engine/core/a.h": '#include "dict/b.h"', "dict/b.h": ""}, None),
        ({"engine/core/a.h": '#include "engine/whole/b.h"', "engine/whole/b.h": ""}, "may include"),
        ({"python/a.cc": '#include "engine/core/b.h"', "engine/core/b.h": ""}, "may include"),
        ({"engine/a.h": ""}, "lies in no room"),
        ({"dict/a.h": '#include "dict/missing.h"'}, "no file of a room"),
        ({"dict/a.h": '#include "dict/b.h"', "dict/b.cc": '#include "dict/a.h"', "dict/b.h": ""},
         "include cycle: dict/a -> dict/b -> dict/a"),
    ],
    ids=["down", "up", "binding-into-core", "outside", "missing", "cycle"],
)  # fmt: skip
def test_faults(tmp_path: Path, files: dict[str, str], fault: str | None) -> None:
    for name, text in files.items():
        (tmp_path / name).parent.mkdir(parents=True, exist_ok=True)
        (tmp_path / name).write_text(text + "\n")
    faults = check_includes.check(tmp_path)
    if fault is None:
        assert faults == []
    else:
        assert len(faults) == 1 and fault in faults[0], faults
