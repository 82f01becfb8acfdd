"""lumo configs: every configuration with what it converts from and to."""

from __future__ import annotations

import functools
import json

import lumo

from .errors import SUCCESS, StdoutClosed
from .tasks import standard_output


@functools.cache
def descriptions() -> dict[str, tuple[str, str]]:
    """Each configuration's name, with what it converts from and to, in the
    order of lumo.configs(): read from the list the build reads, which the
    wheel installs in this package and a source checkout keeps in data/config."""
    # Imported here: only `lumo configs` and an unencodable character read the list.
    from importlib import resources
    from pathlib import Path

    packaged = resources.files("lumo_cli").joinpath("configurations.json")
    if not packaged.is_file():
        packaged = Path(__file__).resolve().parents[2] / "data" / "config" / packaged.name
    entries = json.loads(packaged.read_text(encoding="utf-8"))
    return {entry["name"]: (entry["from"], entry["to"]) for entry in entries}


# The Traditional forms a legacy encoding was made for, the closest first.
# Another Traditional form may write a character with a variant it lacks, as
# s2t writes 爲 where the Taiwan standard, and Big5, have 為.
_ENCODING_FORMS = {"big5": ("tw",), "big5hkscs": ("hk", "tw")}
_TRADITIONAL_FORMS = ("t", "tw", "hk")


def _forms(config: str) -> tuple[str, str, bool]:
    """The source and target forms a configuration's name gives, and whether
    it converts phrases too: s2twp is ("s", "tw", True)."""
    source, _, target = config.partition("2")
    phrases = target.endswith("p") and target != "jp"
    return source, target[:-1] if phrases else target, phrases


def fitting_config(config: str, codec: str, character: str) -> tuple[str, str] | None:
    """For `character`, which `config` wrote and the encoding `codec` lacks:
    a configuration from the same source to a Traditional form the encoding
    was made for, and what it writes for the character, when that differs
    and the encoding holds it; otherwise None."""
    source, target, phrases = _forms(config)
    back = f"{target}2{source}"
    configs = descriptions()
    if target not in _TRADITIONAL_FORMS or back not in configs:
        return None
    for form in _ENCODING_FORMS.get(codec, ()):
        other = f"{source}2{form}"
        if phrases and other + "p" in configs:
            other += "p"
        if form == target or other not in configs:
            continue
        written = lumo.convert(lumo.convert(character, back), other)
        try:
            written.encode(codec)
        except UnicodeEncodeError:
            continue
        if written != character:
            return other, written
    return None


def run_configs() -> int:
    """Writes one line per configuration: name, from, to, in aligned columns."""
    configs = descriptions()
    name_width = max(map(len, configs))
    from_width = max(len(source) for source, _ in configs.values())
    lines = [
        f"{name:<{name_width}}  {source:<{from_width}}  ->  {target}\n"
        for name, (source, target) in configs.items()
    ]
    try:
        stdout = standard_output()
        stdout.write("".join(lines).encode())
        stdout.flush()
    except BrokenPipeError:
        raise StdoutClosed() from None
    return SUCCESS
