"""Serving the application with uvicorn, as `lumo serve` does."""

from __future__ import annotations

import ipaddress

from .app import create_app

LOOPBACK_NAMES = ["127.0.0.1", "localhost", "::1"]


def is_loopback(host: str) -> bool:
    if host == "localhost":
        return True
    try:
        return ipaddress.ip_address(host.strip("[]")).is_loopback
    except ValueError:
        return False


def run(host: str, port: int, max_bytes: int, max_file_bytes: int) -> None:
    """Serves until interrupted. On a loopback address, only requests naming
    a loopback host are answered; on another, every host is."""
    import uvicorn

    allowed = LOOPBACK_NAMES + [host] if is_loopback(host) else None
    app = create_app(max_bytes, max_file_bytes, allowed)
    print(f"lumo serve: http://{_shown(host)}:{port}/  (Ctrl-C stops)", flush=True)
    uvicorn.run(app, host=host, port=port, log_level="warning", server_header=False)


def _shown(host: str) -> str:
    return f"[{host}]" if ":" in host and not host.startswith("[") else host
