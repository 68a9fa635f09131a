"""Ranked anagrams from Python with the bundled list and weights: best() end
to end and search(order="score") beside the standard order.

Each figure is the median of --runs runs (default 15) after one untimed
warm-up run, the lexicon loaded before timing (the very first call, which
also reads the bundled weights, is printed apart); the machine may be shared,
so the spread (min-max) is printed too.

Run: .venv/bin/python bench/bench_rank.py [--runs N]
"""

from __future__ import annotations

import argparse
import statistics
import time

from vorpalyx import Lexicon


def timed(call, runs: int) -> tuple[float, float, float]:
    call()
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return statistics.median(times), min(times), max(times)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=15)
    runs = parser.parse_args().runs
    lexicon = Lexicon.english()
    # The process's first ranking reads the bundled weights.
    start = time.perf_counter()
    lexicon.best("william shakespeare", 10)
    first = time.perf_counter() - start
    rows = [
        ('best("william shakespeare", 10)', "50 ms",
         lambda: lexicon.best("william shakespeare", 10)),
        ('best("clint eastwood", 10)', "5 ms", lambda: lexicon.best("clint eastwood", 10)),
        ('best("william shakespeare", k=1000)', "200 ms",
         lambda: lexicon.best("william shakespeare", k=1000)),
        ('search("clint eastwood")', "", lambda: lexicon.search("clint eastwood")),
        ('search("clint eastwood", order="score")', "2x standard",
         lambda: lexicon.search("clint eastwood", order="score")),
        ('search("clint eastwood", order="score", threads=1)', "",
         lambda: lexicon.search("clint eastwood", order="score", threads=1)),
        ('search("clint eastwood", threads=1)', "",
         lambda: lexicon.search("clint eastwood", threads=1)),
    ]
    print(f"runs: {runs} (median, min-max)")
    print(f"{'first best(\"william shakespeare\", 10) of the process':<54} {'':>12} "
          f"{first * 1000:>8.2f}ms  (reads the bundled weights)")
    print(f"{'case':<54} {'target':>12} {'median':>10} {'spread':>18}")
    medians = {}
    for name, target, call in rows:
        median, low, high = timed(call, runs)
        medians[name] = median
        print(f"{name:<54} {target:>12} {median * 1000:>8.2f}ms "
              f"{low * 1000:>7.2f}-{high * 1000:.2f}ms")
    ratio = medians['search("clint eastwood", order="score")'] / medians['search("clint eastwood")']
    ratio_one = (medians['search("clint eastwood", order="score", threads=1)']
                 / medians['search("clint eastwood", threads=1)'])
    print(f"score order / standard order: {ratio:.2f}x (every core), {ratio_one:.2f}x (one thread)")


if __name__ == "__main__":
    main()
