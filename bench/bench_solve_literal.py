"""Times Solver.solve on two classic phrases over the system word list.

Only the entries made entirely of a-z are loaded, before any timing. Each
phrase is solved three times with at most three words; the median time and
the number of solutions are printed.

Usage: python bench/bench_solve_literal.py [WORD_LIST]
"""

import re
import statistics
import sys
import time

from vorpalyx.core import Solver

DEFAULT_WORD_LIST = "/usr/share/dict/american-english"
PHRASES = ["dormitory window", "clint eastwood"]
MAX_WORDS = 3
RUNS = 3


def lowercase_words(path: str) -> list[str]:
    with open(path, encoding="utf-8") as word_list:
        return [line for line in word_list.read().splitlines() if re.fullmatch("[a-z]+", line)]


def main() -> None:
    path = sys.argv[1] if len(sys.argv) > 1 else DEFAULT_WORD_LIST
    words = lowercase_words(path)
    solver = Solver()
    solver.load_dictionary_from_words(words)
    print(f"dictionary: {len(words)} lowercase words from {path}")
    print(f"engine: whatever Solver.solve uses untraced; max_words={MAX_WORDS}, median of {RUNS}")
    for phrase in PHRASES:
        seconds = []
        solutions = 0
        for _ in range(RUNS):
            start = time.perf_counter()
            solutions = len(solver.solve(phrase, max_words=MAX_WORDS))
            seconds.append(time.perf_counter() - start)
        print(f"{phrase!r}: {statistics.median(seconds):.3f} s, {solutions} solutions")


if __name__ == "__main__":
    main()
