"""Serving the application with uvicorn, as `lumo serve` does."""

from __future__ import annotations

import ipaddress
import os
import socket

from lumo_cli.errors import CliError

from .app import create_app

LOOPBACK_NAMES = ["127.0.0.1", "localhost", "::1"]


def is_loopback(host: str) -> bool:
    if host == "localhost":
        return True
    try:
        return ipaddress.ip_address(host.strip("[]")).is_loopback
    except ValueError:
        return False


def listen(host: str, port: int) -> socket.socket:
    """A socket listening on `host` and `port` (0: any free port), or a
    CliError saying why there is none."""
    try:
        family = socket.getaddrinfo(host, port, type=socket.SOCK_STREAM)[0][0]
        return socket.create_server((host, port), family=family)
    except (OSError, UnicodeError) as error:
        number = getattr(error, "errno", None)
        reason = os.strerror(number) if isinstance(error, OSError) and number else str(error)
        raise CliError(f"serve: cannot listen on {_shown(host)}:{port}: {reason}") from None


def run(host: str, port: int, max_bytes: int, max_file_bytes: int) -> None:
    """Serves until interrupted. On a loopback address, only requests naming
    a loopback host are answered; on another, every host is."""
    import uvicorn

    allowed = LOOPBACK_NAMES + [host.strip("[]")] if is_loopback(host) else None
    app = create_app(max_bytes, max_file_bytes, allowed)
    server = listen(host, port)
    bound = server.getsockname()[1]
    print(f"lumo serve: http://{_shown(host)}:{bound}/  (Ctrl-C stops)", flush=True)
    config = uvicorn.Config(app, log_level="warning", server_header=False)
    uvicorn.Server(config).run(sockets=[server])


def _shown(host: str) -> str:
    return f"[{host}]" if ":" in host and not host.startswith("[") else host
