"""The web application: the page, its files and the JSON API.

Every answer is JSON except the page and its files; every refusal is a JSON
object {"error": message} with a 4xx status (503 when the workers cannot
answer).
"""

from __future__ import annotations

import asyncio
import ipaddress
import pathlib
from collections.abc import Mapping

from starlette.applications import Starlette
from starlette.exceptions import HTTPException
from starlette.requests import ClientDisconnect, Request
from starlette.responses import FileResponse, JSONResponse, Response
from starlette.routing import Mount, Route
from starlette.staticfiles import StaticFiles
from starlette.types import ASGIApp, Receive, Scope, Send

from vorpalyx.server import capabilities
from vorpalyx.server.pool import WorkerPool
from vorpalyx.server.query import (
    BODY_SECONDS, DEFAULT_PAGE, DEFAULT_TIME_LIMIT, MAX_BODY_BYTES, MAX_PAGE,
    MAX_PHRASE_CHARACTERS, Refused, parse_body, read_query)

STATIC = pathlib.Path(__file__).with_name("static")
# The page loads nothing from elsewhere; saying so to the browser also keeps
# any text that got into the page from running as script.
SECURITY_HEADERS = {
    "content-security-policy": "default-src 'self'; object-src 'none'; "
                               "base-uri 'none'; frame-ancestors 'none'",
    "x-content-type-options": "nosniff",
    "referrer-policy": "no-referrer",
}
# The page and its files change with the installed package: kept by their
# age, as a browser does without this, an old page would run against a new
# server. An unchanged file costs a 304.
CACHE_HEADERS = {"cache-control": "no-cache"}


def _refusal(message: str, status: int,
             headers: Mapping[str, str] | None = None) -> JSONResponse:
    # A message may quote a request's text, and JSON can carry a lone
    # surrogate (a field named "\ud800") that UTF-8 cannot.
    message = message.encode("utf-8", "backslashreplace").decode("utf-8")
    return JSONResponse({"error": message}, status_code=status,
                        headers=headers)


def names_loopback(host_header: str) -> bool:
    """Whether a Host header names this machine: localhost or a loopback
    address, with or without a port."""
    if host_header.startswith("["):
        name = host_header[1:].partition("]")[0]
    else:
        name = host_header.partition(":")[0]
    if name.lower() == "localhost":
        return True
    try:
        return ipaddress.ip_address(name).is_loopback
    except ValueError:
        return False


class _Guard:
    """Adds the security and cache headers to every answer and, for a server
    on loopback, refuses requests addressed to any other name: a web site
    whose name has been pointed at 127.0.0.1 (DNS rebinding) cannot use it."""

    def __init__(self, app: ASGIApp, loopback_only: bool) -> None:
        self.app = app
        self.loopback_only = loopback_only

    async def __call__(self, scope: Scope, receive: Receive, send: Send) -> None:
        async def send_with_headers(message):  # type: ignore[no-untyped-def]
            if message["type"] == "http.response.start":
                message.setdefault("headers", [])
                message["headers"] = [*message["headers"], *(
                    (name.encode(), value.encode())
                    for name, value in {**SECURITY_HEADERS,
                                        **CACHE_HEADERS}.items())]
            await send(message)

        if self.loopback_only and scope["type"] == "http":
            host = dict(scope["headers"]).get(b"host", b"").decode("latin-1")
            if not names_loopback(host):
                response = _refusal("this server answers only requests "
                                    "addressed to this machine (Host: "
                                    "127.0.0.1, localhost or [::1])", 421)
                await response(scope, receive, send_with_headers)
                return
        await self.app(scope, receive, send_with_headers)


def create_app(pool: WorkerPool, time_limit: float = DEFAULT_TIME_LIMIT,
               loopback_only: bool = False,
               body_seconds: float = BODY_SECONDS) -> ASGIApp:
    # The fold table takes a fraction of a second to build: once, here,
    # rather than in the first page's wait.
    capabilities.fold_table()

    async def page(request: Request) -> Response:
        return FileResponse(STATIC / "index.html")

    async def info(request: Request) -> Response:
        return JSONResponse({
            **capabilities.describe(),
            "time_limit": time_limit,
            "default_page": DEFAULT_PAGE,
            "max_page": MAX_PAGE,
            "max_phrase_characters": MAX_PHRASE_CHARACTERS,
        })

    async def answer(request: Request, method: str) -> Response:
        if method == "best" and not capabilities.can_rank():
            return _refusal("ranking is not available in this build of "
                            "vorpalyx", 404)
        try:
            # Media types are case-insensitive.
            if request.headers.get("content-type", "").split(";")[0].strip() \
                    .lower() != "application/json":
                raise Refused("the request must be JSON (Content-Type: "
                              "application/json)", 415)
            size = request.headers.get("content-length", "")
            if size.isdigit() and int(size) > MAX_BODY_BYTES:
                raise Refused("the request body is larger than "
                              f"{MAX_BODY_BYTES} bytes", 413)
            body = await _body(request, body_seconds)
            query = read_query(method, parse_body(body), time_limit)
            result = await pool.solve(query, request.is_disconnected)
        except Refused as refusal:
            return _refusal(str(refusal), refusal.status)
        return JSONResponse(result)

    def endpoint(method: str):  # type: ignore[no-untyped-def]
        async def handle(request: Request) -> Response:
            return await answer(request, method)
        return handle

    async def http_error(request: Request, error: Exception) -> Response:
        assert isinstance(error, HTTPException)
        # A 405 names the methods that the path takes (Allow).
        return _refusal(error.detail, error.status_code, error.headers)

    app = Starlette(
        routes=[
            Route("/", page),
            Route("/api/info", info),
            *(Route(f"/api/{method}", endpoint(method), methods=["POST"])
              for method in ("search", "count", "best")),
            Mount("/static", StaticFiles(directory=STATIC)),
        ],
        exception_handlers={HTTPException: http_error},
    )
    return _Guard(app, loopback_only)


async def _body(request: Request, seconds: float) -> bytes:
    """The body, read no further than the size limit, and for no longer than
    the time limit: a client that trickles it would hold its connection."""
    chunks = []
    size = 0
    try:
        async with asyncio.timeout(seconds):
            async for chunk in request.stream():
                size += len(chunk)
                if size > MAX_BODY_BYTES:
                    raise Refused("the request body is larger than "
                                  f"{MAX_BODY_BYTES} bytes", 413)
                chunks.append(chunk)
    except ClientDisconnect:
        # Left unanswered, it would reach the server's log as a traceback.
        raise Refused("the client left before sending the whole request",
                      499) from None
    except TimeoutError:
        raise Refused(f"the request body took more than {seconds:g} seconds "
                      "to arrive", 408) from None
    return b"".join(chunks)
