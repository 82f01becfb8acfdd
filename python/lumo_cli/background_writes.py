"""Writing converted pieces while the next ones convert.

A conversion holds the interpreter's lock and makes no system call; a write
is mostly a system call, which runs without the lock. Writing each piece on
a thread of its own while the main thread converts the next lets the two
overlap instead of taking turns.
"""

from __future__ import annotations

import threading
from collections.abc import Iterable
from typing import Callable


class _Writer:
    """One thread that writes one piece at a time, in the order given."""

    def __init__(self, write: Callable[[bytes], None]) -> None:
        self._write = write
        self._piece: bytes | None = None
        self._error: BaseException | None = None
        self._given = threading.Lock()  # released when a piece (or None, to stop) is given
        self._given.acquire()
        self._free = threading.Lock()  # held while a piece is being written
        self._thread = threading.Thread(target=self._run, name="lumo-writer", daemon=True)
        self._thread.start()

    def _run(self) -> None:
        while True:
            self._given.acquire()
            piece, self._piece = self._piece, None
            if piece is None:
                return
            try:
                if self._error is None:
                    self._write(piece)
            except BaseException as error:
                self._error = error
            finally:
                self._free.release()

    def give(self, piece: bytes) -> None:
        """Waits for the piece before to be written, raising what writing it
        raised, and hands `piece` over."""
        self._free.acquire()
        if self._error is not None:
            self._free.release()
            raise self._error
        self._piece = piece
        self._given.release()

    def finish(self) -> BaseException | None:
        """Waits for the last piece to be written and ends the thread;
        returns what writing a piece raised, if anything did."""
        self._free.acquire()
        self._given.release()
        self._thread.join()
        return self._error


def write_all(pieces: Iterable[bytes], write: Callable[[bytes], None]) -> None:
    """Writes the pieces in order with `write`: the first at once, each next
    one on a thread while the piece after it is made. Returns once all are
    written; errors from `write` and from the pieces propagate, the first
    one raised."""
    writer: _Writer | None = None
    try:
        for piece in pieces:
            if writer is None:
                write(piece)
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
