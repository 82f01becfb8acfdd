"""The README's tables of configurations and region routes, which
tools/configuration_tables.py writes from data/config/configurations.json."""

from __future__ import annotations

import importlib.util
from pathlib import Path

import lumo

_spec = importlib.util.spec_from_file_location(
    "configuration_tables",
    Path(__file__).resolve().parents[2] / "tools" / "configuration_tables.py",
)
assert _spec is not None and _spec.loader is not None
configuration_tables = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(configuration_tables)


def test_the_readme_tables_follow_the_list() -> None:
    readme = configuration_tables.README.read_text(encoding="utf-8")
    entries = configuration_tables.read_configurations()
    written = configuration_tables.render(readme, entries, lumo.locales())
    assert written == readme, (
        "README.md's tables differ from data/config/configurations.json;"
        " run .venv/bin/python tools/configuration_tables.py"
    )
