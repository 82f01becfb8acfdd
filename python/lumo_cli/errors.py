"""What can go wrong, as the command reports it: every error becomes one
line ``lumo: MESSAGE`` on standard error and an exit status."""

from __future__ import annotations

import sys
from typing import Callable

SUCCESS = 0
FAILED = 1  # an input, output or conversion error
USAGE = 2  # the command line is wrong; nothing was converted
PIPE_CLOSED = 141  # standard output closed early: 128 + SIGPIPE, as for other tools


def interrupted_status(signum: int) -> int:
    """The exit status after the signal `signum`: 128 + its number, as shells
    report a command it ended (130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP)."""
    return 128 + signum


class CliError(Exception):
    """An error reported as the line ``lumo: <message>``, causing exit `status`."""

    status = FAILED

    def __init__(self, message: str) -> None:
        super().__init__(message)
        self.message = message


class UsageError(CliError):
    """A wrong command line, found before anything is converted."""

    status = USAGE


class FileError(CliError):
    """One input that could not be read, decoded, converted, encoded or written.
    The message starts with the name of the file it is about."""

    status = FAILED


class StdoutClosed(Exception):
    """Standard output was closed by its reader, as in ``lumo ... | head``."""


def report(message: str, write: Callable[[str], None] | None = None) -> None:
    """Writes the line ``lumo: MESSAGE`` to standard error, or hands it to
    `write` (a progress bar's, which keeps the bar below it). A line break
    left in the message is escaped: one line per error, whatever it holds.
    Nothing is written where standard error has gone."""
    line = "lumo: " + message.replace("\n", "\\n").replace("\r", "\\r")
    try:
        if write is None:
            print(line, file=sys.stderr, flush=True)
        else:
            write(line)
    except (OSError, ValueError):
        pass  # standard error has gone (a terminal hung up)


def shown_name(path: str) -> str:
    """A file name as the command writes it in messages and in detect's
    lines: as it is when every character is printable, otherwise as a quoted
    Python string literal (``'a\\nb.txt'``), so that a name holding a line
    feed, a tab, a control or format character, or bytes that are not UTF-8
    keeps its line whole. A name that starts with a quote is quoted too, so
    that every name shown can be read back exactly."""
    if path.isprintable() and not path.startswith(("'", '"')):
        return path
    return repr(path)
