"""POST /api/decode and /api/encode: the page's way to read a file in any of
the command's encodings and to save its result in the same one, byte for
byte as the command would (byte order marks and line endings kept), since
browsers can decode Big5 or GBK but not encode them."""

from __future__ import annotations

from lumo_cli.errors import CliError, UsageError
from lumo_cli.text_codecs import ENCODINGS, Decoder, Encoder, resolve_encoding
from starlette.concurrency import run_in_threadpool
from starlette.requests import Request
from starlette.responses import JSONResponse, Response

from .bodies import json_object, read_limited, text_field
from .errors import ApiError


def _codec(request: Request) -> str:
    try:
        return resolve_encoding(request.query_params.get("encoding", "utf-8"), "encoding")
    except UsageError as error:
        raise ApiError(400, error.message) from None


def _decode(data: bytes, codec: str) -> str:
    try:
        return Decoder(codec, "body").decode(data, final=True)
    except CliError as error:
        raise ApiError(400, error.message) from None


def _encode(text: str, codec: str, replace: bool) -> bytes:
    encoder = Encoder(codec, "text", replace)
    try:
        return encoder.encode(text) + encoder.finish()
    except CliError as error:
        raise ApiError(422, error.message.replace("--errors replace", "errors=replace")) from None


async def decode(request: Request) -> JSONResponse:
    codec = _codec(request)
    data = await read_limited(request, int(request.app.state.max_bytes))
    return JSONResponse({"text": await run_in_threadpool(_decode, data, codec)})


async def encode(request: Request) -> Response:
    codec = _codec(request)
    replace = request.query_params.get("errors", "strict") == "replace"
    text = text_field(await json_object(request, int(request.app.state.max_bytes)))
    data = await run_in_threadpool(_encode, text, codec, replace)
    charset = ENCODINGS[codec].lower()
    return Response(data, media_type=f"text/plain; charset={charset}")
