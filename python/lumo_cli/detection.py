"""lumo detect: which script variant each input is written in.

Only the first SAMPLE_BYTES of an input are read: detection counts
characters, and a few MiB tell the variant as well as the whole file would,
while a multi-gigabyte file would otherwise have to be held in memory.
"""

from __future__ import annotations

import json
from typing import BinaryIO

import lumo

from .errors import FAILED, SUCCESS, FileError, StdoutClosed, report, shown_name
from .tasks import STDIN_LABEL, standard_input, standard_output
from .text_codecs import Decoder

SAMPLE_BYTES = 4 << 20


def _read_sample(file: BinaryIO) -> tuple[bytes, bool]:
    """The first SAMPLE_BYTES of `file`, and whether that is all of it."""
    parts: list[bytes] = []
    size = 0
    while size < SAMPLE_BYTES:
        data = file.read(SAMPLE_BYTES - size)
        if not data:
            return b"".join(parts), True
        parts.append(data)
        size += len(data)
    return b"".join(parts), False


def _detect(path: str | None, codec: str) -> lumo.Detection | None:
    label = STDIN_LABEL if path is None else shown_name(path)
    try:
        if path is None:
            sample, whole = _read_sample(standard_input())
        else:
            with open(path, "rb") as file:
                sample, whole = _read_sample(file)
    except OSError as error:
        raise FileError(f"{label}: {error.strerror or error}") from None
    # A character cut at the end of the sample is held back, not an error.
    return lumo.detect(Decoder(codec, label).decode(sample, final=whole))


def _line(label: str, found: lumo.Detection | None, as_json: bool) -> bytes:
    if as_json:
        record = {
            "path": label,
            "region": None if found is None else found.region,
            "confidence": None if found is None else found.confidence,
        }
        # File names that are not UTF-8 keep their bytes as \udcXX escapes.
        return json.dumps(record, ensure_ascii=False).encode("utf-8", "backslashreplace")
    # A name with a tab or a line break is quoted, so the line stays whole.
    fields = [shown_name(label)]
    fields += ["none"] if found is None else [found.region, str(found.confidence)]
    return "\t".join(fields).encode()


def run_detect(paths: list[str], codec: str, as_json: bool) -> int:
    """Writes one line per input ("-" or none: standard input)."""
    status = SUCCESS
    for path in paths or ["-"]:
        source = None if path == "-" else path
        try:
            found = _detect(source, codec)
        except FileError as error:
            report(error.message)
            status = FAILED
            continue
        line = _line(STDIN_LABEL if source is None else path, found, as_json)
        try:
            stdout = standard_output()
            stdout.write(line + b"\n")
            stdout.flush()
        except BrokenPipeError:
            raise StdoutClosed() from None
    return status
