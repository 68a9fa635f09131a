"""Calls that the type stub of vorpalyx.core must accept, and calls it must
refuse; each refused line ends with the mypy error code it must give as
`# E: code`. Checked by test_typing.py, never run."""

import collections
from collections.abc import Sequence

from vorpalyx.core import Solver

solver = Solver()
words: Sequence[str] = ["dirty", "room"]
solver.load_dictionary_from_words(["dirty", "room"])
solver.load_dictionary_from_words(("dirty", "room"))
solver.load_dictionary_from_words(words)
solver.load_dictionary_from_words(collections.deque(words))
solutions: list[list[str]] = solver.solve("dormitory", contains_patterns=["room"])
solver.solve("dormitory", None, None, None, 2, None, 1.5, None, words)
solver.solve("dormitory", max_words=True, timeout_seconds=1, contains_patterns=None)

# A str is a Sequence[str], but the solver refuses it at run time.
solver.load_dictionary_from_words("dormitory")  # E: arg-type
solver.solve("dormitory", contains_patterns="room")  # E: arg-type
solver.solve("dormitory", None, None, None, None, None, None, None, "room")  # E: arg-type
solver.load_dictionary_from_words({"dirty", "room"})  # E: arg-type
solver.load_dictionary_from_words([b"room"])  # E: list-item
