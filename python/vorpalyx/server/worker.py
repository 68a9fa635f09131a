"""What runs in a worker process: one Lexicon, loaded once, and the results
of its latest searches, kept so that paging through a result does not search
again.

Every call is bounded by its `timeout_seconds`. A search that the limit
stopped returns the solutions it found and says so (Anagrams.partial); a
count or a ranking cannot, so one that took most of its limit is reported as
partial: it may lack some solutions.
"""

from __future__ import annotations

import os
import signal
import threading
import time
from collections import OrderedDict
from typing import Any

from vorpalyx._engine import Anagrams, Lexicon

TYPE_CHECKING = False
if TYPE_CHECKING:
    from multiprocessing.connection import Connection

# A count or ranking stopped by its limit returns between about 3/4 of the
# limit and a little past it; a complete one rarely takes that long.
PARTIAL_SHARE = 0.75
# Kept results hold 16 bytes or less a solution; the latest is always kept.
KEPT_SOLUTIONS = 2_000_000
KEPT_RESULTS = 16

_lexicon: Lexicon | None = None
_kept: OrderedDict[tuple[object, ...], Anagrams] = OrderedDict()


def load_lexicon(dictionaries: list[str], weights: str | None) -> Lexicon:
    if dictionaries:
        lexicon = Lexicon()
        for path in dictionaries:
            lexicon.load_path(path)
    else:
        lexicon = Lexicon.english()
    if weights is not None:
        lexicon.set_weights(weights)
    return lexicon


def start(dictionaries: list[str], weights: str | None,
          server_alive: Connection | None = None) -> None:
    """The process initializer. `server_alive` is the reading end of a pipe
    that only the server can write to."""
    global _lexicon
    # Ctrl-C reaches the whole process group; the server alone answers it.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    _lexicon = load_lexicon(dictionaries, weights)
    if server_alive is not None:
        threading.Thread(target=_end_with_server, args=(server_alive,),
                         daemon=True).start()


def _end_with_server(server_alive: Connection) -> None:
    """Ends this process once the server has gone without ending it (killed,
    say): nothing is ever written to the pipe, so reading it ends only when
    the server's end closes. The fork server, this process's parent,
    outlives the server as long as one of its children does."""
    try:
        server_alive.recv_bytes()
    except (EOFError, OSError):
        pass
    os._exit(0)


def process_id() -> int:
    return os.getpid()


def _timed(call, keywords: dict[str, Any]):  # type: ignore[no-untyped-def]
    started = time.perf_counter()
    value = call()
    seconds = time.perf_counter() - started
    limit = keywords["timeout_seconds"]
    partial = seconds >= PARTIAL_SHARE * limit
    return value, partial, seconds


def search(key: tuple[object, ...], phrase: str, keywords: dict[str, Any],
           offset: int, limit: int) -> dict[str, object]:
    assert _lexicon is not None
    started = time.perf_counter()
    result = _kept.get(key)
    if result is None:
        result = _lexicon.search(phrase, threads=1, **keywords)
        _keep(key, result)
    else:
        _kept.move_to_end(key)
    solutions = list(result[offset:offset + limit])
    blanks = [""] * len(solutions)
    leftover = [""] * len(solutions)
    # Only blanks and leftover letters give a solution letters of its own.
    if ("?" in phrase or keywords.get("leftover")) and hasattr(result, "details"):
        for index in range(len(solutions)):
            _, blanks[index], leftover[index] = result.details(offset + index)
    return {
        "total": len(result),
        # The limit leaves time for what follows the search, which may end
        # well before it: only the result knows whether it is whole.
        "partial": result.partial,
        "seconds": time.perf_counter() - started,
        "offset": offset,
        "solutions": solutions,
        "blanks": blanks,
        "leftover": leftover,
    }


def _keep(key: tuple[object, ...], result: Anagrams) -> None:
    _kept[key] = result
    total = sum(map(len, _kept.values()))
    while len(_kept) > 1 and (total > KEPT_SOLUTIONS
                              or len(_kept) > KEPT_RESULTS):
        oldest = _kept.popitem(last=False)[1]
        total -= len(oldest)


def count(phrase: str, keywords: dict[str, Any]) -> dict[str, object]:
    assert _lexicon is not None
    total, partial, seconds = _timed(
        lambda: _lexicon.count(phrase, threads=1, **keywords), keywords)
    return {"count": total, "partial": partial, "seconds": seconds}


def best(phrase: str, k: object, keywords: dict[str, Any]) -> dict[str, object]:
    assert _lexicon is not None
    ranked, partial, seconds = _timed(
        lambda: _lexicon.best(phrase, k, threads=1, **keywords),  # type: ignore[arg-type]
        keywords)
    return {
        "ranked": [{"score": entry.score, "words": list(entry.words),
                    "blanks": getattr(entry, "blanks", ""),
                    "leftover": getattr(entry, "leftover", "")}
                   for entry in ranked],
        "partial": partial,
        "seconds": seconds,
    }
