"""The tables of configurations and region routes in README.md and on the
site, which tools/configuration_tables.py writes from
data/config/configurations.json."""

from __future__ import annotations

import importlib.util
from pathlib import Path

import lumo
import pytest

_spec = importlib.util.spec_from_file_location(
    "configuration_tables",
    Path(__file__).resolve().parents[2] / "tools" / "configuration_tables.py",
)
assert _spec is not None and _spec.loader is not None
configuration_tables = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(configuration_tables)


@pytest.mark.parametrize("page", configuration_tables.PAGES, ids=lambda page: page.name)
def test_the_tables_follow_the_list(page: Path) -> None:
    text = page.read_text(encoding="utf-8")
    assert configuration_tables.CONFIGURATIONS_MARKER in text
    entries = configuration_tables.read_configurations()
    written = configuration_tables.render(text, entries, lumo.locales())
    assert written == text, (
        f"{page.name}'s tables differ from data/config/configurations.json;"
        " run .venv/bin/python tools/configuration_tables.py"
    )
