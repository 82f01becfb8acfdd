"""lumo configs: every configuration with what it converts from and to."""

from __future__ import annotations

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
