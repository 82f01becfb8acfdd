"""Custom words from --custom FILE and --custom-text TEXT.

A file holds one "key value" per line, read by the library's own parser of
"key value|key value" texts, with lines for pieces: the line is trimmed of
white space, blank lines are skipped, the first space separates the key
from the value and both are trimmed again. A file whose first non-blank character is `{` or `[` is
JSON instead: an object of strings, or an array of [key, value] pairs of
strings, the two shapes Converter.with_custom takes. Any other JSON (a file
that is one JSON string, say) is refused rather than read as lines. Files
come first, then texts, and a later entry for a key wins.
"""

from __future__ import annotations

import json
import re
from typing import Union, cast

import lumo

from .errors import CliError, UsageError, shown_name

# What Converter.with_custom takes from here.
CustomEntries = Union[str, "tuple[tuple[str, str], ...]"]

# The Unicode White_Space characters, which the library trims from pieces:
# those before a file's first character decide whether it is JSON.
_WHITE_SPACE = "\t\n\v\f\r \x85\xa0\u1680\u2000\u2001\u2002\u2003\u2004\u2005\u2006\u2007" \
    "\u2008\u2009\u200a\u2028\u2029\u202f\u205f\u3000"  # fmt: skip


def _text_pairs(text: str) -> list[tuple[str, str]]:
    """The entries of one --custom-text, read as Converter.with_custom reads
    a string; a text it refuses is a wrong command line."""
    try:
        return list(lumo.Converter._custom_pairs(text))
    except ValueError as error:
        raise UsageError(f"--custom-text: {error}") from None


def _line_pairs(name: str, text: str) -> list[tuple[str, str]]:
    """The entries of the lines of --custom `name`, none for blank lines.
    The library's message for a line without a space is worded here as the
    command's, by line number and with the line as a Python literal."""
    try:
        return list(lumo.Converter._custom_pairs(re.sub("\r\n?", "\n", text), separator="\n"))
    except ValueError as error:
        found = vars(error)  # the bad piece's number and text, none for a text without pairs
        if "piece" not in found:
            return []
        number: int = found["number"] + 1
        piece: str = found["piece"]
        raise CliError(f"--custom {name}: line {number}: expected 'key value' separated by a"
                       f" space, got {piece!r}") from None  # fmt: skip


_JSON_SHAPES = 'an object of strings, {"key": "value"}, or an array of pairs, [["key", "value"]]'
_JSON_KINDS: dict[object, str] = {
    str: "a string",
    int: "a number",
    float: "a number",
    bool: "true or false",
}


def _json_pairs(text: str) -> list[tuple[str, str]]:
    """The entries of a JSON file; raises ValueError saying what is wrong."""
    try:
        words: object = json.loads(text)
    except RecursionError:
        raise ValueError("not valid JSON: nested too deeply") from None
    except ValueError as error:
        raise ValueError(f"not valid JSON: {error}") from None
    if isinstance(words, dict):
        entries = list(cast("dict[str, object]", words).items())
        for key, value in entries:
            if not isinstance(value, str):
                raise ValueError(f"the value of {key!r} is not a string; expected {_JSON_SHAPES}")
        return cast("list[tuple[str, str]]", entries)
    if isinstance(words, list):
        pairs: list[tuple[str, str]] = []
        for number, item in enumerate(cast("list[object]", words), 1):
            pair = cast("list[object]", item) if isinstance(item, list) else []
            if len(pair) != 2 or not all(isinstance(part, str) for part in pair):
                raise ValueError(f"item {number} is not a pair of strings; expected {_JSON_SHAPES}")
            pairs.append(cast("tuple[str, str]", tuple(pair)))
        return pairs
    kind = _JSON_KINDS.get(type(words), "null")
    raise ValueError(f"the JSON is {kind}; expected {_JSON_SHAPES}, or 'key value' lines")


def _read_file(path: str) -> list[tuple[str, str]]:
    """The entries of one --custom file; a file that cannot be read or holds
    no entries as described is an input error (exit status 1), not a wrong
    command line."""
    name = shown_name(path)
    try:
        with open(path, encoding="utf-8-sig", newline="") as file:
            text = file.read()
    except (OSError, UnicodeDecodeError) as error:
        reason = error.strerror if isinstance(error, OSError) else f"not UTF-8 ({error.reason})"
        raise CliError(f"--custom {name}: {reason or error}") from None
    if text.lstrip(_WHITE_SPACE).startswith(("{", "[")) or _is_json(text):
        try:
            return _json_pairs(text)
        except ValueError as error:
            raise CliError(f"--custom {name}: {error}") from None
    return _line_pairs(name, text)


def _is_json(text: str) -> bool:
    """Whether `text` as a whole is one JSON value, such as a quoted string,
    which would otherwise pass for a 'key value' line."""
    try:
        json.loads(text)
    except (ValueError, RecursionError):
        return False
    return True


def read_custom_words(files: list[str], texts: list[str]) -> CustomEntries | None:
    """The entries to give Converter.with_custom, or None without any. One
    text alone goes to the library as it is; it parses the text itself."""
    text_pairs = [pair for text in texts for pair in _text_pairs(text)]
    if not files and len(texts) <= 1:
        return texts[0] if texts else None
    pairs = [pair for path in files for pair in _read_file(path)] + text_pairs
    if not pairs:
        raise CliError(f"--custom {shown_name(files[0])}: no custom words in it")
    return tuple(pairs)
