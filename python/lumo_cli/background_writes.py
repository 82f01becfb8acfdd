"""Writing converted pieces while the next ones convert.

A conversion holds the interpreter's lock and makes no system call; a write
is mostly a system call, which runs without the lock. Writing each piece on
a thread of its own while the main thread converts the next lets the two
overlap instead of taking turns.
"""

from __future__ import annotations

import threading
from collections import deque
from collections.abc import Iterable
from typing import Callable

from .signals import held


class _Writer:
    """One thread that writes the pieces given to it, in order, one at a
    time. give() and finish() run with signals held: an interrupt raised
    inside a semaphore's own code could leave its lock held, and the thread,
    or finish(), waiting for it for ever. So a signal waits for them, which
    is at most for one piece to be written. Where signals are not handled
    by the command (a Ctrl-C raised by Python's own handler), an interrupt
    in give() must still let finish() end: finish() takes no lock that
    give() may have left held, and the thread takes every piece queued at
    each wake, so that it always reaches the end mark."""

    def __init__(self, write: Callable[[bytes], None]) -> None:
        self._write = write
        self._pieces: deque[bytes | None] = deque()  # None marks the end
        self._error: BaseException | None = None
        self._queued = threading.Semaphore(0)  # released once a piece or the end is queued
        self._room = threading.Semaphore(1)  # held while a piece waits or is written
        self._thread = threading.Thread(target=self._run, name="lumo-writer", daemon=True)
        self._thread.start()

    def _run(self) -> None:
        while True:
            self._queued.acquire()
            while self._pieces:
                piece = self._pieces.popleft()
                if piece is None:
                    return
                try:
                    if self._error is None:
                        self._write(piece)
                except BaseException as error:
                    self._error = error
                self._room.release()

    def give(self, piece: bytes) -> None:
        """Waits for the piece before to be written, raising what writing it
        raised, and queues `piece`."""
        with held():
            self._room.acquire()
            if self._error is not None:
                raise self._error
            self._pieces.append(piece)
            self._queued.release()

    def finish(self) -> BaseException | None:
        """Waits for the pieces queued to be written and ends the thread;
        returns what writing a piece raised, if anything did."""
        with held():
            self._pieces.append(None)
            self._queued.release()
            self._thread.join()
        return self._error


def write_all(pieces: Iterable[bytes], write: Callable[[bytes], None]) -> None:
    """Writes the pieces in order with `write`: the first at once, each next
    one on a thread while the piece after it is made. Returns once all are
    written, and in any case no write is still running when it returns or
    raises (a descriptor closed afterwards must not be written to); errors
    from `write` and from the pieces propagate, the first one raised."""
    writer: _Writer | None = None
    try:
        for piece in pieces:
            if writer is None:
                write(piece)
                with held():  # starting a thread waits on a lock too
                    writer = _Writer(write)
            else:
                writer.give(piece)
    except BaseException:
        if writer is not None:
            writer.finish()
        raise
    if writer is not None:
        error = writer.finish()
        if error is not None:
            raise error
