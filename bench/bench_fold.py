"""What folding costs while loading: Lexicon.from_path of 300,000 accented
words, folded (the default) against fold=False.

The list is every word with a letter outside ASCII of Debian's French, German
and Spanish lists (apt-get install wfrench wngerman wspanish), then the same
words again with an "x" appended until there are 300,000, in code point
order. Each figure is the median of several loads into a fresh Lexicon, in
this process, plain and folded loads taken in turn; the target is folding at
most twice the plain load.

    .venv/bin/python bench/bench_fold.py [--runs N]
"""

import argparse
import pathlib
import statistics
import sys
import tempfile
import time

from vorpalyx import Lexicon

LISTS = [pathlib.Path("/usr/share/dict") / name for name in ("french", "ngerman", "spanish")]
WORDS = 300_000
TARGET_RATIO = 2.0


def accented_words() -> list[str]:
    words = sorted({line for path in LISTS
                    for line in path.read_text(encoding="utf-8").splitlines()
                    if not line.isascii()})
    more = [word + "x" for word in words]
    while len(words) < WORDS:
        words += more[:WORDS - len(words)]
    return sorted(words[:WORDS])


def load_seconds(path: str, fold: bool) -> tuple[float, int]:
    start = time.perf_counter()
    lexicon = Lexicon.from_path(path, fold=fold)
    seconds = time.perf_counter() - start
    return seconds, len(lexicon)  # freed before the next load's timer starts


def median_seconds(path: str, runs: int) -> tuple[float, int, float, int]:
    """The median plain and folded loads, taken in turn, so that a machine
    that speeds up or slows down affects both alike."""
    plain, folded = [], []
    for _ in range(runs):
        seconds, plain_words = load_seconds(path, False)
        plain.append(seconds)
        seconds, spellings = load_seconds(path, True)
        folded.append(seconds)
    return statistics.median(plain), plain_words, statistics.median(folded), spellings


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=9)
    runs = parser.parse_args().runs
    missing = [str(path) for path in LISTS if not path.is_file()]
    if missing:
        print(f"missing {', '.join(missing)}: apt-get install wfrench wngerman wspanish",
              file=sys.stderr)
        return 1
    with tempfile.NamedTemporaryFile("w", encoding="utf-8", suffix=".txt") as file:
        file.write("\n".join(accented_words()) + "\n")
        file.flush()
        load_seconds(file.name, True)  # the file into the page cache
        plain, plain_words, folded, spellings = median_seconds(file.name, runs)
    ratio = folded / plain
    print(f"{WORDS:,} accented words, median of {runs} loads")
    print(f"  fold=False: {plain * 1000:.1f} ms ({plain_words:,} words of a-z)")
    print(f"  fold=True:  {folded * 1000:.1f} ms ({spellings:,} spellings)")
    print(f"  ratio: {ratio:.2f} (target at most {TARGET_RATIO:.1f}): "
          f"{'met' if ratio <= TARGET_RATIO else 'MISSED'}")
    return 0 if ratio <= TARGET_RATIO else 1


if __name__ == "__main__":
    sys.exit(main())
