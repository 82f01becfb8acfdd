"""Output files that appear whole or not at all.

The text goes to a temporary file in the target's own folder, which is
renamed over the target only once everything is written (and, when it
replaces a file, synced to the disk). On any error, or Ctrl-C, SIGTERM or
SIGHUP, the temporary file is removed and the target, if there is one,
stays as it was. A target that is not a regular file (/dev/null, a named
pipe, a terminal) is written in place: renaming over it would put a plain
file where the device or pipe was.

A file that replaces another takes over its mode, its owner and group
where this process may set them, and its extended attributes (ACLs and
security labels among them) where it may write them. Where the owner or
the group cannot be kept, the set-user-ID and set-group-ID bits they would
run with are dropped, as cp does. All of it is set once the text is
written, since a write by an unprivileged process clears those bits. A new
file gets the mode the umask leaves of 0666. What is replaced is the
target's name: other hard links to the old file keep the old text.
"""

from __future__ import annotations

import contextlib
import errno
import os
import stat
import tempfile
from collections.abc import Generator

from .signals import held

TEMP_SUFFIX = ".lumo-tmp"

# An extended attribute that cannot be read or written here is left out;
# any other failure is an error of the output.
_ATTRIBUTE_SKIPPED = {errno.EPERM, errno.EACCES, errno.ENOTSUP, errno.EOPNOTSUPP,
                      errno.ENODATA, errno.EINVAL}  # fmt: skip
# A file capability grants rights as a set-user-ID bit does.
_CAPABILITY = "security.capability"


def _new_file_mode() -> int:
    with held():  # the umask can only be read by setting it
        umask = os.umask(0)
        os.umask(umask)
    return 0o666 & ~umask


def _keep_owner(descriptor: int, old: os.stat_result) -> int:
    """Gives the file at `descriptor` the owner and group of `old` where this
    process may, and returns old's mode without the set-id bits whose owner
    or group could not be kept."""
    for owner in (old.st_uid, -1):
        try:
            os.fchown(descriptor, owner, old.st_gid)
            break
        except OSError:
            pass
    new = os.fstat(descriptor)
    mode = stat.S_IMODE(old.st_mode)
    if new.st_uid != old.st_uid:
        mode &= ~(stat.S_ISUID | stat.S_ISGID)
    elif new.st_gid != old.st_gid:
        mode &= ~stat.S_ISGID
    return mode


def _copy_attributes(source: str, descriptor: int, owner_kept: bool) -> None:
    """Copies the extended attributes of the file `source` to the file at
    `descriptor`, each one this process may read and write."""
    if not hasattr(os, "listxattr"):
        return
    try:
        names = os.listxattr(source)
    except OSError as error:
        if error.errno in _ATTRIBUTE_SKIPPED:
            return
        raise
    for name in names:
        if name == _CAPABILITY and not owner_kept:
            continue
        try:
            os.setxattr(descriptor, name, os.getxattr(source, name))
        except OSError as error:
            if error.errno not in _ATTRIBUTE_SKIPPED:
                raise


def _take_over(descriptor: int, target: str, old: os.stat_result) -> None:
    """Gives the file at `descriptor` what it keeps of the file `target`."""
    mode = _keep_owner(descriptor, old)
    _copy_attributes(target, descriptor, os.fstat(descriptor).st_uid == old.st_uid)
    # Last: changing the owner clears the set-id bits.
    os.fchmod(descriptor, mode)


def _make_temporary(target: str, redirect_hint: bool) -> tuple[int, str]:
    folder, name = os.path.split(target)
    folder = folder or "."
    try:
        return tempfile.mkstemp(prefix=f".{name}.", suffix=TEMP_SUFFIX, dir=folder)
    except PermissionError as error:
        hint = ""
        if redirect_hint and os.access(target, os.W_OK):
            hint = "; a shell redirect (> FILE) writes the file in place instead"
        raise PermissionError(
            error.errno,
            f"cannot make a temporary file in its folder: {error.strerror} (the output is"
            f" written whole under a temporary name there, then renamed){hint}",
        ) from None


@contextlib.contextmanager
def replacing(target: str, redirect_hint: bool = False) -> Generator[int, None, None]:
    """The descriptor of a file to write; on leaving the block without an
    exception the file replaces `target` (a path without symbolic links),
    taking over what it can of the file it replaces. Raises OSError when the
    folder is not writable; with `redirect_hint` (never for a target that is
    also the input) its message suggests a shell redirect where the target
    itself is writable."""
    try:
        old: os.stat_result | None = os.stat(target)
    except FileNotFoundError:
        old = None
    if old is not None and not stat.S_ISREG(old.st_mode):
        descriptor = os.open(target, os.O_WRONLY)
        try:
            yield descriptor
        finally:
            os.close(descriptor)
        return
    descriptor, temp = -1, ""
    try:
        # A signal waits while the file is made, until the clean-up below
        # knows it: landing between the two, it would leave the file behind.
        with held():
            descriptor, temp = _make_temporary(target, redirect_hint)
        yield descriptor
        if old is None:
            os.fchmod(descriptor, _new_file_mode())
        else:
            _take_over(descriptor, target, old)
            # A file that replaces another reaches the disk before the
            # rename, so that a crash cannot leave the old one gone and the
            # new one empty; a new file needs no such wait.
            os.fsync(descriptor)
        with held():
            written, descriptor = descriptor, -1
            os.close(written)
        os.replace(temp, target)
    except BaseException:
        with held():
            if descriptor >= 0:
                with contextlib.suppress(OSError):
                    os.close(descriptor)
            if temp:
                with contextlib.suppress(OSError):
                    os.unlink(temp)
        raise
