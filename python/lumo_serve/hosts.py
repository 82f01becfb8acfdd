"""Answers only requests whose Host header names an allowed host, so that a
web page that points its own name at the loopback address (DNS rebinding)
cannot reach a server listening there. IPv6 hosts come in brackets,
`[::1]:8000`, and are compared without them."""

from __future__ import annotations

from starlette.responses import JSONResponse
from starlette.types import ASGIApp, Receive, Scope, Send


def host_name(header: str) -> str:
    """The host of a Host header, without its port or brackets, in lower case."""
    if header.startswith("["):
        return header[1 : header.find("]")].lower() if "]" in header else ""
    return header.rsplit(":", 1)[0].lower() if header.count(":") == 1 else header.lower()


class AllowedHosts:
    """ASGI middleware: a request for another host gets 400."""

    def __init__(self, app: ASGIApp, hosts: list[str]) -> None:
        self.app = app
        self.hosts = {host_name(host) if host.startswith("[") else host.lower() for host in hosts}

    async def __call__(self, scope: Scope, receive: Receive, send: Send) -> None:
        if scope["type"] == "http":
            header = dict(scope["headers"]).get(b"host", b"").decode("latin-1")
            if host_name(header) not in self.hosts:
                message = "this server answers only requests for " + ", ".join(sorted(self.hosts))
                await JSONResponse({"error": message}, 400)(scope, receive, send)
                return
        await self.app(scope, receive, send)
