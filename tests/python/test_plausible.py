"""Which alternatives matter (--plausible, and the page's default view), and
the line and column numbers of --ambiguities."""

import json
import subprocess
import sys
from pathlib import Path

import pytest
from lumo_cli.plausible import plausible_alternatives
from lumo_cli.streaming import LinePosition

ROOT = Path(__file__).resolve().parents[2]
LUMO = [sys.executable, "-m", "lumo_cli"]


def test_the_table_is_what_the_dictionaries_give():
    tool = ROOT / "tools" / "gen_rare_alternatives.py"
    assert subprocess.run([sys.executable, tool, "--check"]).returncode == 0


@pytest.mark.parametrize(
    "source, alternatives, plausible",
    [
        # Forms the phrase tables use only in a few set phrases.
        ("秋", ("鞦",), ()),
        ("冬", ("鼕",), ()),
        ("个", ("箇",), ()),
        ("了", ("瞭",), ()),
        ("夫", ("伕",), ()),
        ("干", ("乾", "干", "榦"), ("乾", "干")),
        # Real choices for a character alone.
        ("发", ("髮",), ("髮",)),
        ("系", ("係", "繫"), ("係", "繫")),
        ("欲", ("慾",), ("慾",)),
        ("于", ("于",), ("于",)),
        # Phrases: the dictionaries chose between them, all stay.
        ("视频", ("視訊",), ("視訊",)),
        ("干了", ("乾了",), ("乾了",)),
        ("秋千", ("鞦韆",), ("鞦韆",)),
    ],
)
def test_rare_forms_on_their_own_are_left_out(source, alternatives, plausible):
    assert plausible_alternatives(source, alternatives) == plausible


TEXT = "秋，冬，个人的头发。\r\n干。系\r\r\n视频\n发"


def positions(text):
    """(line, column) of every character, counted plainly."""
    found, line, column, index = [], 1, 1, 0
    while index < len(text):
        found.append((line, column))
        step = 2 if text.startswith("\r\n", index) else 1
        if text[index] in "\r\n":
            found += [(line, column + 1)] * (step - 1)
            line, column = line + 1, 1
        else:
            column += 1
        index += step
    return found


@pytest.mark.parametrize("chunk", [1, 2, 3, 4096])
@pytest.mark.parametrize("plausible", [False, True])
def test_ambiguities_give_lines_and_columns(chunk, plausible):
    option = ["--plausible"] if plausible else []
    result = subprocess.run(
        [*LUMO, "-c", "s2t", "--ambiguities", *option, "--chunk-size", str(chunk)],
        input=TEXT.encode(), capture_output=True, check=True,
    )  # fmt: skip
    lines = [json.loads(line) for line in result.stdout.decode().splitlines()]
    spans, summary = lines[:-1], lines[-1]["summary"]
    where = positions(TEXT)
    for span in spans:
        assert (span["line"], span["column"]) == where[span["input_offset"]]
        assert TEXT[span["input_offset"] :].startswith(span["source"])
    shown = {span["source"]: span["alternatives"] for span in spans}
    assert ("秋" in shown) != plausible and shown["发"] == ["髮"]
    assert shown["干"] == (["乾", "干"] if plausible else ["乾", "干", "榦"])
    assert summary["ambiguous_spans"] == len(spans)


def test_mark_plausible_keeps_the_choices_that_matter():
    command = [*LUMO, "-c", "s2t", "--mark", "--plausible"]
    marked = subprocess.run(command, input="秋冬个了干发".encode(), capture_output=True, check=True)
    assert marked.stdout.decode() == "秋冬個了{幹|乾|干}{發|髮}"


def test_plausible_needs_an_explanation():
    result = subprocess.run([*LUMO, "-c", "s2t", "--plausible"], input=b"", capture_output=True)
    assert result.returncode == 2
    assert b"--plausible goes with --ambiguities or --mark" in result.stderr


@pytest.mark.parametrize(
    "pieces, end",
    [(["ab"], (1, 3)), (["a\r", "\nb"], (2, 2)), (["\r", "\r\n", "x"], (3, 2)), (["\n\n"], (3, 1))],
)
def test_line_position_across_pieces(pieces, end):
    position = LinePosition()
    for piece in pieces:
        position.advance(piece)
    assert (position.line, position.column) == end
