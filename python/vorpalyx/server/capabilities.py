"""What the installed Lexicon can do, found by asking it.

Constraints, ranking and blanks come to the engine over time; the server and
the page offer exactly what this build accepts, decided here and nowhere
else. A keyword counts as accepted when `Lexicon.count` does not refuse it as
unknown.
"""

from __future__ import annotations

import functools
import sys

from vorpalyx._engine import Lexicon, fold

# The constraint keywords the page has controls for, in the order it shows
# them. The server takes any of them that the engine accepts.
CONSTRAINTS = (
    "max_words", "min_words", "min_word_length", "max_word_length", "lengths",
    "must_start_with", "can_only_ever_start_with", "must_not_start_with",
    "contains_patterns", "include", "exclude", "distinct", "leftover",
    "max_solutions", "timeout_seconds", "fold",
)
# Keywords of search that requests never choose: the workers solve on one
# thread each.
SERVER_CHOSEN = ("threads",)


def accepts(keyword: str) -> bool:
    try:
        Lexicon().count("", **{keyword: None})
    except TypeError as error:
        return "unexpected keyword argument" not in str(error)
    return True


@functools.cache
def accepted_constraints() -> tuple[str, ...]:
    return tuple(name for name in CONSTRAINTS if accepts(name))


@functools.cache
def can_rank() -> bool:
    """Whether `best` and `search(..., order="score")` exist."""
    # `order` is a keyword of search alone.
    try:
        Lexicon().search("", order="score")
    except TypeError:
        return False
    return hasattr(Lexicon, "best")


@functools.cache
def has_blanks() -> bool:
    """Whether '?' in a phrase stands for any one letter."""
    return Lexicon.from_words(["a"]).count("?") == 1


@functools.cache
def fold_table() -> dict[str, str]:
    """Every character other than ASCII that the engine folds to letters,
    with those letters: with it the page takes a phrase's letters exactly as
    the engine does, where a browser's own decomposition would drop a few
    hundred of them (ƀ, ɓ, ƙ) and keep others that the engine drops."""
    return {character: letters
            for code in range(0x80, sys.maxunicode + 1)
            if not 0xD800 <= code < 0xE000
            and (letters := fold(character := chr(code)))}


def describe() -> dict[str, object]:
    """What /api/info tells the page."""
    return {
        "constraints": list(accepted_constraints()),
        "ranking": can_rank(),
        "blanks": has_blanks(),
        "fold": fold_table(),
    }
