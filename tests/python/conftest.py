"""Shared fixtures for the Python tests of vorpalyx.core."""

from collections.abc import Callable

import pytest

from vorpalyx.core import Solver


@pytest.fixture
def solver() -> Solver:
    return Solver()


def stores(solver: Solver, word: str) -> bool:
    """Whether `word` (already in stored form) is in the solver's dictionary."""
    return [word] in solver.solve(word, max_words=1)


@pytest.fixture
def has_word() -> Callable[[Solver, str], bool]:
    return stores


@pytest.fixture
def assert_usable() -> Callable[[Solver], None]:
    """Checks that a solver is free again: both kinds of use can be taken."""

    def check(solver: Solver) -> None:
        solver.add_word("zyx")
        assert solver.solve("xyz", max_words=1) == [["zyx"]]

    return check
