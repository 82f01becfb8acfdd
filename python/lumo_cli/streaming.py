"""Converts one byte stream into another in bounded memory.

The input is read in binary chunks, decoded incrementally, converted through
`Converter.convert_stream` and encoded and written piece by piece as the
converter hands them out; from UTF-8 to UTF-8, the bytes go through
`Converter.convert_utf8_stream` as they are. Explanations (`--ambiguities`,
`--mark`) come from `Converter.explain_stream` the same way. Memory stays
near a few chunks whatever the size of the input, and the output is byte
for byte what converting the whole text at once would give.
"""

from __future__ import annotations

import json
from collections.abc import Iterable, Iterator
from typing import Callable

import lumo

from .text_codecs import Decoder, Encoder

CHUNK_BYTES = 1 << 20  # bytes read at a time


def convert_bytes(
    converter: lumo.Converter,
    read: Callable[[int], bytes],
    write: Callable[[bytes], None],
    decoder: Decoder,
    encoder: Encoder,
    chunk_bytes: int = CHUNK_BYTES,
    on_read: Callable[[int], None] = lambda size: None,
    explain: str | None = None,
) -> None:
    """Reads with `read(size)` until it returns b"", and writes the converted
    text with `write`, or with `explain` its ambiguities or the text marked.
    `on_read` hears the size of every chunk read. Errors from the decoder
    and encoder, and from `read` and `write`, propagate."""
    if explain is None and decoder.codec == encoder.codec == "utf-8":
        convert_utf8(converter, read, write, decoder, chunk_bytes, on_read)
        return

    def texts() -> Iterator[str]:
        while True:
            data = read(chunk_bytes)
            if not data:
                break
            on_read(len(data))
            text = decoder.decode(data)
            if text:
                yield text
        text = decoder.decode(b"", final=True)
        if text:
            yield text

    pieces = converter.convert_stream(texts())
    if explain is not None:
        pieces = (ambiguities if explain == "ambiguities" else marked)(converter, texts())
    for piece in pieces:
        data = encoder.encode(piece)
        if data:
            write(data)
    data = encoder.finish()
    if data:
        write(data)


def convert_utf8(
    converter: lumo.Converter,
    read: Callable[[int], bytes],
    write: Callable[[bytes], None],
    decoder: Decoder,
    chunk_bytes: int,
    on_read: Callable[[int], None],
) -> None:
    """convert_bytes from UTF-8 to UTF-8: the bytes go to the library as
    they are read, and its pieces are written as they come, without
    decoding or encoding them here."""
    fed = 0

    def chunks() -> Iterator[bytes]:
        nonlocal fed
        while True:
            data = read(chunk_bytes)
            if not data:
                break
            on_read(len(data))
            fed += len(data)
            yield data

    try:
        for piece in converter.convert_utf8_stream(chunks()):
            write(piece)
    except UnicodeDecodeError as error:
        # Its object is what was held back, then the last chunk read (or
        # nothing, at the end): it ends after `fed` bytes.
        raise decoder.error(error, fed) from None


def ambiguities(converter: lumo.Converter, texts: Iterable[str]) -> Iterator[str]:
    """JSON lines: one per span with alternatives, with its offsets in the
    input and the output (in characters), then a summary line."""
    source_offset = target_offset = count = 0
    for source, target, alternatives in converter.explain_stream(texts):
        if alternatives:
            count += 1
            span = {
                "input_offset": source_offset,
                "output_offset": target_offset,
                "source": source,
                "target": target,
                "alternatives": list(alternatives),
            }
            yield json.dumps(span, ensure_ascii=False) + "\n"
        source_offset += len(source)
        target_offset += len(target)
    summary = {"ambiguous_spans": count, "input_characters": source_offset,
               "output_characters": target_offset}  # fmt: skip
    yield json.dumps({"summary": summary}, ensure_ascii=False) + "\n"


def marked(converter: lumo.Converter, texts: Iterable[str]) -> Iterator[str]:
    """The converted text with each span that had alternatives written as
    {chosen|other|...}."""
    for _, target, alternatives in converter.explain_stream(texts):
        yield "{" + "|".join((target, *alternatives)) + "}" if alternatives else target
