"""Reading an API request into a call of the Lexicon.

A request is a JSON object: `phrase`, the constraints under the names of the
Python keywords, and the request's own fields (`offset` and `limit` of a
page, `k` of a ranking, `order`). Sizes are bounded before anything else;
then the same call is made on an empty Lexicon, which returns at once and
refuses a wrong argument with exactly the message the Python API gives.
`lengths` may also be a text, as on the command line: "5,4", "5-4", "5 4".
"""

from __future__ import annotations

import json
import math
from dataclasses import dataclass, field
from typing import Any

from vorpalyx._engine import Lexicon
from vorpalyx.server import capabilities

MAX_BODY_BYTES = 16 * 1024
# A body is a few hundred bytes: one that has not arrived in this time is
# not coming, and its connection is better closed.
BODY_SECONDS = 10.0
MAX_PHRASE_CHARACTERS = 200
MAX_TEXT_CHARACTERS = 64
MAX_LIST_ITEMS = 32
MAX_PAGE = 100
MAX_BEST = 1000
DEFAULT_PAGE = 20
LARGEST_OFFSET = 2**63 - 1
DEFAULT_TIME_LIMIT = 2.0

# The fields of a request, by method, that are not constraints.
OWN_FIELDS = {
    "search": ("phrase", "offset", "limit", "order"),
    "count": ("phrase",),
    "best": ("phrase", "k"),
}

_EMPTY = Lexicon()


class Refused(Exception):
    """A request the server does not take; the message says why."""

    def __init__(self, message: str, status: int = 400) -> None:
        super().__init__(message)
        self.status = status


@dataclass
class Query:
    method: str
    phrase: str
    keywords: dict[str, Any] = field(default_factory=dict)
    offset: int = 0
    limit: int = DEFAULT_PAGE
    k: object = None

    def key(self) -> tuple[object, ...]:
        """Equal for queries with the same solutions."""
        return (self.method, self.phrase, self.k,
                json.dumps(self.keywords, sort_keys=True))


def _finite_number(text: str) -> float:
    value = float(text)
    if not math.isfinite(value):
        raise ValueError(f"{text} is not a finite number")
    return value


def _reject_constant(name: str) -> object:
    raise ValueError(f"{name} is not a JSON number")


def parse_body(body: bytes) -> dict[str, object]:
    if len(body) > MAX_BODY_BYTES:
        raise Refused(f"the request body is larger than {MAX_BODY_BYTES} "
                      "bytes", 413)
    try:
        value = json.loads(body, parse_constant=_reject_constant,
                           parse_float=_finite_number)
    except (ValueError, RecursionError) as error:
        raise Refused(f"the request body is not valid JSON: {error}") from None
    if not isinstance(value, dict):
        raise Refused("the request body must be a JSON object")
    return value


def _check_size(name: str, value: object) -> None:
    limit = MAX_PHRASE_CHARACTERS if name == "phrase" else MAX_TEXT_CHARACTERS
    if isinstance(value, str) and len(value) > limit:
        raise Refused(f"'{name}' is longer than {limit} characters")
    if isinstance(value, dict):
        # The API takes an object as the list of its keys.
        value = list(value)
    if isinstance(value, list):
        if len(value) > MAX_LIST_ITEMS:
            raise Refused(f"'{name}' has more than {MAX_LIST_ITEMS} items")
        for item in value:
            if isinstance(item, (list, dict)):
                raise Refused(f"'{name}' must not hold lists or objects")
            _check_size(name, item)


def _whole_number(fields: dict[str, object], name: str, default: int,
                  least: int, most: int) -> int:
    value = fields.get(name, default)
    if (not isinstance(value, int) or isinstance(value, bool)
            or not least <= value <= most):
        raise Refused(f"'{name}' must be a whole number from {least} to "
                      f"{most}, not {json.dumps(value)}")
    return value


def read_lengths(text: str) -> list[int]:
    """The list of a crossword enumeration written as text; the engine
    judges the numbers."""
    pieces = text.replace(",", " ").replace("-", " ").split()
    if not pieces or not all(piece.isascii() and piece.isdigit()
                             for piece in pieces):
        raise Refused(f"'lengths' must be word lengths such as [5, 4] or "
                      f"\"5,4\", not {json.dumps(text)}")
    return [int(piece) for piece in pieces]


def read_query(method: str, fields: dict[str, object],
               time_limit: float = DEFAULT_TIME_LIMIT) -> Query:
    """The call that `fields` asks for; raises Refused."""
    accepted = capabilities.accepted_constraints()
    for name, value in fields.items():
        if name in capabilities.SERVER_CHOSEN:
            raise Refused(f"'{name}' is chosen by the server, not by a "
                          "request")
        if name not in accepted and name not in OWN_FIELDS[method]:
            raise Refused(f"{method}() got an unexpected keyword argument "
                          f"'{name}'")
        _check_size(name, value)
    if "phrase" not in fields:
        raise Refused(f"{method}() missing required argument 'phrase'")
    keywords = {name: value for name, value in fields.items()
                if name in accepted and value is not None}
    lengths = keywords.get("lengths")
    if isinstance(lengths, str):
        keywords["lengths"] = read_lengths(lengths)
    query = Query(method, fields["phrase"], keywords)  # type: ignore[arg-type]
    if method == "search":
        query.offset = _whole_number(fields, "offset", 0, 0, LARGEST_OFFSET)
        query.limit = _whole_number(fields, "limit", DEFAULT_PAGE, 1, MAX_PAGE)
        if fields.get("order") is not None:
            keywords["order"] = fields["order"]
    if method == "best":
        query.k = fields.get("k", 10)
        if isinstance(query.k, int) and query.k > MAX_BEST:
            raise Refused(f"'k' must be at most {MAX_BEST}, not {query.k}")
    _check_with_empty_lexicon(query)
    requested = keywords.get("timeout_seconds", time_limit)
    keywords["timeout_seconds"] = min(float(requested), time_limit)  # type: ignore[arg-type]
    return query


def _check_with_empty_lexicon(query: Query) -> None:
    call = getattr(_EMPTY, query.method)
    arguments = (query.phrase, query.k) if query.method == "best" else (
        query.phrase,)
    try:
        call(*arguments, **query.keywords)
    except (TypeError, ValueError, OverflowError) as error:
        raise Refused(str(error)) from None
