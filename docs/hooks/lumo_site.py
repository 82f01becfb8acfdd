"""The site's MkDocs hook: the version in the header comes from
pyproject.toml, and the Command line page shows the help and the options
of the command's own argument parser, so that the page cannot drift from
the command. A page asks for them with these marker lines:

    <!-- lumo: help convert -->     the help of `lumo`, as `lumo -h` prints it
    <!-- lumo: help detect -->      the help of `lumo detect`
    <!-- lumo: help configs -->     the help of `lumo configs`
    <!-- lumo: options -->          a table of the conversion's options
"""

from __future__ import annotations

import argparse
import contextlib
import io
import os
import re
from pathlib import Path
from typing import Any

ROOT = Path(__file__).resolve().parents[2]
MARKER = re.compile(r"^<!-- lumo: (help \w+|options) -->$", re.MULTILINE)


def project_version() -> str:
    try:
        import tomllib
    except ImportError:  # Python 3.10 and older: the installed distribution's.
        from importlib.metadata import version

        return version("lumo")
    with open(ROOT / "pyproject.toml", "rb") as file:
        return str(tomllib.load(file)["project"]["version"])


def on_config(config: Any, **kwargs: Any) -> Any:
    config.site_name = f"lumo {project_version()}"
    return config


def command_help(name: str) -> str:
    from lumo_cli import options

    parse = {
        "convert": options.parse_convert,
        "detect": options.parse_detect,
        "configs": options.parse_configs,
    }[name]
    printed = io.StringIO()
    width = os.environ.get("COLUMNS")
    os.environ["COLUMNS"] = "80"
    try:
        with contextlib.redirect_stdout(printed), contextlib.suppress(SystemExit):
            parse(["--help"])
    finally:
        if width is None:
            del os.environ["COLUMNS"]
        else:
            os.environ["COLUMNS"] = width
    return "```text\n" + printed.getvalue().rstrip() + "\n```"


def options_table() -> str:
    from lumo_cli import options

    rows = ["| Option | Takes | Default | What it does |", "|---|---|---|---|"]
    for action in options._convert_parser()._actions:
        if not action.option_strings or action.help == argparse.SUPPRESS:
            continue
        names = ", ".join(f"`{name}`" for name in action.option_strings)
        takes = "" if action.nargs == 0 else f"`{action.metavar or action.dest.upper()}`"
        if action.choices:
            takes = " or ".join(f"`{choice}`" for choice in action.choices)
        shown = action.default not in (None, False, [], argparse.SUPPRESS) and action.nargs != 0
        default = f"`{action.default}`" if shown else ""
        text = (action.help or "").replace("|", "\\|").replace("{", "&#123;").replace("*", "\\*")
        rows.append(f"| {names} | {takes} | {default} | {text} |")
    return "\n".join(rows)


def on_page_markdown(markdown: str, **kwargs: Any) -> str:
    def expand(found: re.Match[str]) -> str:
        what = found.group(1)
        return options_table() if what == "options" else command_help(what.split()[1])

    return MARKER.sub(expand, markdown)
