from typing import NamedTuple

class Ranked(NamedTuple):
    score: float
    words: list[str]
    @property
    def blanks(self) -> str: ...
    @property
    def leftover(self) -> str: ...

class Anagram(NamedTuple):
    words: list[str]
    blanks: str
    leftover: str
