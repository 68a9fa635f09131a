"""What each constraint of Lexicon.search costs: every narrowing against the
unconstrained search of "william shakespeare", and blanks against the same
phrase without them (counts, end to end).

With the benchmark list (bench/wordlist.py, 63,851 words) the unconstrained
search finds 31.5 million solutions. Each figure is the median of --runs runs
(default 5) after one untimed warm-up run, with the spread (min-max), since
the machine may be shared; each narrowing is timed in turn with the
unconstrained search, and compared with the median of those.

Run: .venv/bin/python bench/bench_constraints.py [--runs N]
"""

from __future__ import annotations

import argparse
import statistics
import sys
import time
from pathlib import Path
from typing import Any

sys.path.insert(0, str(Path(__file__).resolve().parent))
from wordlist import benchmark_words  # noqa: E402

from vorpalyx import Lexicon  # noqa: E402

PHRASE = "william shakespeare"
NARROWINGS: list[dict[str, Any]] = [
    {},  # the unconstrained search, timed beside each of the others
    {"lengths": [7, 11]},
    {"lengths": [4, 5, 9]},
    {"max_word_length": 5},
    {"min_words": 8},
    {"distinct": True},
    {"include": ["speak"]},
    {"exclude": ["a", "i"]},
]
BLANKS = [
    ("clint eastwood", "clint eastwoo?", "20x"),
    ("clint eastwood", "clint eastw??d", "300x"),
]


def timed(call, runs: int) -> tuple[float, float, float, Any]:
    value = call()
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return statistics.median(times), min(times), max(times), value


def timed_pair(lexicon: Lexicon, narrowing: dict[str, Any]) -> tuple[float, float]:
    times = []
    for constraints in ({}, narrowing):
        start = time.perf_counter()
        len(lexicon.search(PHRASE, **constraints))
        times.append(time.perf_counter() - start)
    return times[0], times[1]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=5)
    runs = parser.parse_args().runs
    lexicon = Lexicon.from_words(benchmark_words())
    print(f"runs: {runs} (median, min-max); {len(lexicon)} words")
    print(f"{'len(search(\"william shakespeare\", ...))':<48} {'solutions':>10} "
          f"{'median':>10} {'spread':>18} {'vs none':>8}")
    # Each narrowing is timed in turn with the unconstrained search, so that
    # a machine that speeds up or slows down affects both alike.
    for narrowing in NARROWINGS[1:]:
        pairs = [timed_pair(lexicon, narrowing) for _ in range(runs)]
        plain = statistics.median(pair[0] for pair in pairs)
        narrow = [pair[1] for pair in pairs]
        median = statistics.median(narrow)
        count = len(lexicon.search(PHRASE, **narrowing))
        name = ", ".join(f"{key}={value!r}" for key, value in narrowing.items())
        print(f"{name:<48} {count:>10} {median * 1000:>8.1f}ms "
              f"{min(narrow) * 1000:>7.1f}-{max(narrow) * 1000:<7.1f}ms "
              f"{median / plain:>7.2f}x  (unconstrained beside it: {plain * 1000:.0f} ms)")
    print()
    print(f"{'count(...)':<30} {'solutions':>10} {'median':>10} {'plain':>10} "
          f"{'ratio':>8} {'target':>8}")
    for plain, blank, target in BLANKS:
        base, *_ = timed(lambda: lexicon.count(plain), runs * 4)
        median, _, _, count = timed(lambda: lexicon.count(blank), runs)
        print(f"{blank!r:<30} {count:>10} {median * 1000:>8.1f}ms {base * 1000:>8.2f}ms "
              f"{median / base:>7.1f}x {target:>8}")


if __name__ == "__main__":
    main()
