"""vorpalyx: every combination of dictionary words that spells a phrase.

`Lexicon` is the word list to search and `Anagrams` the lazy result of its
`search`, `Ranked` an item of its `best` and `Anagram` a solution with the
letters its blanks became or it left over (`Anagrams.details`); `fold`
spells a text in a-z as a `Lexicon` reads it; `Solver` (from
`vorpalyx.core`) is the minimal interface with fixed messages.
"""

# The interpreter has _collections_abc loaded from its start; collections.abc
# would import the whole collections package on every start of the command.
from _collections_abc import Sequence as _Sequence

from vorpalyx._dictionary import default_dictionary_path
from vorpalyx._engine import Anagrams, Lexicon, fold
from vorpalyx.core import Solver

# Type checkers take this as true; at run time Ranked comes from __getattr__.
TYPE_CHECKING = False
if TYPE_CHECKING:
    from vorpalyx._ranked import Anagram, Ranked

_Sequence.register(Anagrams)

__all__ = [
    "Anagram",
    "Anagrams",
    "Lexicon",
    "Ranked",
    "Solver",
    "default_dictionary_path",
    "fold",
]


def __getattr__(name: str) -> object:
    # These need collections, which a start of the command does without.
    if name in ("Anagram", "Ranked"):
        from vorpalyx import _ranked

        return getattr(_ranked, name)
    raise AttributeError(f"module 'vorpalyx' has no attribute {name!r}")
