"""Writes python/lumo_cli/rare_alternatives.py, the table behind the
command's --plausible option and the page's default view: for each
character that a character table converts to several values, the
alternatives that are rare on their own.

The rule: a one-character span is one the longest match found no phrase
for, so an alternative that the phrase tables write for this character in
few of the phrases that hold it (under SHARE_PERCENT) lives in set phrases
the match already tried (秋 as 鞦 in 鞦韆, 了 as 瞭 in 瞭解): here it is a
rare form. A phrase is counted where its key and value have the same
length, character by character. Characters that no phrase holds keep all
their alternatives.

    python tools/gen_rare_alternatives.py          # writes the table
    python tools/gen_rare_alternatives.py --check  # exit 1 if it is stale
"""

from __future__ import annotations

import sys
from collections import Counter
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
DICTIONARIES = ROOT / "data" / "dictionary"
TABLE = ROOT / "python" / "lumo_cli" / "rare_alternatives.py"

# Below this share of the phrases holding a character, an alternative is rare: 15 leaves
# out 伕 for 夫, 纔 for 才, 瀋 for 沈, and keeps 于 for 于 (16), 繫 for 系 (16), 髮 for 发 (24).
SHARE_PERCENT = 15


def _entries(path: Path) -> list[tuple[str, list[str]]]:
    entries = []
    for line in path.read_text(encoding="utf-8").splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        key, values = line.split("\t", 1)
        entries.append((key, values.split(" ")))
    return entries


def rare_alternatives() -> dict[str, str]:
    files = sorted(DICTIONARIES.glob("*.txt"))
    written: Counter[tuple[str, str]] = Counter()  # (character, as) in phrases
    held: Counter[str] = Counter()  # phrases holding the character
    for path in files:
        if "Phrases" not in path.name:
            continue
        for key, values in _entries(path):
            if len(key) > 1 and len(values[0]) == len(key):
                for character, value in zip(key, values[0]):
                    held[character] += 1
                    written[character, value] += 1
    rare: dict[str, str] = {}
    for path in files:
        if "Phrases" in path.name:
            continue
        for key, values in _entries(path):
            if len(key) != 1 or len(values) < 2 or not held[key]:
                continue
            found = "".join(
                value
                for value in values[1:]
                if len(value) == 1 and written[key, value] * 100 < held[key] * SHARE_PERCENT
            )
            if found:
                rare[key] = "".join(dict.fromkeys(rare.get(key, "") + found))
    return dict(sorted(rare.items()))


def render(rare: dict[str, str]) -> str:
    lines = [
        '"""For each character a character table converts to several values,',
        "the alternatives that are rare on their own. Generated from data/dictionary",
        'by tools/gen_rare_alternatives.py, which states the rule; do not edit."""',
        "",
        "RARE: dict[str, str] = {",
    ]
    lines += [f'    "{key}": "{value}",' for key, value in rare.items()]
    lines += ["}", ""]
    return "\n".join(lines)


def main(argv: list[str]) -> int:
    text = render(rare_alternatives())
    if argv[1:] == ["--check"]:
        if TABLE.read_text(encoding="utf-8") != text:
            print(f"{TABLE} is stale: run python tools/gen_rare_alternatives.py", file=sys.stderr)
            return 1
        return 0
    TABLE.write_text(text, encoding="utf-8")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
