"""Converts one byte stream into another in bounded memory.

The input is read in binary chunks, decoded incrementally, converted through
`Converter.convert_stream` and encoded and written piece by piece as the
converter hands them out. Memory stays near a few chunks whatever the size
of the input, and the output is byte for byte what converting the whole
text at once would give.
"""

from __future__ import annotations

from collections.abc import Iterator
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
) -> None:
    """Reads with `read(size)` until it returns b"", and writes the converted
    text with `write`. `on_read` hears the size of every chunk read. Errors
    from the decoder and encoder, and from `read` and `write`, propagate."""

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

    for piece in converter.convert_stream(texts()):
        data = encoder.encode(piece)
        if data:
            write(data)
    data = encoder.finish()
    if data:
        write(data)
