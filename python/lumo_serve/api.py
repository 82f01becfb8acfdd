"""The JSON routes: convert, detect and explain. Each conversion runs on a
worker thread, through Converter.convert_batch, which lets go of the
interpreter while it converts, so the event loop keeps serving others; the
answer is rendered to JSON on that thread too."""

from __future__ import annotations

from collections.abc import Callable
from typing import Any

import lumo
from lumo_cli.plausible import plausible_alternatives
from lumo_cli.text_codecs import ENCODINGS
from starlette.concurrency import run_in_threadpool
from starlette.requests import Request
from starlette.responses import JSONResponse

from . import converters
from .bodies import json_object, text_field


def _limit(request: Request) -> int:
    return int(request.app.state.max_bytes)


def _converted(converter: lumo.Converter, text: str) -> JSONResponse:
    return JSONResponse({"text": converter.convert_batch([text])[0]})


async def _with_converter(
    request: Request, work: Callable[[lumo.Converter, str], JSONResponse]
) -> JSONResponse:
    """Runs `work` on a worker thread with the converter and the text that
    the request's JSON body names."""
    body = await json_object(request, _limit(request))
    text = text_field(body)
    converter = converters.from_body(body)
    return await run_in_threadpool(work, converter, text)


async def convert(request: Request) -> JSONResponse:
    return await _with_converter(request, _converted)


async def detect(request: Request) -> JSONResponse:
    body = await json_object(request, _limit(request))
    found = await run_in_threadpool(lumo.detect, text_field(body))
    if found is None:
        return JSONResponse({"region": None})
    return JSONResponse({"region": found.region, "confidence": found.confidence})


def _explained(converter: lumo.Converter, text: str) -> JSONResponse:
    spans: list[dict[str, Any]] = []
    for source, target, alternatives in converter.explain(text):
        span: dict[str, Any] = {"source": source, "target": target,
                                "alternatives": list(alternatives)}  # fmt: skip
        if alternatives:
            span["plausible"] = list(plausible_alternatives(source, alternatives))
        spans.append(span)
    return JSONResponse({"spans": spans})


async def explain(request: Request) -> JSONResponse:
    return await _with_converter(request, _explained)


async def configs(request: Request) -> JSONResponse:
    return JSONResponse(
        {"configs": lumo.configs(), "regions": lumo.locales(), "encodings": ENCODINGS}
    )
