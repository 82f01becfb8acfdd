"""What the API answers when a request cannot be served: a JSON object
``{"error": MESSAGE}`` and a status, never a stack trace."""

from __future__ import annotations

from starlette.exceptions import HTTPException
from starlette.requests import Request
from starlette.responses import JSONResponse, Response


class ApiError(Exception):
    """A request the API refuses, with the status and message it answers."""

    def __init__(self, status: int, message: str) -> None:
        super().__init__(message)
        self.status = status
        self.message = message


def error_response(status: int, message: str) -> JSONResponse:
    return JSONResponse({"error": message}, status_code=status)


async def on_api_error(request: Request, error: Exception) -> Response:
    assert isinstance(error, ApiError)
    return error_response(error.status, error.message)


async def on_http_error(request: Request, error: Exception) -> Response:
    """Starlette's own refusals (no such route, wrong method), as JSON."""
    assert isinstance(error, HTTPException)
    messages = {404: "no such page or route", 405: "method not allowed on this route"}
    message = messages.get(error.status_code, str(error.detail))
    return error_response(error.status_code, message)


async def on_unexpected(request: Request, error: Exception) -> Response:
    """Anything else: the server's log has the details, the client a line."""
    if isinstance(error, MemoryError):
        return error_response(507, "out of memory")
    return error_response(500, "internal error")
