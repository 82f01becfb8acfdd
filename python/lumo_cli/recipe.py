"""What a converter is made of: the options that name it, built in one place
that turns the library's refusals into usage errors."""

from __future__ import annotations

from dataclasses import dataclass

import lumo

from .custom_words import CustomEntries
from .errors import UsageError


@dataclass(frozen=True)
class Recipe:
    """A configuration name, or a pair of region codes, and custom words."""

    config: str | None = None
    regions: tuple[str, str] | None = None
    custom: CustomEntries | None = None

    def build(self) -> lumo.Converter:
        """The converter; raises UsageError with the library's message when
        the name, the codes or the words are not usable."""
        try:
            if self.regions is not None:
                converter = lumo.Converter.for_region(*self.regions)
            else:
                converter = lumo.Converter(self.config or "")
            if self.custom is not None:
                converter = converter.with_custom(self.custom)
        except ValueError as error:
            raise UsageError(str(error)) from None
        return converter
