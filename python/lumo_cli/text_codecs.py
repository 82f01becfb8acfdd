"""The encodings the command reads and writes, and the incremental decoder
and encoder between them and text.

Both work on a stream fed in pieces and count where they are, so that an
error names its place: a decoding error the offset of the bad byte in the
input, an encoding error the offset of the character in the converted text.
Neither translates line endings, so LF, CRLF and CR pass through as they are.

A byte order mark is text here: a UTF-8 BOM decodes to U+FEFF, and so does
the BOM of UTF-16 input, which `utf-16` requires (`utf-16-le` and
`utf-16-be` read text without one). On output a leading U+FEFF is written
in the output encoding; UTF-16 output is little-endian and always starts
with exactly one BOM; the encodings that have no code for U+FEFF (GBK, Big5,
Big5-HKSCS, Shift_JIS, EUC-JP) leave it out.
"""

from __future__ import annotations

import codecs

from .config_table import fitting_config
from .errors import FileError, UsageError

# Codec names as codecs.lookup() gives them, with the names messages use.
ENCODINGS = {
    "utf-8": "UTF-8",
    "gb18030": "GB18030",
    "gbk": "GBK",
    "big5": "Big5",
    "big5hkscs": "Big5-HKSCS",
    "shift_jis": "Shift_JIS",
    "euc_jp": "EUC-JP",
    "utf-16": "UTF-16",
    "utf-16-le": "UTF-16LE",
    "utf-16-be": "UTF-16BE",
}

BOM = "\ufeff"
_UTF16_BOMS = {codecs.BOM_UTF16_LE: "utf-16-le", codecs.BOM_UTF16_BE: "utf-16-be"}


def resolve_encoding(name: str, option: str) -> str:
    """The codec name for `name` (any alias Python knows, such as `Big5-HKSCS`
    or `cp936`), or a UsageError naming `option` when lumo does not take it."""
    try:
        codec = codecs.lookup(name).name
    except LookupError:
        codec = ""
    if codec not in ENCODINGS:
        choices = ", ".join(ENCODINGS.values())
        raise UsageError(f"{option}: unsupported encoding {name!r}; choose one of {choices}")
    return codec


class Decoder:
    """Decodes the bytes of one input fed in pieces of any size.

    A character cut between pieces is held back until its end arrives. Bytes
    that are not valid in the encoding raise FileError with the message
    ``<label>: cannot decode byte 0x.. at offset N as <ENCODING>``, N being
    the byte's offset in the whole input.
    """

    def __init__(self, codec: str, label: str) -> None:
        self.codec = codec
        self._label = label
        # UTF-16 picks its byte order from the first two bytes.
        self._decoder = None if codec == "utf-16" else codecs.getincrementaldecoder(codec)()
        self._head = b""
        self._fed = 0  # bytes handed to self._decoder so far

    def decode(self, data: bytes, final: bool = False) -> str:
        if self._decoder is None:
            self._head += data
            if len(self._head) < 2 and not final:
                return ""
            data, self._head = self._head, b""
            byte_order = _UTF16_BOMS.get(data[:2])
            if byte_order is None and len(data) >= 2:
                raise FileError(
                    f"{self._label}: UTF-16 input has no byte order mark; "
                    "name its byte order with --encoding utf-16-le or utf-16-be"
                )
            self._decoder = codecs.getincrementaldecoder(byte_order or "utf-16-le")()
        self._fed += len(data)
        try:
            return self._decoder.decode(data, final)
        except UnicodeDecodeError as error:
            raise self.error(error, self._fed) from None

    def error(self, error: UnicodeDecodeError, fed: int) -> FileError:
        """The FileError for `error`, whose object (what was held back,
        then the bytes just fed) ends after `fed` bytes of the input."""
        offset = fed - len(error.object) + error.start
        bad = error.object[error.start]
        return FileError(
            f"{self._label}: cannot decode byte 0x{bad:02x} at offset {offset}"
            f" as {ENCODINGS[self.codec]}"
        )


class Encoder:
    """Encodes converted text fed in pieces of any size.

    A character the encoding cannot hold raises FileError naming it and its
    offset in the converted text, and the configuration that writes a form
    of it the encoding holds, where one does (`config` is the one in use);
    or becomes `?` when `replace` is set.
    """

    def __init__(self, codec: str, label: str, replace: bool, config: str = "") -> None:
        self.codec = codec
        self._label = label
        self._config = config
        inner = "utf-16-le" if codec == "utf-16" else codec
        self._encoder = codecs.getincrementalencoder(inner)("replace" if replace else "strict")
        try:
            BOM.encode(inner)
            self._holds_bom = True
        except UnicodeEncodeError:
            self._holds_bom = False
        self._started = False
        self._offset = 0  # characters encoded so far

    def encode(self, text: str) -> bytes:
        if not text:
            return b""
        prefix = b""
        skip = 0
        if not self._started:
            self._started = True
            if text.startswith(BOM):
                skip = 0 if self._holds_bom else 1
            elif self.codec == "utf-16":
                prefix = codecs.BOM_UTF16_LE
        try:
            data = self._encoder.encode(text[skip:] if skip else text)
        except UnicodeEncodeError as error:
            character = error.object[error.start]
            shown = f"{character!r} " if character.isprintable() else ""
            encoding = ENCODINGS[self.codec]
            fitting = fitting_config(self._config, self.codec, character)
            hint = (
                ""
                if fitting is None
                else f"; -c {fitting[0]} writes {fitting[1]!r}, which {encoding} holds"
            )
            raise FileError(
                f"{self._label}: cannot encode character {shown}(U+{ord(character):04X})"
                f" at offset {self._offset + skip + error.start}"
                f" as {encoding}{hint}; --errors replace writes '?' instead"
            ) from None
        self._offset += len(text)
        return prefix + data

    def finish(self) -> bytes:
        return self._encoder.encode("", True)
