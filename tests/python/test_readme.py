"""README.md stays a landing page: short, and its links lead to files of the
repository (the site's pages under docs/ among them). Its examples run with
the site's, through conftest.py."""

import re
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
README = ROOT / "README.md"


def test_the_readme_is_at_most_200_lines():
    assert len(README.read_text(encoding="utf-8").splitlines()) <= 200


def test_the_readmes_relative_links_lead_to_files():
    targets = re.findall(r"\]\(([^)#]+)(?:#[^)]*)?\)", README.read_text(encoding="utf-8"))
    relative = [target for target in targets if "://" not in target]
    assert relative
    assert [target for target in relative if not (ROOT / target).exists()] == []
