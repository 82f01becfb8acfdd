"""Custom words from --custom FILE and --custom-text TEXT.

A file holds one "key value" per line, read as the library reads each piece
of a "key value|key value" text: the line is trimmed of white space, blank
lines are skipped, the first space separates the key from the value and both
are trimmed again. A file whose first non-blank character is `{` is a JSON
object of strings instead. Files come first, then texts, and a later entry
for a key wins.
"""

from __future__ import annotations

import json
import re
from typing import Union, cast

import lumo

from .errors import UsageError

# What Converter.with_custom takes from here.
CustomEntries = Union[str, "tuple[tuple[str, str], ...]"]

# The Unicode White_Space characters, which the library trims from pieces.
_WHITE_SPACE = "\t\n\v\f\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007" \
    "\u2008\u2009\u200a\u2028\u2029\u202f\u205f\u3000"  # fmt: skip


def _pair(piece: str) -> tuple[str, str] | None:
    """The (key, value) of one piece or line; None for a blank one; raises
    ValueError when it has no space."""
    piece = piece.strip(_WHITE_SPACE)
    if not piece:
        return None
    key, space, value = piece.partition(" ")
    if not space:
        raise ValueError(f"expected 'key value' separated by a space, got {piece!r}")
    return key.strip(_WHITE_SPACE), value.strip(_WHITE_SPACE)


def _read_file(path: str) -> list[tuple[str, str]]:
    try:
        with open(path, encoding="utf-8-sig", newline="") as file:
            text = file.read()
    except (OSError, UnicodeDecodeError) as error:
        reason = error.strerror if isinstance(error, OSError) else f"not UTF-8 ({error.reason})"
        raise UsageError(f"--custom {path}: {reason or error}") from None
    pairs: list[tuple[str, str]] = []
    if text.lstrip(_WHITE_SPACE).startswith("{"):
        try:
            words: object = json.loads(text)
        except ValueError as error:
            raise UsageError(f"--custom {path}: not valid JSON: {error}") from None
        if not isinstance(words, dict):
            raise UsageError(f"--custom {path}: the JSON must be an object of strings")
        for key, value in cast("dict[object, object]", words).items():
            if not isinstance(key, str) or not isinstance(value, str):
                raise UsageError(f"--custom {path}: the JSON must be an object of strings")
            pairs.append((key, value))
        return pairs
    for number, line in enumerate(re.split("\r\n|\r|\n", text), 1):
        try:
            pair = _pair(line)
        except ValueError as error:
            raise UsageError(f"--custom {path}: line {number}: {error}") from None
        if pair is not None:
            pairs.append(pair)
    return pairs


def read_custom_words(files: list[str], texts: list[str]) -> CustomEntries | None:
    """The entries to give Converter.with_custom, or None without any. One
    text alone goes to the library as it is; it parses the text itself."""
    for text in texts:
        try:
            lumo.convert_with_custom("", "t2jp", text)
        except ValueError as error:
            raise UsageError(f"--custom-text: {error}") from None
    if not files and len(texts) <= 1:
        return texts[0] if texts else None
    pairs = [pair for path in files for pair in _read_file(path)]
    for text in texts:
        pairs += [pair for piece in text.split("|") if (pair := _pair(piece)) is not None]
    if not pairs:
        raise UsageError(f"--custom {files[0]}: no custom words in it")
    return tuple(pairs)
