"""`vorpalyx serve [--port N] [--host ADDR] [--dict FILE ...] [--weights FILE]`:
serves the page and the API until Ctrl-C."""

from __future__ import annotations

import argparse
import errno
import ipaddress
import os
import signal
import socket
import stat
import sys
from collections.abc import Sequence

from vorpalyx._arguments import new_parser

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Callable
    from typing import Any

PROGRAM = "vorpalyx serve"
LOOPBACK = "127.0.0.1"


def _port(text: str) -> int:
    if text.isdecimal() and int(text) <= 65535:
        return int(text)
    raise argparse.ArgumentTypeError(
        f"expected a port number from 0 to 65535, got {text!r}")


def _host(text: str) -> str:
    # The socket takes an empty address for every interface: a `--host
    # "$HOST"` with HOST unset would put the server on the network.
    if text:
        return text
    raise argparse.ArgumentTypeError("expected an address, got ''")


def build_parser() -> argparse.ArgumentParser:
    parser = new_parser(
        prog=PROGRAM,
        description="Serve a web page for finding anagrams, and its JSON "
        "API, until Ctrl-C.")
    parser.add_argument(
        "--port", type=_port, default=0, metavar="N",
        help="the port to listen on (default: a free one)")
    parser.add_argument(
        "--host", type=_host, default=LOOPBACK, metavar="ADDR",
        help="the address to listen on (default: 127.0.0.1, this machine "
        "only; any other address lets others on the network use the server)")
    parser.add_argument(
        "--dict", dest="dictionaries", action="append", default=[],
        metavar="FILE", help="load the words of FILE (UTF-8, one word per "
        "line); repeatable; without it the bundled English list is used")
    parser.add_argument(
        "--weights", metavar="FILE",
        help="rank with the word weights of FILE (word<TAB>count lines)")
    return parser


def _listening_socket(host: str, port: int) -> socket.socket:
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    listener = socket.socket(family, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind((host, port))
    listener.listen(128)
    return listener


def address(listener: socket.socket) -> str:
    host, port = listener.getsockname()[:2]
    return f"http://[{host}]:{port}/" if ":" in host else f"http://{host}:{port}/"


def _unreadable(dictionaries: list[str], weights: str | None) -> str | None:
    """Why the files cannot be loaded, naming the one at fault; None when
    they can. Loaded once here, file by file, so that this is said plainly
    before any worker starts."""
    from vorpalyx._engine import Lexicon
    from vorpalyx.cli import reason
    from vorpalyx.server.capabilities import can_rank

    try:
        lexicon = Lexicon() if dictionaries else Lexicon.english()
        if not dictionaries and weights is None and can_rank():
            # The bundled weights, which a worker would read only at its
            # first ranking.
            lexicon.best("", 0)
    except OSError as error:
        return f"{error.filename}: {reason(error)}"
    except ValueError as error:
        # Bundled weights that do not fit the bundled list.
        return str(error)
    # Each load, the file it reads and what a refused line of it is called.
    loads: list[tuple[Callable[[Any], None], str, str]] = [
        (lexicon.load_path, path, path) for path in dictionaries]
    if weights is not None:
        loads.append((lexicon.set_weights, weights, "argument --weights"))
    for load, path, name in loads:
        try:
            # Read here, a pipe would leave the workers nothing, or no
            # writer to wait for; and `<(...)` names a descriptor of this
            # process alone.
            if stat.S_ISFIFO(os.stat(path).st_mode):
                return f"{path}: a pipe, not a file (each worker reads it again)"
            load(path)
        except (OSError, UnicodeDecodeError) as error:
            return f"{path}: {reason(error)}"
        except ValueError as error:
            return f"{name}: {error}"
    return None


def _output_failed(error: OSError) -> int:
    """Says that standard output cannot be written (a full disk, say) and
    gives the status for it; a reader that has gone ends it quietly, as it
    does the command."""
    from vorpalyx.cli import EXIT_BROKEN_PIPE, discard_further_output, reason

    discard_further_output()
    if isinstance(error, BrokenPipeError):
        return EXIT_BROKEN_PIPE
    print(f"{PROGRAM}: error: standard output: {reason(error)}", file=sys.stderr)
    return 1


def main(argv: Sequence[str]) -> int:
    parser = build_parser()
    try:
        try:
            arguments = parser.parse_args(argv)
        except OSError as error:
            return _output_failed(error)
        return _serve(parser, arguments)
    except SystemExit as exit_request:
        # argparse exits with 0 after --help and with 2 on a usage error.
        code = exit_request.code
        try:
            if sys.stdout is not None:
                sys.stdout.flush()
        except OSError as error:
            return _output_failed(error)
        return code if isinstance(code, int) else 2


def _serve(parser: argparse.ArgumentParser,
           arguments: argparse.Namespace) -> int:
    try:
        import uvicorn

        from vorpalyx.server.app import create_app
    except ImportError as error:
        print(f"{PROGRAM}: error: {error.name} is missing; install the web "
              "extra: pip install 'vorpalyx[web]'", file=sys.stderr)
        return 1
    from vorpalyx._engine import Lexicon
    from vorpalyx.cli import reason
    from vorpalyx.server.pool import WorkerPool

    if sys.stdout is None:
        # Closed: the address cannot be printed, and uvicorn's logging would
        # fail on it.
        return _output_failed(OSError(errno.EBADF, os.strerror(errno.EBADF)))
    if arguments.weights is not None and not hasattr(Lexicon, "set_weights"):
        parser.error("argument --weights: ranking is not available in this build of "
                     "vorpalyx")
    dictionaries = [os.path.abspath(path) for path in arguments.dictionaries]
    weights = arguments.weights and os.path.abspath(arguments.weights)
    problem = _unreadable(dictionaries, weights)
    if problem is not None:
        print(f"{PROGRAM}: error: {problem}", file=sys.stderr)
        return 1
    try:
        listener = _listening_socket(arguments.host, arguments.port)
    except (OSError, TypeError) as error:
        # socket raises TypeError for a name that no host can have: with a
        # byte that is not UTF-8, or a NUL.
        why = reason(error) if isinstance(error, OSError) else str(error)
        print(f"{PROGRAM}: error: cannot listen on {arguments.host} port "
              f"{arguments.port}: {why}", file=sys.stderr)
        return 1
    pool = None
    # uvicorn answers SIGTERM as it does Ctrl-C and then raises the signal
    # again; as KeyboardInterrupt it lets the workers be ended here too.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    try:
        pool = WorkerPool(dictionaries, weights)
        app = create_app(pool, loopback_only=ipaddress.ip_address(
            listener.getsockname()[0]).is_loopback)
        config = uvicorn.Config(app, log_level="warning",
                                access_log=False, lifespan="off")
        server = uvicorn.Server(config)
        try:
            print(f"Serving vorpalyx on {address(listener)} (Ctrl-C stops it)",
                  flush=True)
        except OSError as error:
            return _output_failed(error)
        server.run(sockets=[listener])
    except KeyboardInterrupt:
        pass
    finally:
        if pool is not None:
            pool.close()
        listener.close()
    return 0
