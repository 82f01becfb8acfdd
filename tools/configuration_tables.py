"""Writes the table of configurations and the table of region routes, in
README.md and on the site's first page, from data/config/configurations.json,
the one list of configurations. Each table follows a marker comment and runs
to the first line that does not start with "|"; a page holds the tables whose
markers it has. The routes' rows and columns are the region codes in the
order of lumo.locales().

    .venv/bin/python tools/configuration_tables.py    # rewrites the tables in PAGES
"""

from __future__ import annotations

import json
from pathlib import Path
from typing import Any

ROOT = Path(__file__).resolve().parents[1]
PAGES = (ROOT / "README.md", ROOT / "docs" / "index.md")
CONFIGURATIONS = ROOT / "data" / "config" / "configurations.json"
CONFIGURATIONS_MARKER = "<!-- The configurations, written by tools/configuration_tables.py. -->"
ROUTES_MARKER = "<!-- The region routes, written by tools/configuration_tables.py. -->"


def row(cells: list[str]) -> str:
    return "|" + "".join(f" {cell} |" if cell else " |" for cell in cells)


def configurations_table(entries: list[dict[str, Any]]) -> list[str]:
    rows = [row([f"`{entry['name']}`", entry["from"], entry["to"]]) for entry in entries]
    return [row(["Name", "From", "To"]), "|---|---|---|", *rows]


def routes_table(entries: list[dict[str, Any]], regions: list[str]) -> list[str]:
    served = {(source, target): entry["name"] for entry in entries
              for source, target in entry["routes"]}  # fmt: skip
    rows = [
        row([source, *(f"`{served[source, target]}`" if (source, target) in served else ""
                       for target in regions)])
        for source in regions
    ]  # fmt: skip
    return [row(["from \\ to", *regions]), "|" + "---|" * (len(regions) + 1), *rows]


def replace_table(lines: list[str], marker: str, table: list[str]) -> list[str]:
    """`lines` with the table that follows `marker` replaced by `table`, or
    `lines` as they are when no line is `marker`."""
    if marker not in lines:
        return lines
    start = lines.index(marker) + 1
    end = start
    while end < len(lines) and lines[end].startswith("|"):
        end += 1
    return [*lines[:start], *table, *lines[end:]]


def render(page: str, entries: list[dict[str, Any]], regions: list[str]) -> str:
    """`page` with its tables written from `entries`, the parsed list."""
    lines = replace_table(page.split("\n"), CONFIGURATIONS_MARKER, configurations_table(entries))
    return "\n".join(replace_table(lines, ROUTES_MARKER, routes_table(entries, regions)))


def read_configurations() -> list[dict[str, Any]]:
    entries: list[dict[str, Any]] = json.loads(CONFIGURATIONS.read_text(encoding="utf-8"))
    return entries


def main() -> None:
    import lumo

    for page in PAGES:
        written = render(page.read_text(encoding="utf-8"), read_configurations(), lumo.locales())
        page.write_text(written, encoding="utf-8")


if __name__ == "__main__":
    main()
