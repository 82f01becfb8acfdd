"""Runs the examples of README.md and of the site's pages (docs/*.md) as
tests, with Sybil: `python` blocks of `>>>` lines are doctests whose shown
output must match, other `python` blocks run as they are, and `console`
blocks run each `$ ` line in bash and compare what it prints (standard
output and error together) with the lines under it. Each page runs in a
temporary folder of its own, with `lumo` on the PATH. `<!-- skip: next -->`
before a block leaves it to a test that imports the file it includes, and
`<!-- skip: start if(not installed("pyarrow"), reason=...) -->` skips the
examples up to `<!-- skip: end -->` where the extra they need is missing."""

from __future__ import annotations

import doctest
import importlib.util
import os
import shutil
import stat
import subprocess
import sys
import tempfile
from pathlib import Path
from typing import Any

from sybil import Example, Sybil
from sybil.parsers.markdown import (
    ClearNamespaceParser,
    CodeBlockParser,
    PythonCodeBlockParser,
    SkipParser,
)


def _lumo_environment(folder: Path) -> dict[str, str]:
    """The environment of a console block: a `lumo` on the PATH that runs the
    command with this interpreter and the module it imports."""
    import lumo
    import lumo_cli

    bin_folder = folder / ".bin"
    bin_folder.mkdir()
    script = bin_folder / "lumo"
    script.write_text(f'#!/bin/sh\nexec "{sys.executable}" -m lumo_cli "$@"\n')
    script.chmod(script.stat().st_mode | stat.S_IXUSR)
    paths = [str(Path(lumo.__file__).parent), str(Path(lumo_cli.__file__).parents[1])]
    inherited = os.environ.get("PYTHONPATH")
    environment = dict(os.environ, LC_ALL="C.UTF-8", COLUMNS="80")
    environment["PATH"] = f"{bin_folder}{os.pathsep}{environment['PATH']}"
    environment["PYTHONPATH"] = os.pathsep.join([*paths, *([inherited] if inherited else [])])
    return environment


def _run_console(example: Example) -> str | None:
    """Runs each `$ ` line of the block; the lines up to the next one are what
    it must print."""
    folder = example.namespace["_folder"]
    if "_environment" not in example.namespace:
        example.namespace["_environment"] = _lumo_environment(folder)
    environment = example.namespace["_environment"]
    steps: list[tuple[str, list[str]]] = []
    for line in str(example.parsed).splitlines():
        if line.startswith("$ "):
            steps.append((line[2:], []))
        elif steps:
            steps[-1][1].append(line)
    for command, expected in steps:
        result = subprocess.run(
            ["bash", "-c", command],
            cwd=folder,
            env=environment,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE,
            stderr=subprocess.STDOUT,
            timeout=120,
        )
        printed = result.stdout.decode("utf-8", "replace").rstrip("\n").split("\n")
        if printed == [""]:
            printed = []
        if printed != expected:
            shown = "\n".join(["expected:", *expected, "got:", *printed])
            return f"$ {command}\n{shown}"
    return None


def _enter_folder(namespace: dict[str, Any]) -> None:
    # What a page's `<!-- skip: next if(...) -->` asks of the environment:
    # examples that need an extra (pyarrow: the arrow extra) are skipped
    # where it is not installed.
    namespace["installed"] = lambda name: importlib.util.find_spec(name) is not None
    namespace["_folder"] = Path(tempfile.mkdtemp(prefix="lumo-docs-"))
    namespace["_cwd"] = os.getcwd()
    os.chdir(namespace["_folder"])


def _leave_folder(namespace: dict[str, Any]) -> None:
    os.chdir(namespace["_cwd"])
    shutil.rmtree(namespace["_folder"], ignore_errors=True)


pytest_collect_file = Sybil(
    parsers=[
        PythonCodeBlockParser(doctest_optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE),
        CodeBlockParser(language="console", evaluator=_run_console),
        SkipParser(),
        ClearNamespaceParser(),
    ],
    patterns=["README.md", "docs/*.md"],
    setup=_enter_folder,
    teardown=_leave_folder,
).pytest()
