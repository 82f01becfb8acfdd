"""How the command stops on a signal.

Ctrl-C (SIGINT), SIGTERM and SIGHUP all raise Interrupted, a
KeyboardInterrupt, in the main thread: every clean-up written for Ctrl-C
(temporary files removed, the writer thread and the worker processes waited
for) runs for the three alike, and the command exits with 128 + the
signal's number. A signal ignored when the command starts (SIGHUP under
nohup, SIGINT in a background job) stays ignored.

Only the first signal raises; later ones are dropped, so that they cannot
cut a clean-up short. Code that must not be cut at an arbitrary point runs
inside held(): a signal arriving there raises at the end of the block. That
covers a temporary file made but not yet known to its clean-up, and every
hand-over between threads: an exception raised inside threading's own
Python code can leave one of its locks held for ever, and the thread
waiting for that lock with it.
"""

from __future__ import annotations

import contextlib
import signal
import threading
from collections.abc import Collection, Generator
from types import FrameType

SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)


class Interrupted(KeyboardInterrupt):
    """The signal `signum` arrived; raised in the main thread."""

    def __init__(self, signum: int) -> None:
        super().__init__(signum)
        self.signum = signum


def signal_of(interrupt: KeyboardInterrupt) -> int:
    """The signal behind `interrupt`: SIGINT for a plain KeyboardInterrupt."""
    return interrupt.signum if isinstance(interrupt, Interrupted) else signal.SIGINT


_armed = False  # the next signal raises, at once or at the end of held()
_holding = 0  # how many held() blocks the main thread is in
_pending = 0  # the signal that arrived inside held()


def _on_signal(signum: int, frame: FrameType | None) -> None:
    global _armed, _pending
    if not _armed:
        return
    _armed = False
    if _holding:
        _pending = signum
    else:
        raise Interrupted(signum)


def not_ignored() -> list[int]:
    """The signals of SIGNALS this process does not ignore."""
    return [signum for signum in SIGNALS if signal.getsignal(signum) is not signal.SIG_IGN]


def install(signums: Collection[int]) -> None:
    """Handles `signums` (the others of SIGNALS are ignored) in this process,
    disarmed: for a worker process, which arms them while it converts."""
    for signum in SIGNALS:
        signal.signal(signum, _on_signal if signum in signums else signal.SIG_IGN)


@contextlib.contextmanager
def armed() -> Generator[None, None, None]:
    """The first signal handled that arrives in the block raises Interrupted."""
    global _armed, _pending
    _armed, _pending = True, 0
    try:
        yield
    finally:
        _armed, _pending = False, 0


@contextlib.contextmanager
def handled() -> Generator[list[int], None, None]:
    """Within the block, the first of SIGINT, SIGTERM and SIGHUP not ignored
    on entry raises Interrupted; yields the signals handled. Outside the
    main thread, where no handler can be set, it changes nothing."""
    if threading.current_thread() is not threading.main_thread():
        yield []
        return
    signums = not_ignored()
    with armed():
        previous = {signum: signal.signal(signum, _on_signal) for signum in signums}
        try:
            yield signums
        finally:
            for signum, handler in previous.items():
                signal.signal(signum, signal.SIG_DFL if handler is None else handler)


@contextlib.contextmanager
def held() -> Generator[None, None, None]:
    """A signal arriving in the block (in the main thread) raises at its end,
    in place of any other exception leaving it."""
    global _holding
    _holding += 1
    try:
        yield
    finally:
        _holding -= 1
        if not _holding:
            raise_pending()


def raise_pending() -> None:
    """Raises a signal that arrived inside held(), now: for a block that
    waits, at a point where it may stop."""
    global _pending
    if _pending:
        signum, _pending = _pending, 0
        raise Interrupted(signum)
