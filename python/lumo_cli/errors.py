"""What can go wrong, as the command reports it: every error becomes one
line ``lumo: MESSAGE`` on standard error and an exit status."""

from __future__ import annotations

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
