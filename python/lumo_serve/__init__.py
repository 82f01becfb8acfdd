"""lumo serve: a local page to convert text and review the choices the
conversion made, and an HTTP API beside it, on Starlette and uvicorn (the
`serve` extra). create_app() makes the ASGI application; run() serves it.
"""

from __future__ import annotations

from .app import MAX_BYTES, MAX_FILE_BYTES, create_app
from .command import run

__all__ = ["MAX_BYTES", "MAX_FILE_BYTES", "create_app", "run"]
