"""Cost of the diagnostic trace.

Prints the time of an untraced solve of a mid-size case (ANAGRAM_DEBUG_LOG
unset), of the same solve with the switch set but the trace file impossible to
create (the sink is absent, so the search must cost the same), and of a traced
solve of a small case with the size of its trace. Runs in a temporary
directory; takes a few seconds.

Usage: python bench/bench_trace_overhead.py
"""

from __future__ import annotations

import os
import random
import tempfile
import time
from collections.abc import Callable

from vorpalyx.core import Solver

SWITCH = "ANAGRAM_DEBUG_LOG"
LOG_NAME = "anagram_solver_debug.log"
SMALL_WORDS = ["listen", "silent", "enlist", "tin", "les", "el", "tins", "lit", "ens", "st", "in"]


def mid_size_solver() -> Solver:
    rng = random.Random(7)
    words: set[str] = set()
    while len(words) < 1500:
        words.add("".join(rng.choice("aeilnorstcdu") for _ in range(rng.randint(2, 7))))
    solver = Solver()
    solver.load_dictionary_from_words(sorted(words))
    return solver


def best_of(runs: int, solve: Callable[[], list[list[str]]]) -> tuple[float, int]:
    best = float("inf")
    count = 0
    for _ in range(runs):
        start = time.perf_counter()
        count = len(solve())
        best = min(best, time.perf_counter() - start)
    return best, count


def main() -> None:
    os.environ.pop(SWITCH, None)
    previous_directory = os.getcwd()
    with tempfile.TemporaryDirectory() as directory:
        os.chdir(directory)
        try:
            run_all()
        finally:
            os.chdir(previous_directory)


def run_all() -> None:
    mid = mid_size_solver()
    seconds, count = best_of(3, lambda: mid.solve("sanitorial"))
    print(f"untraced mid-size solve (1500 words, 'sanitorial'): {seconds * 1e3:9.1f} ms, {count} solutions")

    os.mkdir(LOG_NAME)
    os.environ[SWITCH] = "1"
    stderr_copy = os.dup(2)
    with open(os.devnull, "w") as null:
        os.dup2(null.fileno(), 2)
        try:
            seconds, count = best_of(3, lambda: mid.solve("sanitorial"))
        finally:
            os.dup2(stderr_copy, 2)
            os.close(stderr_copy)
    os.rmdir(LOG_NAME)
    print(f"switch set, trace file not creatable:               {seconds * 1e3:9.1f} ms, {count} solutions")

    small = Solver()
    small.load_dictionary_from_words(SMALL_WORDS)
    os.environ.pop(SWITCH)
    untraced, _ = best_of(20, lambda: small.solve("Listen!"))
    os.environ[SWITCH] = "1"
    traced, count = best_of(5, lambda: small.solve("Listen!"))
    with open(LOG_NAME, "rb") as log:
        trace = log.read()
    lines = trace.count(b"\n")
    print(f"untraced small solve (11 words, 'Listen!'):         {untraced * 1e3:9.3f} ms, {count} solutions")
    print(
        f"traced small solve:                                 {traced * 1e3:9.3f} ms, "
        f"{lines} lines, {len(trace)} bytes, {traced / lines * 1e6:.2f} us per line"
    )
    os.environ.pop(SWITCH)


if __name__ == "__main__":
    main()
