"""Shared fixtures for the Python tests of vorpalyx.core."""

from collections.abc import Callable
from pathlib import Path

import pytest

from vorpalyx.core import Solver


@pytest.fixture
def huge_file(tmp_path: Path) -> Path:
    """A sparse file of 1 TiB of zeros, far larger than any address space a
    test allows; the test is skipped where sparse files cannot be made."""
    path = tmp_path / "huge.txt"
    with open(path, "wb") as file:
        try:
            file.truncate(2**40)
        except OSError:
            pytest.skip("no sparse files here")
    return path


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
