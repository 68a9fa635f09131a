"""vorpalyx: every combination of dictionary words that spells a phrase."""

from vorpalyx._dictionary import default_dictionary_path
from vorpalyx.core import Solver

__all__ = ["Solver", "default_dictionary_path"]
