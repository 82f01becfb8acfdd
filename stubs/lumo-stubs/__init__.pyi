# Types of the compiled module lumo. The wheel installs this file as the
# stub-only package lumo-stubs (PEP 561), which type checkers and editors
# read in place of the extension module they cannot look into.
#
# The runtime names a parameter `from`, a Python keyword, so no call can
# pass it by name except through `**{"from": ...}`; here it is
# positional-only, under the name `from_`.

from collections.abc import Iterable, Iterator, Mapping
from typing import Protocol, final, overload

from typing_extensions import Buffer, TypeAlias

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

# An explained span: (source, target, alternatives).
_Span: TypeAlias = tuple[str, str, tuple[str, ...]]

# Arrow data, by the PyCapsule interface: pyarrow arrays, chunked arrays and
# tables, polars Series, DuckDB relations, nanoarrow arrays. The capsules
# are typed as objects.
class _ArrowStream(Protocol):
    def __arrow_c_stream__(self, requested_schema: object | None = None) -> object: ...

class _ArrowArray(Protocol):
    def __arrow_c_array__(
        self, requested_schema: object | None = None
    ) -> tuple[object, object]: ...

# What convert_arrow returns (no attributes of the module): a converted
# column, and a converted array, which is read as one array too.
@final
class _ConvertedColumn:
    def __arrow_c_stream__(self, requested_schema: object | None = None) -> object: ...

@final
class _ConvertedArray:
    def __arrow_c_stream__(self, requested_schema: object | None = None) -> object: ...
    def __arrow_c_array__(
        self, requested_schema: object | None = None
    ) -> tuple[object, object]: ...

@final
class Converter:
    """A converter for one configuration, built once and used for any number
    of texts: `Converter("s2t")`, or `Converter.for_region(...)`. An unknown
    name raises ValueError listing the valid ones. Immutable, so one
    converter may serve several threads; it pickles as its recipe."""

    def __new__(cls, config: str) -> Converter: ...
    @property
    def config(self) -> str: ...
    def convert(self, text: str) -> str: ...
    # None items stay None: a column with missing values.
    @overload
    def convert_batch(self, texts: Iterable[str]) -> list[str]: ...
    @overload
    def convert_batch(self, texts: Iterable[str | None]) -> list[str | None]: ...
    @overload
    def convert_arrow(self, data: _ArrowArray) -> _ConvertedArray: ...
    @overload
    def convert_arrow(self, data: _ArrowStream) -> _ConvertedColumn: ...
    def convert_stream(
        self, chunks: Iterable[str], *, max_held: int | None = ...
    ) -> Iterator[str]: ...
    def convert_utf8_stream(
        self, chunks: Iterable[Buffer], *, max_held: int | None = ...
    ) -> Iterator[bytes]: ...
    # (source, target, alternatives) spans; see docs/streams.md.
    def explain(self, text: str) -> list[_Span]: ...
    def explain_stream(
        self, chunks: Iterable[str], *, max_held: int | None = ...
    ) -> Iterator[_Span]: ...
    @staticmethod
    def for_region(from_: str, /, to: str) -> Converter:
        """The converter for the region codes `from_` and `to` (see
        `lumo.locales()`). ValueError for equal codes ("no conversion
        needed") and for a pair no configuration serves, with a route to
        try."""
    def convert_with_custom(self, text: str, entries: _CustomEntries) -> str: ...
    def with_custom(self, entries: _CustomEntries) -> Converter: ...
    # Immutable: a copy is the object itself; a pickle holds the recipe.
    def __copy__(self) -> Converter: ...
    def __deepcopy__(self, memo: object, /) -> Converter: ...
    # Private, for the command: the pairs of a custom string cut at
    # `separator`; ValueError for one the library refuses.
    @staticmethod
    def _custom_pairs(text: str, *, separator: str = ...) -> tuple[tuple[str, str], ...]: ...

@final
class Detection:
    """What `lumo.detect` found in a text: its region code and a confidence.
    Immutable; it pickles as its two fields."""

    @property
    def region(self) -> str:
        """The region code, one of `lumo.locales()`."""
    @property
    def confidence(self) -> int:
        """A percentage of the text's CJK ideographs; since a character can
        count for several standards it may pass 100, and is capped at 255."""
    def __copy__(self) -> Detection: ...
    def __deepcopy__(self, memo: object, /) -> Detection: ...

def detect(text: str) -> Detection | None: ...
def configs() -> list[str]: ...
def locales() -> list[str]: ...
def convert(text: str, config: str) -> str: ...
def convert_region(text: str, from_: str, /, to: str) -> str: ...
def convert_with_custom(text: str, config: str, entries: _CustomEntries) -> str: ...
