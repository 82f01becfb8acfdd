"""Converts one byte stream into another in bounded memory.

The input is read in binary chunks, decoded incrementally, converted through
`Converter.convert_stream` and encoded and written piece by piece as the
converter hands them out, each written while the next converts; from UTF-8
to UTF-8, the bytes go through `Converter.convert_utf8_stream` as they are.
Explanations (`--ambiguities`, `--mark`) come from `Converter.explain_stream`
the same way. Memory stays near a few chunks whatever the size of the input,
and the output is byte for byte what converting the whole text at once would
give.
"""

from __future__ import annotations

import json
from collections.abc import Iterable, Iterator
from typing import Callable

import lumo

from .background_writes import write_all
from .plausible import plausible_alternatives
from .text_codecs import Decoder, Encoder

CHUNK_BYTES = 1 << 20  # bytes read at a time
MAX_HELD_MIB = 64  # the most text held while no safe place to cut it comes, by default


class HeldTooMuch(Exception):
    """The input offered no safe place to cut it within the bound of held
    text: it cannot be converted in bounded memory."""


def convert_bytes(
    converter: lumo.Converter,
    read: Callable[[memoryview], int],
    write: Callable[[bytes], None],
    decoder: Decoder,
    encoder: Encoder,
    chunk_bytes: int = CHUNK_BYTES,
    on_read: Callable[[int], None] = lambda size: None,
    explain: str | None = None,
    max_held: int | None = MAX_HELD_MIB << 20,
    plausible: bool = False,
) -> None:
    """Reads with `read(buffer)`, which fills the start of the buffer and
    returns how many bytes it wrote, until it returns 0; writes the converted
    text with `write`, or with `explain` its ambiguities or the text marked
    (with `plausible`, only the alternatives that matter: plausible.py).
    `on_read` hears the size of every chunk read. The library holds at most
    `max_held` bytes (from UTF-8 to UTF-8) or characters of text while it
    finds no safe place to cut it (None: any amount); past that it raises
    HeldTooMuch. Errors from the decoder and encoder, and from `read` and
    `write`, propagate."""
    try:
        _convert_bytes(converter, read, write, decoder, encoder, chunk_bytes, on_read, explain,
                       max_held, plausible)  # fmt: skip
    except ValueError as error:
        # The library's one ValueError in a stream that is not about
        # decoding or encoding: the bound of held text.
        if isinstance(error, UnicodeError):
            raise
        raise HeldTooMuch(str(error)) from None


def _convert_bytes(
    converter: lumo.Converter,
    read: Callable[[memoryview], int],
    write: Callable[[bytes], None],
    decoder: Decoder,
    encoder: Encoder,
    chunk_bytes: int,
    on_read: Callable[[int], None],
    explain: str | None,
    max_held: int | None,
    plausible: bool,
) -> None:
    if explain is None and decoder.codec == encoder.codec == "utf-8":
        convert_utf8(converter, read, write, decoder, chunk_bytes, on_read, max_held)
        return

    def texts() -> Iterator[str]:
        for data in chunks(read, chunk_bytes):
            on_read(len(data))
            text = decoder.decode(bytes(data))
            if text:
                yield text
        text = decoder.decode(b"", final=True)
        if text:
            yield text

    if explain is None:
        pieces = converter.convert_stream(texts(), max_held=max_held)
        write_all(filter(None, map(encoder.encode, pieces)), write)
    else:
        # Spans come a line at a time: too small to pay for a thread's turn.
        spans = converter.explain_stream(texts(), max_held=max_held)
        if plausible:
            spans = only_plausible(spans)
        lines = (ambiguities if explain == "ambiguities" else marked)(spans)
        for data in map(encoder.encode, lines):
            if data:
                write(data)
    data = encoder.finish()
    if data:
        write(data)


def chunks(read: Callable[[memoryview], int], chunk_bytes: int) -> Iterator[memoryview]:
    """The input, `chunk_bytes` at most at a time, read into one buffer: a
    chunk is gone once the next is asked for. A buffer used again keeps its
    pages, where one made for each chunk has the system fault them in anew
    (a third of the time, with reads of 1 MiB)."""
    view = memoryview(bytearray(chunk_bytes))
    while True:
        size = read(view)
        if size == 0:
            return
        yield view[:size]


def convert_utf8(
    converter: lumo.Converter,
    read: Callable[[memoryview], int],
    write: Callable[[bytes], None],
    decoder: Decoder,
    chunk_bytes: int,
    on_read: Callable[[int], None],
    max_held: int | None,
) -> None:
    """convert_bytes from UTF-8 to UTF-8: the bytes go to the library as
    they are read, and its pieces are written as they come, without
    decoding or encoding them here."""
    fed = 0

    def counted() -> Iterator[memoryview]:
        nonlocal fed
        for data in chunks(read, chunk_bytes):
            on_read(len(data))
            fed += len(data)
            yield data

    try:
        write_all(converter.convert_utf8_stream(counted(), max_held=max_held), write)
    except UnicodeDecodeError as error:
        # Its object is what was held back, then the last chunk read (or
        # nothing, at the end): it ends after `fed` bytes.
        raise decoder.error(error, fed) from None


Span = tuple[str, str, tuple[str, ...]]


def only_plausible(spans: Iterable[Span]) -> Iterator[Span]:
    """The spans with only their plausible alternatives (plausible.py)."""
    for source, target, alternatives in spans:
        yield source, target, plausible_alternatives(source, alternatives)


class LinePosition:
    """The line and column (both from 1, columns in characters) reached in a
    text read piece by piece. CRLF, CR and LF each end a line, even when a
    CRLF is cut between two pieces."""

    def __init__(self) -> None:
        self.line = 1
        self.column = 1
        self._after_cr = False

    def advance(self, text: str) -> None:
        if not text:
            return
        breaks = text.count("\n") + text.count("\r") - text.count("\r\n")
        if self._after_cr and text[0] == "\n":
            breaks -= 1  # the LF of a CRLF whose CR ended the last piece
        self.line += breaks
        last = max(text.rfind("\n"), text.rfind("\r"))
        self.column = self.column + len(text) if last < 0 else len(text) - last
        self._after_cr = text[-1] == "\r"


def ambiguities(spans: Iterable[Span]) -> Iterator[str]:
    """JSON lines: one per span with alternatives, with its offsets in the
    input and the output (in characters) and its line and column in the
    input, then a summary line."""
    source_offset = target_offset = count = 0
    position = LinePosition()
    for source, target, alternatives in spans:
        if alternatives:
            count += 1
            span = {
                "input_offset": source_offset,
                "output_offset": target_offset,
                "line": position.line,
                "column": position.column,
                "source": source,
                "target": target,
                "alternatives": list(alternatives),
            }
            yield json.dumps(span, ensure_ascii=False) + "\n"
        source_offset += len(source)
        target_offset += len(target)
        position.advance(source)
    summary = {"ambiguous_spans": count, "input_characters": source_offset,
               "output_characters": target_offset}  # fmt: skip
    yield json.dumps({"summary": summary}, ensure_ascii=False) + "\n"


def marked(spans: Iterable[Span]) -> Iterator[str]:
    """The converted text with each span that had alternatives written as
    {chosen|other|...}."""
    for _, target, alternatives in spans:
        yield "{" + "|".join((target, *alternatives)) + "}" if alternatives else target
