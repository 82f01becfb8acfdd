"""The application: the page, its static files, the API and its OpenAPI
description, behind the security headers and the JSON error answers."""

from __future__ import annotations

from pathlib import Path

from starlette.applications import Starlette
from starlette.exceptions import HTTPException
from starlette.middleware import Middleware
from starlette.requests import Request
from starlette.responses import FileResponse, JSONResponse
from starlette.routing import Mount, Route
from starlette.staticfiles import StaticFiles

from . import api, codec_routes, openapi
from .errors import ApiError, on_api_error, on_http_error, on_unexpected
from .file_route import convert_file
from .headers import SecurityHeaders
from .hosts import AllowedHosts

STATIC = Path(__file__).parent / "static"
MAX_BYTES = 64 << 20  # the largest JSON body, by default
MAX_FILE_BYTES = 4 << 30  # the largest file for /api/convert-file, by default


async def _page(request: Request) -> FileResponse:
    return FileResponse(STATIC / "index.html", media_type="text/html; charset=utf-8")


async def _openapi(request: Request) -> JSONResponse:
    return JSONResponse(openapi.schema())


def create_app(
    max_bytes: int = MAX_BYTES,
    max_file_bytes: int = MAX_FILE_BYTES,
    allowed_hosts: list[str] | None = None,
) -> Starlette:
    """The ASGI application. `max_bytes` bounds the body of the JSON routes,
    `max_file_bytes` that of /api/convert-file (413 past either).
    `allowed_hosts`, when given, are the only Host headers answered, which
    keeps a web page that rebinds its own name to the loopback address from
    reaching the server."""
    routes = [
        Route("/", _page, methods=["GET"]),
        Route("/openapi.json", _openapi, methods=["GET"]),
        Route("/api/convert", api.convert, methods=["POST"]),
        Route("/api/detect", api.detect, methods=["POST"]),
        Route("/api/explain", api.explain, methods=["POST"]),
        Route("/api/convert-file", convert_file, methods=["POST"]),
        Route("/api/configs", api.configs, methods=["GET"]),
        Route("/api/decode", codec_routes.decode, methods=["POST"]),
        Route("/api/encode", codec_routes.encode, methods=["POST"]),
        Mount("/static", StaticFiles(directory=STATIC), name="static"),
    ]
    middleware = [Middleware(SecurityHeaders)]
    if allowed_hosts is not None:
        middleware.append(Middleware(AllowedHosts, hosts=allowed_hosts))
    app = Starlette(
        routes=routes,
        middleware=middleware,
        exception_handlers={
            ApiError: on_api_error,
            HTTPException: on_http_error,
            Exception: on_unexpected,
        },
    )
    app.state.max_bytes = max_bytes
    app.state.max_file_bytes = max_file_bytes
    return app
