"""What Solver.solve returns: its shape, its order, and agreement with a
brute-force reference over random dictionaries, phrases and constraints."""

import math
from collections.abc import Callable
from itertools import product
from typing import Any

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import brute_force
from vorpalyx.core import Solver

LISTEN_WORDS = ["listen", "silent", "enlist", "tin", "net", "lis"]
LISTEN_SOLUTIONS = [["enlist"], ["listen"], ["silent"], ["lis", "net"]]


# Every word of one to three letters over "abcdef", and a phrase with a
# quarter of a million solutions over them.
SHORT_WORDS = ["".join(letters) for n in (1, 2, 3) for letters in product("abcdef", repeat=n)]
LONG_SEARCH = "abbccddeef"


def solver_with(words: list[str]) -> Solver:
    solver = Solver()
    solver.load_dictionary_from_words(words)
    return solver


class TestResultShape:
    def test_listen_example_in_result_order(self) -> None:
        assert solver_with(LISTEN_WORDS).solve("Listen!") == LISTEN_SOLUTIONS

    def test_every_call_builds_new_lists_of_ascii_str(self) -> None:
        solver = solver_with(LISTEN_WORDS)
        first = solver.solve("Listen!")
        second = solver.solve("Listen!")
        assert type(first) is list and first is not second
        for solution, other in zip(first, second, strict=True):
            assert type(solution) is list and solution is not other
            assert all(type(word) is str and word.isascii() for word in solution)
        first[0].append("extra")
        first.clear()
        assert solver.solve("Listen!") == LISTEN_SOLUTIONS

    def test_words_come_back_normalised(self) -> None:
        solver = solver_with(["Lis!", "N-E-T", "En'list"])
        assert solver.solve("listen") == [["enlist"], ["lis", "net"]]

    @pytest.mark.parametrize(
        ("words", "phrase"),
        [
            (LISTEN_WORDS, ""),
            (LISTEN_WORDS, " ?! 42"),
            (LISTEN_WORDS, "Listen \u00e9"),
            (LISTEN_WORDS, "listens"),
            ([], "listen"),
            (["123", "--", "\u00e9"], "listen"),
        ],
    )
    def test_nothing_to_solve_gives_empty_list(self, words: list[str], phrase: str) -> None:
        assert solver_with(words).solve(phrase) == []

    def test_one_solution_of_many_words(self) -> None:
        letters = 20_000
        assert solver_with(["a"]).solve("a" * letters) == [["a"] * letters]

    def test_a_long_search_gives_the_same_list_however_it_is_shared(self) -> None:
        # Long enough for the search to take a helper thread, which a
        # solution limit (however high) rules out.
        solver = solver_with(SHORT_WORDS)
        shared = solver.solve(LONG_SEARCH)
        assert len(shared) == 242_117
        assert shared == solver.solve(LONG_SEARCH, max_solutions=2**63)
        assert shared[-1] == list(LONG_SEARCH)

    def test_short_time_limit_keeps_valid_solutions(self) -> None:
        # The whole walk takes tens of milliseconds, so a millisecond's
        # limit stops it part of the way.
        solver = solver_with(SHORT_WORDS)
        full = solver.solve(LONG_SEARCH)
        limited = solver.solve(LONG_SEARCH, timeout_seconds=1e-3)
        assert len(limited) < len(full)
        position = {tuple(solution): index for index, solution in enumerate(full)}
        assert all(tuple(solution) in position for solution in limited)
        positions = [position[tuple(solution)] for solution in limited]
        assert positions == sorted(set(positions))


# Random inputs over a small alphabet, so that solutions are common.
LETTERS = "abcd"
# Words that share letters and prefixes, for dictionaries with many solutions.
OVERLAPPING_WORDS = [
    "a", "b", "c", "ab", "ba", "Cd", "dc", "abc", "cab", "bad", "dab", "add", "abcd", "d-a",
]
DECORATIONS = "ABCD-' 1\u00e9"


@st.composite
def dictionary_words(draw: st.DrawFn) -> str:
    """A word of 1 to 4 letters, sometimes with capitals or other characters
    that normalisation removes."""
    word = draw(st.text(alphabet=LETTERS, min_size=1, max_size=4))
    if draw(st.booleans()):
        word = draw(st.permutations(word + draw(st.text(alphabet=DECORATIONS, max_size=2))))
        word = "".join(word)
    return word


