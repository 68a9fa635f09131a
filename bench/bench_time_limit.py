"""How closely `timeout_seconds` bounds a whole untraced solve, on two
searches that only the limit ends: the alphabet over its letters and pairs of
letters (some 10^18 solutions of about 20 words), and "william shakespeare and
francis bacon" over the benchmark list; then that phrase over the bundled
list: `Lexicon.search` on one thread, in result order and ranked by the
bundled weights (as the web page's workers run it), and `Lexicon.count`;
last, a search of the alphabet twice over with three blanks and a letter left
over, 79,677 searches of their own, where the setting up takes its share.

Run: .venv/bin/python bench/bench_time_limit.py [--runs N]
"""

from __future__ import annotations

import argparse
import gc
import string
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from vorpalyx import Lexicon, Solver  # noqa: E402
from wordlist import benchmark_words  # noqa: E402

LIMITS = [0.05, 0.5, 2.0]


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=3)
    runs = parser.parse_args().runs
    letters = string.ascii_lowercase
    alphabet = Solver()
    alphabet.load_dictionary_from_words(list(letters) + [a + b for a in letters for b in letters])
    benchmark = Solver()
    benchmark.load_dictionary_from_words(benchmark_words())
    print(f"{'search':38} {'limit':>6} {'solutions':>11} {'call (worst of runs)':>22} {'over':>8}")
    long_phrase = "william shakespeare and francis bacon"
    english = Lexicon.english()
    english.best("", 0)  # reads the bundled weights, once a process
    for name, call, phrase in [
        ("alphabet, letters and pairs", alphabet.solve, letters),
        (long_phrase, benchmark.solve, long_phrase),
        ("Lexicon.search, one thread", lambda phrase, **limit: english.search(
            phrase, threads=1, **limit), long_phrase),
        ("  order='score'", lambda phrase, **limit: english.search(
            phrase, threads=1, order="score", **limit), long_phrase),
        ("Lexicon.count, one thread", lambda phrase, **limit: range(english.count(
            phrase, threads=1, **limit)), long_phrase),
        ("alphabet twice, ???, leftover=1", lambda phrase, **limit: english.search(
            phrase, leftover=1, **limit), letters * 2 + "???"),
    ]:
        for limit in LIMITS:
            worst = 0.0
            count = 0
            for _ in range(runs):
                gc.collect()
                start = time.perf_counter()
                solutions = call(phrase, timeout_seconds=limit)
                elapsed = time.perf_counter() - start
                count = len(solutions)
                del solutions  # freed outside the timing of the next call
                worst = max(worst, elapsed)
            print(f"{name:38} {limit:6.2f} {count:11,} {worst * 1000:19.1f} ms "
                  f"{(worst / limit - 1) * 100:+7.0f}%")


if __name__ == "__main__":
    main()
