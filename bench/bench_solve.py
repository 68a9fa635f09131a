"""End-to-end solve times from Python, untraced, against the benchmark list.

Run: .venv/bin/python bench/bench_solve.py [--runs N] [--all]
(--all adds the full "william shakespeare" search: 31 million solutions.)
"""

from __future__ import annotations

import argparse
import gc
import os
import resource
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from vorpalyx import Solver  # noqa: E402
from wordlist import benchmark_words  # noqa: E402

CASES = [
    ("clint eastwood", {}),
    ("dormitory window", {}),
    ("william shakespeare", {"max_words": 4}),
    ("william shakespeare", {"max_solutions": 1_000_000}),
]


def peak_rss_mb() -> float:
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def time_case(solver: Solver, phrase: str, constraints: dict, runs: int):
    times = []
    count = 0
    for _ in range(runs):
        start = time.perf_counter()
        result = solver.solve(phrase, **constraints)
        times.append(time.perf_counter() - start)
        count = len(result)
        del result
        gc.collect()
    return statistics.median(times), count


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--all", action="store_true")
    args = parser.parse_args()
    os.environ.pop("ANAGRAM_DEBUG_LOG", None)

    words = benchmark_words()
    solver = Solver()
    solver.load_dictionary_from_words(words)
    print(f"dictionary: {len(words)} words")
    print(f"{'phrase':<24} {'constraints':<26} {'solutions':>11} {'median':>10}")
    for phrase, constraints in CASES:
        median, count = time_case(solver, phrase, constraints, args.runs)
        shown = ", ".join(f"{k}={v}" for k, v in constraints.items()) or "-"
        print(f"{phrase:<24} {shown:<26} {count:>11,} {median * 1000:>8.1f} ms")
    if args.all:
        # The first run of a process also pays for the system backing several
        # gigabytes of fresh memory; the median is taken over three runs.
        median, count = time_case(solver, "william shakespeare", {}, 3)
        print(
            f"{'william shakespeare':<24} {'-':<26} {count:>11,} {median:>8.2f} s"
            f"   peak RSS {peak_rss_mb():,.0f} MB"
        )


if __name__ == "__main__":
    main()