@st.composite
def phrases(draw: st.DrawFn, dictionary: list[str]) -> str:
    """Mostly the letters of a few dictionary words (so that some solution
    exists), sometimes random text; capitals and punctuation mixed in."""
    if draw(st.integers(0, 3)) < 3:
        letters = ""
        for word in draw(st.lists(st.sampled_from(dictionary), min_size=1, max_size=4)):
            if len(letters + brute_force.normalize(word)) <= 7:
                letters += brute_force.normalize(word)
    else:
        letters = draw(st.text(alphabet=LETTERS, min_size=1, max_size=7))
    letters = "".join(c.upper() if draw(st.booleans()) else c for c in letters)
    extra = draw(st.sampled_from(["", "", "", " ", "!", "1-", "\u00e9"]))
    return "".join(draw(st.permutations(letters + extra)))


START_LETTERS = st.one_of(
    st.none(), st.just(""), st.text(alphabet=LETTERS + "AC, \u00e9", min_size=1, max_size=3)
)


def pattern_texts(dictionary: list[str]) -> st.SearchStrategy[str]:
    """Random texts, pieces of dictionary words, and dictionary words with
    their letters reordered (which hold the letters but not the piece)."""
    words = [brute_force.normalize(word) for word in dictionary]
    return st.one_of(
        st.text(alphabet=LETTERS + "AB-!1", max_size=3),
        st.sampled_from(words).flatmap(
            lambda word: st.tuples(st.integers(0, len(word)), st.integers(0, len(word))).map(
                lambda ends: word[min(ends) : max(ends)]
            )
        ),
        st.sampled_from(words).flatmap(st.permutations).map("".join),
    )


CONSTRAINTS: dict[str, Callable[[list[str]], st.SearchStrategy[Any]]] = {
    "must_start_with": lambda _: START_LETTERS,
    "can_only_ever_start_with": lambda _: START_LETTERS,
    "must_not_start_with": lambda _: START_LETTERS,
    "max_words": lambda _: st.one_of(st.none(), st.integers(0, 4)),
    "min_word_length": lambda _: st.one_of(st.none(), st.integers(0, 4)),
    "contains_patterns": lambda dictionary: st.one_of(
        st.none(), st.just([]), st.lists(pattern_texts(dictionary), min_size=1, max_size=3)
    ),
}


@st.composite
def problems(
    draw: st.DrawFn, constraint_names: tuple[str, ...]
) -> tuple[list[str], str, dict[str, Any]]:
    dictionary = draw(
        st.one_of(
            st.lists(dictionary_words(), min_size=1, max_size=8),
            st.lists(st.sampled_from(OVERLAPPING_WORDS), min_size=4, max_size=10, unique=True),
        )
    )
    phrase = draw(phrases(dictionary))
    constraints = {name: draw(CONSTRAINTS[name](dictionary)) for name in constraint_names}
    return dictionary, phrase, constraints


def solve_both(
    dictionary: list[str], phrase: str, constraints: dict[str, Any], **limits: Any
) -> tuple[list[list[str]], list[list[str]]]:
    actual = solver_with(dictionary).solve(phrase, **constraints, **limits)
    return actual, brute_force.solve(dictionary, phrase, **constraints)


def assert_ordered_subset(found: list[list[str]], full: list[list[str]]) -> None:
    """`found` holds distinct members of `full`, in the order of `full`."""
    positions = [full.index(solution) for solution in found]
    assert positions == sorted(set(positions))


class TestAgainstBruteForce:
    @settings(max_examples=200, deadline=None)
    @given(problems(tuple(CONSTRAINTS)), st.sampled_from([None, 1000.0, math.nan, math.inf]))
    def test_all_constraints_together(
        self, problem: tuple[list[str], str, dict[str, Any]], timeout: float | None
    ) -> None:
        actual, expected = solve_both(*problem, timeout_seconds=timeout)
        assert actual == expected

    @pytest.mark.parametrize("name", list(CONSTRAINTS))
    @settings(max_examples=40, deadline=None)
    @given(data=st.data())
    def test_each_constraint_alone(self, name: str, data: st.DataObject) -> None:
        actual, expected = solve_both(*data.draw(problems((name,))))
        assert actual == expected

    @settings(max_examples=100, deadline=None)
    @given(problems(tuple(CONSTRAINTS)), st.integers(0, 12))
    def test_max_solutions_keeps_exactly_that_many(
        self, problem: tuple[list[str], str, dict[str, Any]], limit: int
    ) -> None:
        actual, full = solve_both(*problem, max_solutions=limit)
        assert len(actual) == min(limit, len(full))
        assert_ordered_subset(actual, full)
