"""lumo configs: every configuration with what it converts from and to."""

from __future__ import annotations

import lumo

from .errors import SUCCESS, StdoutClosed
from .tasks import standard_output

# Kept in the order and with the names of lumo.configs(); a test checks both.
CONFIGS = {
    "s2t": ("Simplified Chinese", "Traditional Chinese"),
    "t2s": ("Traditional Chinese", "Simplified Chinese"),
    "s2tw": ("Simplified Chinese", "Traditional Chinese (Taiwan standard)"),
    "tw2s": ("Traditional Chinese (Taiwan standard)", "Simplified Chinese"),
    "s2hk": ("Simplified Chinese", "Traditional Chinese (Hong Kong variant)"),
    "hk2s": ("Traditional Chinese (Hong Kong variant)", "Simplified Chinese"),
    "s2twp": ("Simplified Chinese", "Traditional Chinese (Taiwan standard, with Taiwan phrases)"),
    "tw2sp": (
        "Traditional Chinese (Taiwan standard)",
        "Simplified Chinese (with Mainland phrases)",
    ),
    "s2hkp": ("Simplified Chinese", "Traditional Chinese (Hong Kong variant, with phrases)"),
    "hk2sp": ("Traditional Chinese (Hong Kong variant)", "Simplified Chinese (with phrases)"),
    "t2tw": ("Traditional Chinese", "Traditional Chinese (Taiwan standard)"),
    "tw2t": ("Traditional Chinese (Taiwan standard)", "Traditional Chinese"),
    "t2hk": ("Traditional Chinese", "Traditional Chinese (Hong Kong variant)"),
    "hk2t": ("Traditional Chinese (Hong Kong variant)", "Traditional Chinese"),
    "t2jp": ("Old Japanese kanji (Kyūjitai)", "New Japanese kanji (Shinjitai)"),
    "jp2t": ("New Japanese kanji (Shinjitai)", "Old Japanese kanji (Kyūjitai)"),
}

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
    if target not in _TRADITIONAL_FORMS or back not in CONFIGS:
        return None
    for form in _ENCODING_FORMS.get(codec, ()):
        other = f"{source}2{form}"
        if phrases and other + "p" in CONFIGS:
            other += "p"
        if form == target or other not in CONFIGS:
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
    name_width = max(map(len, CONFIGS))
    from_width = max(len(source) for source, _ in CONFIGS.values())
    lines = [
        f"{name:<{name_width}}  {source:<{from_width}}  ->  {target}\n"
        for name, (source, target) in CONFIGS.items()
    ]
    try:
        stdout = standard_output()
        stdout.write("".join(lines).encode())
        stdout.flush()
    except BrokenPipeError:
        raise StdoutClosed() from None
    return SUCCESS
