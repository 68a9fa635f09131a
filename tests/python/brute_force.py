"""A deliberately naive anagram solver, the reference for cross-checks.

It enumerates every multiset of distinct dictionary words directly, keeps
those that spell the phrase, and applies each constraint by its plain
definition over the finished solution. Exponential; only for tiny inputs.
"""

from collections import Counter
from collections.abc import Sequence
from itertools import combinations_with_replacement


def ascii_lower(text: str) -> str:
    return "".join(chr(ord(c) + 32) if "A" <= c <= "Z" else c for c in text)


def normalize(word: str) -> str:
    return "".join(c for c in ascii_lower(word) if "a" <= c <= "z")


def phrase_letters(phrase: str) -> Counter[str] | None:
    """The phrase's letters, or None when it holds a letter outside ASCII.

    str.isalpha stands in for the Unicode Alphabetic property; the two agree
    on the characters that the tests put into phrases.
    """
    letters: Counter[str] = Counter()
    for c in ascii_lower(phrase):
        if "a" <= c <= "z":
            letters[c] += 1
        elif not c.isascii() and c.isalpha():
            return None
    return letters


def result_order_key(solution: list[str]) -> tuple[int, int, list[str]]:
    return len(solution), -min(map(len, solution)), solution


def solve(
    dictionary: Sequence[str],
    phrase: str,
    must_start_with: str | None = None,
    can_only_ever_start_with: str | None = None,
    must_not_start_with: str | None = None,
    max_words: int | None = None,
    min_word_length: int | None = None,
    contains_patterns: Sequence[str] | None = None,
) -> list[list[str]]:
    letters = phrase_letters(phrase)
    if not letters:
        return []
    words = sorted({normalize(word) for word in dictionary} - {""})
    # A word with a letter the phrase lacks can be in no solution.
    words = [word for word in words if Counter(word) <= letters]
    total = letters.total()
    required_starts = Counter(ascii_lower(must_start_with or ""))
    allowed_starts = (
        None if can_only_ever_start_with is None else set(ascii_lower(can_only_ever_start_with))
    )
    forbidden_starts = set(ascii_lower(must_not_start_with or ""))
    patterns = [p for p in map(normalize, contains_patterns or []) if p]

    def acceptable(solution: tuple[str, ...]) -> bool:
        starts = Counter(word[0] for word in solution)
        return (
            all(starts[c] >= n for c, n in required_starts.items())
            and (allowed_starts is None or all(word[0] in allowed_starts for word in solution))
            and not any(word[0] in forbidden_starts for word in solution)
            and (max_words is None or len(solution) <= max_words)
            and (min_word_length is None or all(len(word) >= min_word_length for word in solution))
            and all(any(p in word for word in solution) for p in patterns)
        )

    solutions = [
        list(combination)
        for count in range(1, total + 1)
        for combination in combinations_with_replacement(words, count)
        if sum(map(len, combination)) == total
        and Counter("".join(combination)) == letters
        and acceptable(combination)
    ]
    return sorted(solutions, key=result_order_key)


def solve_extended(
    dictionary: Sequence[str],
    phrase: str,
    *,
    max_word_length: int | None = None,
    min_words: int | None = None,
    lengths: Sequence[int] | None = None,
    include: Sequence[str] = (),
    exclude: Sequence[str] = (),
    distinct: bool = False,
    leftover: int = 0,
    **solve_constraints: object,
) -> list[tuple[list[str], str, str]]:
    """Every solution with the letters its blanks became and those it left
    over, by definition: the phrase's letters and its '?' tiles cover the
    words' letters (real letters first), with at most `leftover` tiles
    unused."""
    letters = phrase_letters(phrase.replace("?", ""))
    if letters is None:
        return []
    blanks = phrase.count("?")
    words = sorted({normalize(word) for word in dictionary} - {""} - set(map(normalize, exclude)))
    words = [word for word in words if max_word_length is None or len(word) <= max_word_length]
    required = Counter(map(normalize, include))
    tiles = letters.total() + blanks
    found = []
    for count in range(1, tiles + 1):
        for combination in combinations_with_replacement(words, count):
            used = Counter("".join(combination))
            beyond, short = used - letters, letters - used
            unused_blanks = blanks - beyond.total()
            if (
                unused_blanks < 0
                or short.total() + unused_blanks > leftover
                or (distinct and len(set(combination)) < count)
                or (min_words is not None and count < min_words)
                or (lengths is not None and sorted(map(len, combination)) != sorted(lengths))
                or not required <= Counter(combination)
                or not solve(combination, "".join(combination), **solve_constraints)
                .count(sorted(combination))
            ):
                continue
            solution = list(combination)
            if lengths is not None:
                pool = sorted(solution)
                solution = [pool.pop(next(i for i, w in enumerate(pool) if len(w) == n)) for n in lengths]
            found.append(
                (solution, "".join(sorted(beyond.elements())),
                 "".join(sorted(short.elements())) + "?" * unused_blanks)
            )
    if lengths is not None:
        return sorted(found, key=lambda item: item[0])
    return sorted(found, key=lambda item: result_order_key(item[0]))
