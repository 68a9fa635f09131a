"""The benchmark word list: Debian's wamerican entries made only of a-z,
without single letters other than 'a' and 'i'."""

from __future__ import annotations

import re
import sys
from pathlib import Path

WAMERICAN = Path("/usr/share/dict/american-english")
_LOWERCASE_WORD = re.compile(r"[a-z]+")


def benchmark_words(path: Path = WAMERICAN) -> list[str]:
    if not path.exists():
        sys.exit(f"{path} is missing: install it with 'apt-get install wamerican'")
    words = []
    for line in path.read_text(encoding="utf-8").splitlines():
        if _LOWERCASE_WORD.fullmatch(line) and (len(line) > 1 or line in "ai"):
            words.append(line)
    return words
