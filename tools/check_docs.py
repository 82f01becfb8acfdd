"""Checks the built documentation site: every public name of the module
appears in its API reference, as the anchor mkdocstrings gives it. Public
names are lumo.__all__ and the public methods and attributes of the
module's classes. Exits with status 1 and the missing names otherwise.

    python tools/check_docs.py [SITE]    # SITE: out/site by default
"""

from __future__ import annotations

import inspect
import sys
from pathlib import Path

import lumo

ROOT = Path(__file__).resolve().parents[1]


def public_names() -> list[str]:
    names = []
    for name in lumo.__all__:
        names.append(f"lumo.{name}")
        value = getattr(lumo, name)
        if inspect.isclass(value):
            members = [member for member in dir(value) if not member.startswith("_")]
            names += [f"lumo.{name}.{member}" for member in members]
    return names


def missing_names(site: Path) -> list[str]:
    page = (site / "api.html").read_text(encoding="utf-8")
    return [name for name in public_names() if f'id="{name}"' not in page]


def main() -> None:
    site = Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "out" / "site"
    missing = missing_names(site)
    if missing:
        sys.exit(f"not in {site / 'api.html'}: {', '.join(missing)}")
    print(f"{len(public_names())} public names in {site / 'api.html'}")


if __name__ == "__main__":
    main()
