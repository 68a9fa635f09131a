from typing import NamedTuple

class Ranked(NamedTuple):
    score: float
    words: list[str]
    blanks: str = ""
    leftover: str = ""

class Anagram(NamedTuple):
    words: list[str]
    blanks: str
    leftover: str
