"""The bodies of the JSON routes, read within the size limit and checked
field by field, so that every refusal is a clear ApiError."""

from __future__ import annotations

import json
from typing import Any, cast

from starlette.concurrency import run_in_threadpool
from starlette.requests import Request

from .errors import ApiError

# A body past this size is parsed on a worker thread, not on the event loop.
PARSE_ON_THREAD_BYTES = 64 << 10


def too_large(limit: int) -> ApiError:
    return ApiError(413, f"the request body is larger than the limit of {limit} bytes")


async def read_limited(request: Request, limit: int) -> bytes:
    """The whole body, or 413 as soon as it is known to pass `limit` bytes:
    from Content-Length before reading, or while reading a chunked body."""
    declared = request.headers.get("content-length")
    if declared is not None and declared.isdigit() and int(declared) > limit:
        raise too_large(limit)
    body = bytearray()
    async for chunk in request.stream():
        body += chunk
        if len(body) > limit:
            raise too_large(limit)
    return bytes(body)


async def json_object(request: Request, limit: int) -> dict[str, Any]:
    """The body as a JSON object; 400 when it is not UTF-8 JSON or not an
    object."""
    body = await read_limited(request, limit)
    if len(body) > PARSE_ON_THREAD_BYTES:
        return await run_in_threadpool(_parsed, body)
    return _parsed(body)


def _parsed(body: bytes) -> dict[str, Any]:
    try:
        value = json.loads(body.decode("utf-8-sig"))
    except UnicodeDecodeError as error:
        raise ApiError(
            400, f"the body is not UTF-8: {error.reason} at byte {error.start}"
        ) from None
    except RecursionError:
        raise ApiError(400, "the body is not valid JSON: nested too deeply") from None
    except ValueError as error:
        raise ApiError(400, f"the body is not valid JSON: {error}") from None
    if not isinstance(value, dict):
        raise ApiError(400, 'the body must be a JSON object, such as {"text": "..."}')
    return cast("dict[str, Any]", value)


def text_field(body: dict[str, Any], name: str = "text") -> str:
    value = body.get(name)
    if not isinstance(value, str):
        raise ApiError(400, f'"{name}" must be a string')
    return value
