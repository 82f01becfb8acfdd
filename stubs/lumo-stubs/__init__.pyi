# Types of the compiled module lumo. The wheel installs this file as the
# stub-only package lumo-stubs (PEP 561), which type checkers and editors
# read in place of the extension module they cannot look into.
#
# The runtime names a parameter `from`, a Python keyword, so no call can
# pass it by name except through `**{"from": ...}`; here it is
# positional-only, under the name `from_`.

from collections.abc import Iterable, Iterator, Mapping
from typing import final

from typing_extensions import TypeAlias

__all__ = [
    "__version__",
    "Converter",
    "Detection",
    "detect",
    "configs",
    "locales",
    "convert",
    "convert_region",
    "convert_with_custom",
]

__version__: str

# Custom words: a mapping of key to value, an iterable of (key, value) pairs
# (tuples, or lists of two items), or the string "key value|key value|...".
_CustomEntries: TypeAlias = Mapping[str, str] | Iterable[tuple[str, str] | list[str]] | str

@final
class Converter:
    def __new__(cls, config: str) -> Converter: ...
    @property
    def config(self) -> str: ...
    def convert(self, text: str) -> str: ...
    def convert_stream(self, chunks: Iterable[str]) -> Iterator[str]: ...
    @staticmethod
    def for_region(from_: str, /, to: str) -> Converter: ...
    def convert_with_custom(self, text: str, entries: _CustomEntries) -> str: ...
    def with_custom(self, entries: _CustomEntries) -> Converter: ...

@final
class Detection:
    @property
    def region(self) -> str: ...
    @property
    def confidence(self) -> int: ...

def detect(text: str) -> Detection | None: ...
def configs() -> list[str]: ...
def locales() -> list[str]: ...
def convert(text: str, config: str) -> str: ...
def convert_region(text: str, from_: str, /, to: str) -> str: ...
def convert_with_custom(text: str, config: str, entries: _CustomEntries) -> str: ...
