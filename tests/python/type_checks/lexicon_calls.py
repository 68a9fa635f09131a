"""Calls that the type stub of vorpalyx.Lexicon and vorpalyx.Anagrams must
accept, and calls it must refuse; each refused line ends with the mypy error
code it must give as `# E: code`. Checked by test_typing.py, never run."""

import io
import pathlib
from collections.abc import Sequence

from vorpalyx import Anagrams, Lexicon, Ranked


class Mine(Lexicon):
    pass


mine: Mine = Mine.from_words(["dirty", "room"])
mine = Mine.from_path(pathlib.Path("words.txt"))
mine = Mine.english()
lexicon = Lexicon.from_path(b"words.txt")
lexicon.load_words({"dirty", "room"})
lexicon.load_words(word.strip() for word in ["dirty "])
lexicon.load_words({"dirty": 1}.keys())
lexicon.load_path("words.txt")
# fold=None folds, the default, as None leaves a constraint at its default.
lexicon.load_words(["room"], fold=None)
result: Anagrams = lexicon.search("dormitory", max_words=2, timeout_seconds=1, threads=None)
solutions: Sequence[list[str]] = result[1:][::-1]
first: list[str] = result[-1]
total: int = lexicon.count("dormitory", contains_patterns=("room",), threads=1, fold=None) + len(result)
found: int = result.index(["dirty", "room"]) + result.count(first)
held: bool = "room" in lexicon and first in result
result.write(io.StringIO())
with open("out.json", "wb") as out:
    result[:10].write(out, format="json")
lexicon.set_weights({"room": -3.61, "dirty": -4})
lexicon.set_weights(pathlib.Path("counts.tsv"))
ranked: list[Ranked] = lexicon.best("dormitory", 5, weights="counts.tsv", max_words=2)
score: float = ranked[0].score + sum(lexicon.search("dormitory", order="score").scores())
best_words: list[str] = ranked[0].words

lexicon.search("dormitory", contains_patterns="room")  # E: arg-type
lexicon.load_words("dirty")  # E: arg-type
Lexicon.from_words([b"room"])  # E: list-item
lexicon.search("dormitory", None)  # E: call-arg
lexicon.count("dormitory", max_words=2.0)  # E: arg-type
lexicon.search("dormitory", limit=2)  # E: call-arg
Lexicon.from_path(3)  # E: arg-type
same: Mine = Lexicon.english()  # E: assignment
word: str = result[0]  # E: assignment
result.write(io.StringIO(), format="xml")  # E: arg-type
result.write("out.txt")  # E: arg-type
lexicon.search("dormitory", order="best")  # E: arg-type
lexicon.set_weights({"room": "-3.61"})  # E: dict-item
lexicon.best("dormitory", 5, None)  # E: call-arg
