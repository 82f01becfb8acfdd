"""The lumo command: converts files and streams of Chinese text with the lumo
module, detects their script variant and lists the configurations.

``lumo -h`` describes it; main() is the console script's entry point.
"""

from __future__ import annotations

import os
import signal
import sys
from collections.abc import Sequence
from typing import TYPE_CHECKING

from .errors import FAILED, PIPE_CLOSED, CliError, StdoutClosed, interrupted_status
from .errors import report as _report
from .signals import handled, signal_of

if TYPE_CHECKING:
    from .options import ServeOptions

__all__ = ["main"]


def _silence_stdout() -> None:
    """Points standard output at /dev/null, so that flushing it at exit
    cannot fail again once its reader has gone."""
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        os.close(devnull)
    except (OSError, ValueError):
        pass


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command with `argv` (default: sys.argv[1:]) and returns its
    exit status."""
    args = list(sys.argv[1:] if argv is None else argv)
    try:
        with handled():
            return _run(args)
    except KeyboardInterrupt as interrupt:
        signum = signal_of(interrupt)
        by = "" if signum == signal.SIGINT else f" by {signal.Signals(signum).name}"
        _report("interrupted" + by)
        return interrupted_status(signum)


def _serve(serve: ServeOptions) -> int:
    try:
        from lumo_serve import run
    except ImportError as error:
        raise CliError(
            f"serve: {error.name or 'a package'} is missing; install lumo with the serve"
            " extra: pip install 'lumo[serve]'"
        ) from None
    run(serve.host, serve.port, serve.max_bytes, serve.max_file_bytes)
    return 0


def _run(args: list[str]) -> int:
    try:
        # Imported here, so that Ctrl-C during the imports is handled too.
        from . import options

        if args[:1] == ["detect"]:
            from .detection import run_detect
            from .text_codecs import resolve_encoding

            detect = options.parse_detect(args[1:])
            codec = resolve_encoding(detect.encoding, "--encoding")
            return run_detect(detect.inputs, codec, detect.as_json)
        if options.names_serve(args):
            return _serve(options.parse_serve(args[1:]))
        if args[:1] == ["configs"]:
            from .config_table import run_configs

            options.parse_configs(args[1:])
            return run_configs()
        from .conversion import run_convert

        return run_convert(options.parse_convert(args))
    except CliError as error:
        _report(error.message)
        return error.status
    except (StdoutClosed, BrokenPipeError):
        _silence_stdout()
        return PIPE_CLOSED
    except MemoryError:
        _report("out of memory")
        return FAILED
