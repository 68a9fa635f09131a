from typing import NamedTuple

class Ranked(NamedTuple):
    score: float
    words: list[str]
