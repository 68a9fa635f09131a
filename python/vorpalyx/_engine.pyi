import os
from collections.abc import Iterable, Iterator, Mapping, Sequence
from typing import Literal, Protocol, Self, SupportsFloat, SupportsIndex, TypeVar, final, overload

from _typeshed import SupportsWrite

from typing_extensions import disjoint_base

from vorpalyx._ranked import Anagram, Ranked

_T_co = TypeVar("_T_co", covariant=True)

# A lexicon refuses a bare str where it takes words or patterns, although a
# str is an Iterable[str]. str.__contains__ takes only a str, so a str matches
# neither side of _NotStr, while lists, tuples, sets, dict views, generators
# and other iterators do.
class _CollectionNotStr(Protocol[_T_co]):
    def __contains__(self, value: object, /) -> bool: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[_T_co]: ...

_NotStr = _CollectionNotStr[str] | Iterator[str]
_Path = str | bytes | os.PathLike[str] | os.PathLike[bytes]
_Weights = Mapping[str, SupportsFloat | SupportsIndex] | _Path

def fold(text: str, /) -> str: ...
@disjoint_base
class Lexicon:
    def __new__(cls) -> Self: ...
    @classmethod
    def from_path(cls, path: _Path, *, fold: bool | None = True) -> Self: ...
    @classmethod
    def from_words(cls, words: _NotStr, *, fold: bool | None = True) -> Self: ...
    @classmethod
    def english(cls) -> Self: ...
    def load_path(self, path: _Path, *, fold: bool | None = True) -> None: ...
    def load_words(self, words: _NotStr, *, fold: bool | None = True) -> None: ...
    def add_word(self, word: str, *, fold: bool | None = True) -> None: ...
    def search(
        self,
        phrase: str,
        *,
        must_start_with: str | None = None,
        can_only_ever_start_with: str | None = None,
        must_not_start_with: str | None = None,
        max_words: SupportsIndex | None = None,
        min_word_length: SupportsIndex | None = None,
        timeout_seconds: SupportsFloat | SupportsIndex | None = None,
        max_solutions: SupportsIndex | None = None,
        contains_patterns: _NotStr | None = None,
        threads: SupportsIndex | None = None,
        max_word_length: SupportsIndex | None = None,
        min_words: SupportsIndex | None = None,
        lengths: Iterable[int] | None = None,
        include: _NotStr | None = None,
        exclude: _NotStr | None = None,
        distinct: bool | None = None,
        leftover: SupportsIndex | None = None,
        fold: bool | None = True,
        order: Literal["standard", "score"] = "standard",
        weights: _Weights | None = None,
    ) -> Anagrams: ...
    def best(
        self,
        phrase: str,
        k: SupportsIndex = 10,
        *,
        weights: _Weights | None = None,
        must_start_with: str | None = None,
        can_only_ever_start_with: str | None = None,
        must_not_start_with: str | None = None,
        max_words: SupportsIndex | None = None,
        min_word_length: SupportsIndex | None = None,
        timeout_seconds: SupportsFloat | SupportsIndex | None = None,
        max_solutions: SupportsIndex | None = None,
        contains_patterns: _NotStr | None = None,
        threads: SupportsIndex | None = None,
        max_word_length: SupportsIndex | None = None,
        min_words: SupportsIndex | None = None,
        lengths: Iterable[int] | None = None,
        include: _NotStr | None = None,
        exclude: _NotStr | None = None,
        distinct: bool | None = None,
        leftover: SupportsIndex | None = None,
        fold: bool | None = True,
    ) -> list[Ranked]: ...
    def set_weights(self, weights: _Weights | None) -> None: ...
    def count(
        self,
        phrase: str,
        *,
        must_start_with: str | None = None,
        can_only_ever_start_with: str | None = None,
        must_not_start_with: str | None = None,
        max_words: SupportsIndex | None = None,
        min_word_length: SupportsIndex | None = None,
        timeout_seconds: SupportsFloat | SupportsIndex | None = None,
        max_solutions: SupportsIndex | None = None,
        contains_patterns: _NotStr | None = None,
        threads: SupportsIndex | None = None,
        max_word_length: SupportsIndex | None = None,
        min_words: SupportsIndex | None = None,
        lengths: Iterable[int] | None = None,
        include: _NotStr | None = None,
        exclude: _NotStr | None = None,
        distinct: bool | None = None,
        leftover: SupportsIndex | None = None,
        fold: bool | None = True,
    ) -> int: ...
    def __len__(self) -> int: ...
    def __contains__(self, word: object, /) -> bool: ...

@final
class Anagrams(Sequence[list[str]]):
    @overload
    def __getitem__(self, index: SupportsIndex, /) -> list[str]: ...
    @overload
    def __getitem__(self, index: slice, /) -> Anagrams: ...
    def __len__(self) -> int: ...
    def __iter__(self) -> Iterator[list[str]]: ...
    def index(self, value: object, start: SupportsIndex = 0, stop: SupportsIndex = ..., /) -> int: ...
    def count(self, value: object, /) -> int: ...
    def scores(self) -> list[float]: ...
    @property
    def partial(self) -> bool: ...
    def details(self, index: SupportsIndex, /) -> Anagram: ...
    def write(
        self, file: SupportsWrite[str] | SupportsWrite[bytes], format: Literal["text", "json"] = "text"
    ) -> None: ...
