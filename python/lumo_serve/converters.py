"""The converter a request names: a configuration, or a pair of regions,
with optional custom words. The library's refusals become 400 answers that
carry its message, which lists the valid names."""

from __future__ import annotations

import functools
from typing import Any

import lumo

from .errors import ApiError


@functools.lru_cache(maxsize=64)
def _built(config: str | None, regions: tuple[str, str] | None) -> lumo.Converter:
    if regions is not None:
        return lumo.Converter.for_region(*regions)
    return lumo.Converter(config or "")


def named(config: object, source: object, target: object) -> lumo.Converter:
    """The converter for `config`, or for the regions `source` and `target`
    (exactly one of the two ways); converters are immutable, so one built is
    kept for the next request that names it."""
    if config is not None and (source is not None or target is not None):
        raise ApiError(400, 'give either "config" or "from" and "to", not both')
    if config is None and (source is None or target is None):
        raise ApiError(400, 'give "config", or both "from" and "to"')
    for name, value in (("config", config), ("from", source), ("to", target)):
        if value is not None and not isinstance(value, str):
            raise ApiError(400, f'"{name}" must be a string')
    try:
        if config is not None:
            return _built(str(config), None)
        return _built(None, (str(source), str(target)))
    except ValueError as error:
        raise ApiError(400, str(error)) from None


def with_custom(converter: lumo.Converter, custom: Any) -> lumo.Converter:
    """`converter` with the custom words `custom` (an object of strings, an
    array of [key, value] pairs, or a "key value|key value" string)."""
    if custom is None:
        return converter
    try:
        return converter.with_custom(custom)
    except (ValueError, TypeError) as error:
        raise ApiError(400, f'"custom": {error}') from None


def from_body(body: dict[str, Any]) -> lumo.Converter:
    converter = named(body.get("config"), body.get("from"), body.get("to"))
    return with_custom(converter, body.get("custom"))
