"""vorpalyx: every combination of dictionary words that spells a phrase."""

from vorpalyx.core import Solver

__all__ = ["Solver"]
