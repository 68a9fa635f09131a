"""The type stub of vorpalyx.core, checked by mypy --strict: the calls in
type_checks/solver_calls.py that the solver takes pass, and each call it
refuses gives the error written beside it."""

from __future__ import annotations

import os
import pathlib
import re
import subprocess
import sys

CALLS = pathlib.Path(__file__).resolve().parent / "type_checks" / "solver_calls.py"
EXPECTED_ERROR = re.compile(r"# E: ([a-z-]+)$")
REPORTED_ERROR = re.compile(r"^[^:]+:(\d+): error: .*  \[([a-z-]+)\]$")


def expected_errors() -> list[tuple[int, str]]:
    lines = CALLS.read_text(encoding="utf-8").splitlines()
    return [(number, match.group(1))
            for number, line in enumerate(lines, start=1)
            if (match := EXPECTED_ERROR.search(line))]


def test_mypy_strict_reports_exactly_the_marked_errors(tmp_path):
    # The sanitizer run preloads its runtime into every interpreter; mypy
    # checks only the stub and needs none of that.
    environment = {name: value for name, value in os.environ.items()
                   if name not in ("LD_PRELOAD", "PYTHONMALLOC", "ASAN_OPTIONS")}
    completed = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-error-summary",
         "--hide-error-context", "--no-pretty", "--show-error-codes",
         "--cache-dir", str(tmp_path / "cache"), str(CALLS)],
        capture_output=True, text=True, cwd=tmp_path, env=environment,
        timeout=300)

    reported = [(int(match.group(1)), match.group(2))
                for line in completed.stdout.splitlines()
                if (match := REPORTED_ERROR.match(line))]
    errors = [line for line in completed.stdout.splitlines() if ": error: " in line]
    assert len(expected_errors()) == 5
    assert reported == expected_errors(), completed.stdout + completed.stderr
    assert len(errors) == len(reported), completed.stdout
    assert completed.returncode == 1, completed.stderr
