"""Which input goes to which output: the inputs and -o / --in-place of a
command line turned into a list of tasks, checked before anything runs."""

from __future__ import annotations

import os
import sys
from dataclasses import dataclass
from typing import BinaryIO

from .errors import FileError, UsageError, shown_name

STDIN_LABEL = "<stdin>"
STDOUT_LABEL = "<stdout>"


def standard_input() -> BinaryIO:
    """Standard input as bytes; FileError when the process was started without it."""
    if sys.stdin is None:
        raise FileError(f"{STDIN_LABEL}: Bad file descriptor")
    return sys.stdin.buffer


def standard_output() -> BinaryIO:
    """Standard output as bytes; FileError when the process was started without it."""
    if sys.stdout is None:
        raise FileError(f"{STDOUT_LABEL}: Bad file descriptor")
    return sys.stdout.buffer


@dataclass(frozen=True)
class Task:
    """One input to convert: `source` None is standard input, `target` None
    standard output."""

    source: str | None
    target: str | None

    @property
    def label(self) -> str:
        """The input's name as messages show it."""
        return STDIN_LABEL if self.source is None else shown_name(self.source)

    @property
    def target_label(self) -> str:
        """The output's name as messages show it."""
        return STDOUT_LABEL if self.target is None else shown_name(self.target)


def _same_file(first: str, second: str) -> bool:
    try:
        return os.path.samefile(first, second)
    except OSError:
        return os.path.realpath(first) == os.path.realpath(second)


def _identity(path: str) -> object:
    """What tells files apart: device and inode of an existing file, else its path."""
    try:
        found = os.stat(path)
    except OSError:
        return os.path.realpath(path)
    return (found.st_dev, found.st_ino)


def plan_tasks(inputs: list[str], output: str | None, in_place: bool) -> list[Task]:
    """The tasks for `inputs` ("-" is standard input; none means it alone).

    With `in_place` each input is its own target. Otherwise `output` names
    the one output file, or a folder to hold outputs named like their inputs:
    an existing folder, or a path ending in a slash, made if missing (with
    several inputs it must be one of these, so that a mistyped file name
    never quietly becomes a folder); or None for standard output. Raises
    UsageError when an output would overwrite an input without --in-place,
    when two inputs would go to one output, or when the options do not fit
    together."""
    sources = [None if name == "-" else name for name in inputs] or [None]
    folder: str | None = None
    tasks: list[Task]
    if in_place:
        if None in sources:
            raise UsageError("--in-place needs input files, not standard input")
        if output is not None and not (len(sources) == 1 and _same_file(output, inputs[0])):
            raise UsageError("--in-place replaces each input; -o cannot name another file")
        tasks = [Task(source, source) for source in sources]
    elif output is None:
        tasks = [Task(source, None) for source in sources]
    elif len(sources) > 1 or os.path.isdir(output) or output.endswith("/"):
        if not os.path.isdir(output):
            if os.path.lexists(output.rstrip("/") or output):
                raise UsageError(f"-o {shown_name(output)}: not a folder")
            if not output.endswith("/"):
                raise UsageError(
                    f"-o {shown_name(output)}: with several inputs, -o names an existing"
                    " folder, or ends with '/' to make one"
                )
        folder = output
        tasks = []
        for source in sources:
            if source is None:
                raise UsageError("standard input needs an output file name, not a folder")
            tasks.append(Task(source, os.path.join(folder, os.path.basename(source))))
    else:
        tasks = [Task(sources[0], output)]

    written: dict[object, Task] = {}
    for task in tasks:
        if task.source is None or task.target is None:
            continue
        if not in_place and _same_file(task.source, task.target):
            raise UsageError(
                f"-o would overwrite the input {task.label}; give --in-place to replace it"
            )
        other = written.setdefault(_identity(task.target), task)
        if other is not task:
            raise UsageError(
                f"{other.label} and {task.label} would both be written to {task.target_label}"
            )

    if folder is not None:
        try:
            os.makedirs(folder, exist_ok=True)
        except OSError as error:
            raise FileError(f"{shown_name(folder)}: {error.strerror or error}") from None
    return tasks
