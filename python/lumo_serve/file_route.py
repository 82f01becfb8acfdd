"""POST /api/convert-file: a file in one of the command's encodings is
converted and sent back in the same encoding, in bounded memory whatever its
size.

The body is first spooled (in memory up to SPOOL_MEMORY_BYTES, then in an
anonymous temporary file) and decoded as it arrives, so that a body that
does not decode is refused with a JSON error before any output. Then a
worker thread converts the spooled bytes with the command's stream
converter, handing each encoded piece to the response through a queue of a
few pieces. Spooling first keeps the exchange half-duplex: a client that
sends its whole body before reading (as most do) cannot deadlock against a
server that has started to answer.

The status is sent with the first piece: an error there is a JSON answer.
A character the encoding cannot hold found later (with errors=strict) ends
the connection before the response completes, which clients report as an
error rather than taking the text as whole.
"""

from __future__ import annotations

import logging
import queue
import tempfile
import threading
from typing import Callable, Union

import anyio
import anyio.to_thread
import lumo
from lumo_cli.errors import CliError, UsageError
from lumo_cli.streaming import MAX_HELD_MIB, HeldTooMuch, convert_bytes
from lumo_cli.text_codecs import ENCODINGS, Decoder, Encoder, resolve_encoding
from starlette.requests import ClientDisconnect, Request
from starlette.types import Receive, Scope, Send

from . import converters
from .bodies import too_large
from .errors import ApiError, error_response

SPOOL_MEMORY_BYTES = 8 << 20  # a body up to this size never touches the disk
DECODE_BATCH_BYTES = 1 << 20  # bytes decoded at a time on a worker thread
QUEUED_PIECES = 4  # converted pieces waiting for the client at most

_LABEL = "body"
logger = logging.getLogger("lumo_serve")
_Piece = Union[bytes, ApiError, None]  # None: the whole output was sent
_Spool = tempfile.SpooledTemporaryFile  # of bytes


def _settings(request: Request) -> tuple[lumo.Converter, str, bool]:
    query = request.query_params
    converter = converters.named(query.get("config"), query.get("from"), query.get("to"))
    try:
        codec = resolve_encoding(query.get("encoding", "utf-8"), "encoding")
    except UsageError as error:
        raise ApiError(400, error.message) from None
    errors = query.get("errors", "strict")
    if errors not in ("strict", "replace"):
        raise ApiError(400, f"errors: expected strict or replace, got {errors!r}")
    return converter, codec, errors == "replace"


async def _spool(request: Request, codec: str, limit: int) -> _Spool[bytes]:
    """The body in a spooled file, checked to decode in `codec`."""
    declared = request.headers.get("content-length")
    if declared is not None and declared.isdigit() and int(declared) > limit:
        raise too_large(limit)
    spool = tempfile.SpooledTemporaryFile(max_size=SPOOL_MEMORY_BYTES)
    decoder = Decoder(codec, _LABEL)
    size = 0
    batch = bytearray()

    def take(data: bytes, final: bool = False) -> None:
        spool.write(data)
        decoder.decode(data, final)

    try:
        async for chunk in request.stream():
            size += len(chunk)
            if size > limit:
                raise too_large(limit)
            batch += chunk
            if len(batch) >= DECODE_BATCH_BYTES:
                await anyio.to_thread.run_sync(take, bytes(batch))
                batch.clear()
        await anyio.to_thread.run_sync(take, bytes(batch), True)
    except CliError as error:
        spool.close()
        raise ApiError(400, error.message) from None
    except BaseException:
        spool.close()
        raise
    spool.seek(0)
    return spool


class _Stopped(Exception):
    """The response ended early: the worker stops converting."""


def _worker(
    converter: lumo.Converter, spool: _Spool[bytes], codec: str, replace: bool,
    hand: Callable[[_Piece], None],
) -> None:  # fmt: skip
    """Converts the spooled body, handing out each encoded piece, then an
    ApiError or None. Whatever goes wrong is handed out too: the response
    always hears the end."""
    encoder = Encoder(codec, _LABEL, replace, converter.config)
    outcome: ApiError | None = None
    try:
        convert_bytes(converter, spool.readinto, hand, Decoder(codec, _LABEL), encoder,
                      max_held=MAX_HELD_MIB << 20)  # fmt: skip
    except _Stopped:
        return
    except HeldTooMuch:
        outcome = ApiError(
            422, f"{_LABEL}: found no safe place to cut the text within {MAX_HELD_MIB} MiB"
        )
    except CliError as error:
        outcome = ApiError(422, error.message.replace("--errors replace", "errors=replace"))
    except MemoryError:
        outcome = ApiError(507, "out of memory")
    except Exception:
        logger.exception("converting a file failed")
        outcome = ApiError(500, "internal error")
    try:
        hand(outcome)
    except _Stopped:
        pass


class _ConvertedFile:
    """The ASGI answer that runs the worker and relays its pieces. The
    pieces pass through a queue of QUEUED_PIECES: the worker (and the
    command's writer thread) wait while the client reads slowly, and stop
    once the response has ended."""

    def __init__(self, converter: lumo.Converter, spool: _Spool[bytes], codec: str,
                 replace: bool) -> None:  # fmt: skip
        self._converter = converter
        self._spool = spool
        self._codec = codec
        self._replace = replace

    async def __call__(self, scope: Scope, receive: Receive, send: Send) -> None:
        pieces: queue.Queue[_Piece] = queue.Queue(QUEUED_PIECES)
        stop = threading.Event()

        def hand(piece: _Piece) -> None:
            while not stop.is_set():
                try:
                    pieces.put(piece, timeout=0.05)
                    return
                except queue.Full:
                    pass
            raise _Stopped()

        # The worker and the relay each wait on the other for as long as the
        # conversion runs: they get threads of their own, not the shared
        # pool's, which as many conversions at once could take whole.
        own_threads = anyio.CapacityLimiter(2)

        async def work() -> None:
            await anyio.to_thread.run_sync(
                _worker, self._converter, self._spool, self._codec, self._replace, hand,
                limiter=own_threads,
            )  # fmt: skip

        try:
            async with anyio.create_task_group() as tasks:
                tasks.start_soon(work)
                try:
                    await self._relay(pieces, scope, send, own_threads)
                finally:
                    stop.set()
        finally:
            self._spool.close()

    async def _relay(
        self, pieces: queue.Queue[_Piece], scope: Scope, send: Send, threads: anyio.CapacityLimiter
    ) -> None:
        started = False
        while True:
            piece = await anyio.to_thread.run_sync(pieces.get, limiter=threads)
            if isinstance(piece, ApiError):
                if not started:
                    await error_response(piece.status, piece.message)(scope, _no_receive, send)
                return  # an unfinished response: the client sees it cut short
            if not started:
                charset = ENCODINGS[self._codec].lower()
                headers = [(b"content-type", f"text/plain; charset={charset}".encode())]
                await send({"type": "http.response.start", "status": 200, "headers": headers})
                started = True
            if piece is None:
                await send({"type": "http.response.body", "body": b"", "more_body": False})
                return
            await send({"type": "http.response.body", "body": piece, "more_body": True})


async def _no_receive() -> dict[str, object]:
    raise ClientDisconnect()


async def convert_file(request: Request) -> _ConvertedFile:
    converter, codec, replace = _settings(request)
    spool = await _spool(request, codec, int(request.app.state.max_file_bytes))
    return _ConvertedFile(converter, spool, codec, replace)
