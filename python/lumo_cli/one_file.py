"""The conversion of one input to one output, with every failure turned
into a FileError naming the file it is about."""

from __future__ import annotations

import io
import os
from dataclasses import dataclass
from typing import BinaryIO, Callable, cast

import lumo

from .errors import FileError, StdoutClosed
from .output_files import replacing
from .streaming import CHUNK_BYTES, MAX_HELD_MIB, HeldTooMuch, convert_bytes
from .tasks import Task, standard_input, standard_output
from .text_codecs import Decoder, Encoder


@dataclass(frozen=True)
class StreamSettings:
    """How bytes become text and back, the same for every input."""

    input_codec: str = "utf-8"
    output_codec: str = "utf-8"
    replace_errors: bool = False
    chunk_bytes: int = CHUNK_BYTES
    explain: str | None = None  # "ambiguities" or "mark": spans instead of the text
    config: str = ""  # the converter's configuration, named in hints
    max_held_mib: int = MAX_HELD_MIB  # 0: no bound on the text held without a place to cut
    plausible: bool = False  # with `explain`: only the alternatives that matter


def _describe(error: OSError) -> str:
    return error.strerror or str(error)


def _reader(file: BinaryIO, label: str) -> Callable[[memoryview], int]:
    # Files opened "rb" and standard input's buffer are buffered readers; a
    # raw one has readinto alone.
    reader = cast(io.BufferedIOBase, file)
    read_into: Callable[[memoryview], int | None] = getattr(reader, "readinto1", reader.readinto)

    def read(buffer: memoryview) -> int:
        try:
            return read_into(buffer) or 0
        except OSError as error:
            raise FileError(f"{label}: {_describe(error)}") from None

    return read


def _writer(descriptor: int, label: str) -> Callable[[bytes], None]:
    # Straight to the descriptor: a buffered writer may report a write cut
    # short by a closed pipe as done, and lose the rest without an error.
    def write(data: bytes) -> None:
        view = memoryview(data)
        try:
            while view:
                view = view[os.write(descriptor, view) :]
        except BrokenPipeError:
            raise StdoutClosed() from None
        except OSError as error:
            raise FileError(f"{label}: {_describe(error)}") from None

    return write


def convert_task(
    converter: lumo.Converter,
    task: Task,
    settings: StreamSettings,
    on_read: Callable[[int], None] = lambda size: None,
) -> None:
    """Converts `task.source` into `task.target`. A target file is replaced
    only when the whole input converted; standard output gets the text as it
    comes. Raises FileError, or StdoutClosed when standard output's reader
    went away."""
    label = task.label
    decoder = Decoder(settings.input_codec, label)
    encoder = Encoder(settings.output_codec, label, settings.replace_errors, settings.config)
    try:
        source = standard_input() if task.source is None else open(task.source, "rb")
    except OSError as error:
        raise FileError(f"{label}: {_describe(error)}") from None
    try:
        read = _reader(source, label)

        mib = settings.max_held_mib

        def convert_into(descriptor: int) -> None:
            write = _writer(descriptor, task.target_label)
            try:
                convert_bytes(converter, read, write, decoder, encoder, settings.chunk_bytes,
                              on_read, settings.explain, mib << 20 if mib else None,
                              settings.plausible)  # fmt: skip
            except HeldTooMuch:
                raise FileError(
                    f"{label}: found no safe place to cut the text within {mib} MiB; "
                    "give --max-held with more MiB, or 0 for no bound"
                ) from None

        if task.target is None:
            stdout = standard_output()
            stdout.flush()
            convert_into(stdout.fileno())
            return
        # Write where a symbolic link points rather than over the link.
        target = os.path.realpath(task.target)
        try:
            with replacing(target, redirect_hint=task.source != task.target) as descriptor:
                convert_into(descriptor)
        except OSError as error:
            raise FileError(f"{task.target_label}: {_describe(error)}") from None
    finally:
        if task.source is not None:
            source.close()
