from collections.abc import Iterator
from typing import Protocol, SupportsFloat, SupportsIndex, TypeVar, final

__all__ = ["Solver"]

_T_co = TypeVar("_T_co", covariant=True)

# The solver refuses a bare str where it takes a sequence of words, although a
# str is a Sequence[str]. str.__contains__ takes only a str, so a str does not
# match this protocol's __contains__ and type checkers refuse it too.
class _SequenceNotStr(Protocol[_T_co]):
    def __getitem__(self, index: int, /) -> _T_co: ...
    def __contains__(self, value: object, /) -> bool: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[_T_co]: ...

@final
class Solver:
    def __new__(cls) -> Solver: ...
    def load_dictionary_from_words(self, words: _SequenceNotStr[str]) -> None: ...
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
        contains_patterns: _SequenceNotStr[str] | None = None,
    ) -> list[list[str]]: ...
