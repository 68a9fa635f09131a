"""vorpalyx: every combination of dictionary words that spells a phrase.

`Lexicon` is the word list to search and `Anagrams` the lazy result of its
`search`; `Solver` (from `vorpalyx.core`) is the minimal interface with fixed
messages.
"""

from collections.abc import Sequence as _Sequence

from vorpalyx._dictionary import default_dictionary_path
from vorpalyx._engine import Anagrams, Lexicon
from vorpalyx.core import Solver

_Sequence.register(Anagrams)

__all__ = ["Anagrams", "Lexicon", "Solver", "default_dictionary_path"]
