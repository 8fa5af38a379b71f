"""The review page's server: Starlette on uvicorn, on one address, for one person.

Every request must carry the token (in the URL once, then a cookie), name this
server in its Host header, and, to change anything, be a POST of JSON with the
token in a header, from this page's own origin. No request names a file: files
are numbers into the list given on the command line."""

from __future__ import annotations

import ipaddress
import json
import secrets
import socket
import threading
from collections.abc import Awaitable, Callable, MutableMapping
from importlib import resources
from typing import Any

import uvicorn
from starlette.applications import Starlette
from starlette.concurrency import run_in_threadpool
from starlette.requests import Request
from starlette.responses import RedirectResponse, Response
from starlette.routing import Route
from starlette.types import ASGIApp, Receive, Scope, Send

from c_quorvant.cli.errors import CliError
from c_quorvant.review.session import Session

COOKIE = "quorvant_review"
TOKEN_HEADER = "x-review-token"
_STATIC = {"review.js": "text/javascript", "review.css": "text/css"}
_HEADERS = {
    "Content-Security-Policy": "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
    "img-src 'self'; form-action 'none'; frame-ancestors 'none'; base-uri 'none'",
    "X-Content-Type-Options": "nosniff",
    # The first URL holds the token.
    "Referrer-Policy": "no-referrer",
    "Cache-Control": "no-store",
}


def is_loopback(host: str) -> bool:
    if host == "localhost":
        return True
    try:
        return ipaddress.ip_address(host).is_loopback
    except ValueError:
        return False


def _host_name(header: str) -> str:
    if header.startswith("["):
        return header[: header.find("]") + 1]
    return header.rpartition(":")[0] if ":" in header else header


class _Guard:
    """Refuses what did not come from the page this server gave out."""

    def __init__(self, app: ASGIApp, token: str, hosts: set[str], finished: threading.Event) -> None:
        self._app = app
        self._token = token
        self._hosts = hosts
        self._finished = finished

    async def __call__(self, scope: Scope, receive: Receive, send: Send) -> None:
        if scope["type"] == "websocket":
            # The page uses none; nothing may talk to the server past these checks.
            return await send({"type": "websocket.close", "code": 1008})
        if scope["type"] != "http":
            return await self._app(scope, receive, send)
        request = Request(scope)
        refusal = self._refusal(request)
        if refusal is not None:
            status, message = refusal
            return await _plain(message, status)(scope, receive, send)

        async def with_headers(message: MutableMapping[str, Any]) -> None:
            if message["type"] == "http.response.start":
                message.setdefault("headers", [])
                message["headers"] += [(name.lower().encode(), value.encode()) for name, value in _HEADERS.items()]
            await send(message)

        await self._app(scope, receive, with_headers)

    def _refusal(self, request: Request) -> tuple[int, str] | None:
        if self._finished.is_set():
            return 410, "This review is finished."
        host = request.headers.get("host", "")
        if _host_name(host) not in self._hosts:
            return 400, "Unknown Host header."
        given = request.query_params.get("token") if request.url.path == "/" else None
        given = given or request.cookies.get(COOKIE, "")
        if not secrets.compare_digest(given.encode(), self._token.encode()):
            return 403, "A valid token is needed: open the address the review printed."
        if request.method == "GET":
            return None
        if request.method != "POST":
            return 405, "Method not allowed."
        origin = request.headers.get("origin")
        if origin is not None and origin != f"http://{host}":
            return 403, "Cross-origin requests are refused."
        if request.headers.get("sec-fetch-site", "same-origin") not in ("same-origin", "none"):
            return 403, "Cross-site requests are refused."
        if request.headers.get("content-type", "").split(";")[0].strip() != "application/json":
            return 415, "A JSON body is needed."
        if not secrets.compare_digest(request.headers.get(TOKEN_HEADER, "").encode(), self._token.encode()):
            return 403, "The token header is missing."
        return None


def _plain(message: str, status: int) -> Response:
    return Response(message, status, media_type="text/plain", headers=_HEADERS)


def _json_body(handler: Callable[[Any], Any]) -> Callable[[Request], Awaitable[Response]]:
    """A POST route on the request's JSON object."""

    async def route(request: Request) -> Response:
        try:
            body = json.loads(await request.body())
        except ValueError:
            return _plain("The body is not JSON.", 400)
        if not isinstance(body, dict):
            return _plain("The body is not a JSON object.", 400)
        try:
            # The passes run outside the event loop, which keeps answering meanwhile.
            return _json(await run_in_threadpool(handler, body))
        except _BadRequest as error:
            return _plain(str(error), 400)
        except CliError as error:
            return _json({"problem": str(error)}, 409)

    return route


class _BadRequest(Exception):
    pass


def _disabled(body: dict[str, Any], session: Session) -> frozenset[str]:
    disabled = body.get("disabled", [])
    known = {rule.pattern for rule in session.rules}
    if not isinstance(disabled, list) or not all(isinstance(pattern, str) and pattern in known for pattern in disabled):
        raise _BadRequest("disabled: a list of the patterns of the word list")
    return frozenset(disabled)


