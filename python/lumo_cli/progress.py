"""The progress bar on standard error: bytes read, speed and time left.

It is drawn only on a terminal, and only for work large enough to want one:
more than SHOW_BYTES of input, or more than SHOW_FILES files. When the size
of the input is unknown (a pipe), the bar appears once SHOW_BYTES have
passed. tqdm is imported only then, so small runs start fast.
"""

from __future__ import annotations

import sys
from typing import TYPE_CHECKING, NoReturn

from .errors import report

if TYPE_CHECKING:
    from tqdm import tqdm

SHOW_BYTES = 4 << 20
SHOW_FILES = 4


def wanted(quiet: bool, text_to_stdout: bool) -> bool:
    """Whether a bar may be drawn: standard error is a terminal, --quiet is
    not given, and the converted text does not go to that terminal too."""
    if quiet or sys.stderr is None or not sys.stderr.isatty():
        return False
    return not (text_to_stdout and sys.stdout is not None and sys.stdout.isatty())


class Progress:
    """Counts the bytes read and draws the bar once the work is large enough.
    Messages go through report() so that they do not tear the bar."""

    def __init__(self, enabled: bool, total_bytes: int | None, files: int) -> None:
        self._enabled = enabled
        self._total = total_bytes
        self._files = files
        self._done = 0
        self._bar: tqdm[NoReturn] | None = None
        self._label = ""
        if enabled and (files > SHOW_FILES or (total_bytes or 0) > SHOW_BYTES):
            self._show()

    def _show(self) -> None:
        from tqdm import tqdm

        tqdm.monitor_interval = 0  # no monitor thread
        self._bar = tqdm(
            total=self._total,
            initial=self._done,
            desc=self._label,
            unit="B",
            unit_scale=True,
            unit_divisor=1000,
            file=sys.stderr,
            dynamic_ncols=True,
            mininterval=0.2,
            leave=True,
        )

    def start_file(self, label: str) -> None:
        """Names the file now converting, when several are."""
        if self._files > 1:
            self._label = label if len(label) <= 30 else "…" + label[-29:]
            if self._bar is not None:
                self._bar.set_description_str(self._label, refresh=False)

    def advance(self, size: int) -> None:
        self._done += size
        if self._bar is not None:
            # types-tqdm spells the parameter's type with an alias that the
            # standard library stubs of some pyright releases lack.
            self._bar.update(size)  # pyright: ignore[reportUnknownMemberType]
        elif self._enabled and self._done > SHOW_BYTES:
            self._show()

    def report(self, message: str) -> None:
        """Reports `message` on standard error, above the bar."""
        bar = self._bar
        report(message, None if bar is None else lambda line: bar.write(line, file=sys.stderr))

    def close(self) -> None:
        if self._bar is not None:
            self._bar.close()
            self._bar = None
