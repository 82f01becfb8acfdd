"""The headers every answer carries: a Content-Security-Policy that lets the
page run only its own script files (no inline script, no other origin) and
headers that keep browsers from guessing types or framing the page."""

from __future__ import annotations

from starlette.types import ASGIApp, Message, Receive, Scope, Send

POLICY = (
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data:; "
    "connect-src 'self'; form-action 'none'; frame-ancestors 'none'; base-uri 'none'"
)
HEADERS = [
    (b"content-security-policy", POLICY.encode()),
    (b"x-content-type-options", b"nosniff"),
    (b"referrer-policy", b"no-referrer"),
    (b"x-frame-options", b"DENY"),
    (b"cache-control", b"no-store"),
]


class SecurityHeaders:
    """ASGI middleware adding HEADERS to every HTTP answer, streamed ones too."""

    def __init__(self, app: ASGIApp) -> None:
        self.app = app

    async def __call__(self, scope: Scope, receive: Receive, send: Send) -> None:
        if scope["type"] != "http":
            await self.app(scope, receive, send)
            return

        async def with_headers(message: Message) -> None:
            if message["type"] == "http.response.start":
                message["headers"] = [*message.get("headers", []), *HEADERS]
            await send(message)

        await self.app(scope, receive, with_headers)