def _rejected(body: dict[str, Any], session: Session) -> dict[int, set[int]]:
    rejected: dict[int, set[int]] = {}
    pairs = body.get("rejected", [])
    files = len(session.episodes)
    if not isinstance(pairs, list):
        raise _BadRequest("rejected: a list of [file, position] pairs")
    for pair in pairs:
        if not (isinstance(pair, list) and len(pair) == 2 and all(type(number) is int for number in pair)):
            raise _BadRequest("rejected: a list of [file, position] pairs")
        file, position = pair
        if not (0 <= file < files and 0 <= position < len(session.episodes[file].keys)):
            raise _BadRequest(f"rejected: no text {position} in file {file}")
        rejected.setdefault(file, set()).add(position)
    return rejected


def _encoded(document: dict[str, Any]) -> bytes:
    # ASCII: a file name that is not UTF-8 holds surrogates, which JSON escapes.
    return json.dumps(document, separators=(",", ":")).encode()


def _json(document: dict[str, Any], status: int = 200) -> Response:
    return Response(_encoded(document), status, media_type="application/json")


def build_app(session: Session, token: str, hosts: set[str], finished: threading.Event) -> ASGIApp:
    static = resources.files("c_quorvant.review") / "static"
    page = (static / "index.html").read_text("utf-8").replace("{{token}}", token)
    assets = {name: (static / name).read_bytes() for name in _STATIC}
    lock = threading.Lock()  # a reading again and a rework don't mix

    async def index(request: Request) -> Response:
        if "token" in request.query_params:
            # The token leaves the address bar and the history; the cookie carries it on.
            response: Response = RedirectResponse("/", 303)
            response.set_cookie(COOKIE, token, httponly=True, samesite="strict")
            return response
        return Response(page, media_type="text/html")

    async def asset(request: Request) -> Response:
        name = request.path_params["name"]
        if name not in _STATIC:
            return _plain("Not found.", 404)
        return Response(assets[name], media_type=_STATIC[name])

    # Worked out before the address is printed, so the page comes at once.
    shown = [_encoded(session.state())]

    async def state(_request: Request) -> Response:
        return Response(shown[0], media_type="application/json")

    def changes(body: dict[str, Any]) -> dict[str, Any]:
        with lock:
            return session.rework(_disabled(body, session))

    def apply(body: dict[str, Any]) -> dict[str, Any]:
        with lock:
            return {"files": session.apply(_disabled(body, session), _rejected(body, session))}

    def reload(_body: dict[str, Any]) -> dict[str, Any]:
        with lock:
            session.load()
            state = session.state()
            shown[0] = _encoded(state)
            return state

    def finish(_body: dict[str, Any]) -> dict[str, Any]:
        finished.set()
        return {"finished": True}

    routes = [
        Route("/", index),
        Route("/static/{name}", asset),
        Route("/api/state", state),
        Route("/api/changes", _json_body(changes), methods=["POST"]),
        Route("/api/apply", _json_body(apply), methods=["POST"]),
        Route("/api/reload", _json_body(reload), methods=["POST"]),
        Route("/api/finish", _json_body(finish), methods=["POST"]),
    ]
    return _Guard(Starlette(routes=routes), token, hosts, finished)


class ReviewServer:
    """Serves `session` on `host`:`port` (0: a free port) from a thread of its own,
    until `finished` is set (the page's Finish) or `stop` is called."""

    def __init__(self, session: Session, host: str = "127.0.0.1", port: int = 0) -> None:
        family = socket.AF_INET6 if ":" in host else socket.AF_INET
        self._socket = socket.socket(family, socket.SOCK_STREAM)
        self._socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            self._socket.bind((host, port))
        except OSError as error:
            self._socket.close()
            raise CliError(f"cannot serve on {host}:{port}: {error.strerror or error}") from None
        # Connections made before the server's loop runs wait in the backlog.
        self._socket.listen(128)
        self.port = self._socket.getsockname()[1]
        self.host = f"[{host}]" if family == socket.AF_INET6 else host
        self.token = secrets.token_urlsafe(32)
        self.finished = threading.Event()
        app = build_app(session, self.token, {self.host, "localhost", "127.0.0.1"}, self.finished)
        config = uvicorn.Config(app, log_level="warning", access_log=False, lifespan="off")
        self._server = uvicorn.Server(config)
        self._thread = threading.Thread(target=self._server.run, kwargs={"sockets": [self._socket]}, daemon=True)

    @property
    def url(self) -> str:
        return f"http://{self.host}:{self.port}/?token={self.token}"

    def __enter__(self) -> ReviewServer:
        self._thread.start()
        return self

    def __exit__(self, *_exception: object) -> None:
        self.stop()

    def stop(self) -> None:
        self.finished.set()
        self._server.should_exit = True
        if self._thread.is_alive():
            self._thread.join()
        self._socket.close()
