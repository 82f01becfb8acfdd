"""Output files that appear whole or not at all.

The text goes to a temporary file in the target's own folder, which is
renamed over the target only once everything is written (and, when it
replaces a file, synced to the disk). On any
error, or Ctrl-C, the temporary file is removed and the target, if there is
one, stays as it was. A target that is not a regular file (/dev/null, a
named pipe, a terminal) is written in place: renaming over it would put a
plain file where the device or pipe was.
"""

from __future__ import annotations

import contextlib
import os
import signal
import stat
import tempfile
from collections.abc import Generator

TEMP_SUFFIX = ".lumo-tmp"


def _hold_ctrl_c() -> set[int | signal.Signals] | None:
    """Holds Ctrl-C back from this thread; the mask to restore, or None where
    signals cannot be masked."""
    if not hasattr(signal, "pthread_sigmask"):
        return None
    return signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})


def _release_ctrl_c(previous: set[int | signal.Signals] | None) -> None:
    """Lets a Ctrl-C held back by _hold_ctrl_c() through; it raises here."""
    if previous is not None:
        signal.pthread_sigmask(signal.SIG_SETMASK, previous)


def _new_file_mode() -> int:
    umask = os.umask(0)
    os.umask(umask)
    return 0o666 & ~umask


@contextlib.contextmanager
def replacing(target: str) -> Generator[int, None, None]:
    """The descriptor of a file to write; on leaving the block without an
    exception the file replaces `target` (a path without symbolic links),
    keeping the mode of the file it replaces. Raises OSError when the folder
    is not writable."""
    try:
        status = os.stat(target)
        mode = stat.S_IMODE(status.st_mode)
    except FileNotFoundError:
        status = None
        mode = _new_file_mode()
    if status is not None and not stat.S_ISREG(status.st_mode):
        descriptor = os.open(target, os.O_WRONLY)
        try:
            yield descriptor
        finally:
            os.close(descriptor)
        return
    folder, name = os.path.split(target)
    # Ctrl-C waits while the file is created, until the block below owns it:
    # landing between the two, it would leave the file behind.
    held = _hold_ctrl_c()
    try:
        descriptor, temp = tempfile.mkstemp(
            prefix=f".{name}.", suffix=TEMP_SUFFIX, dir=folder or "."
        )
    except BaseException:
        _release_ctrl_c(held)
        raise
    try:
        try:
            _release_ctrl_c(held)
            os.fchmod(descriptor, mode)
            yield descriptor
            # A file that replaces another reaches the disk before the
            # rename, so that a crash cannot leave the old one gone and the
            # new one empty; a new file needs no such wait.
            if status is not None:
                os.fsync(descriptor)
        finally:
            os.close(descriptor)
        os.replace(temp, target)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(temp)
        raise
