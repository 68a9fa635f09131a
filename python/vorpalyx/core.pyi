from collections.abc import Sequence
from typing import SupportsFloat, SupportsIndex, final

__all__ = ["Solver"]

@final
class Solver:
    def __new__(cls) -> Solver: ...
    def load_dictionary_from_words(self, words: Sequence[str]) -> None: ...
    def load_dictionary_from_path(self, path: str) -> None: ...
    def add_word(self, word: str) -> None: ...
    def solve(
        self,
        phrase: str,
        must_start_with: str | None = None,
        can_only_ever_start_with: str | None = None,
        must_not_start_with: str | None = None,
        max_words: SupportsIndex | None = None,
        min_word_length: SupportsIndex | None = None,
        timeout_seconds: SupportsFloat | SupportsIndex | None = None,
        max_solutions: SupportsIndex | None = None,
        contains_patterns: Sequence[str] | None = None,
    ) -> list[list[str]]: ...
