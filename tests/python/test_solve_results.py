"""What Solver.solve returns: its shape, its order, and agreement with a
brute-force reference over random dictionaries, phrases and constraints."""

import math
from typing import Any

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import brute_force
from search_problems import (
    CONSTRAINTS,
    LISTEN_SOLUTIONS,
    LISTEN_WORDS,
    LONG_SEARCH,
    SHORT_WORDS,
    problems,
    solver_with,
)


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
