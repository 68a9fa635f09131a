"""The type stubs of vorpalyx.core and vorpalyx._engine, checked by mypy
--strict: the calls in type_checks/ that the modules take pass, and each call
they refuse gives the error written beside it; and by stubtest against the
modules themselves; and the package's own Python code by mypy --strict."""

from __future__ import annotations

import os
import pathlib
import re
import subprocess
import sys

import pytest

CHECKS = pathlib.Path(__file__).resolve().parent / "type_checks"
EXPECTED_ERROR = re.compile(r"# E: ([a-z-]+)$")
REPORTED_ERROR = re.compile(r"^[^:]+:(\d+): error: .*  \[([a-z-]+)\]$")


def expected_errors(calls: pathlib.Path) -> list[tuple[int, str]]:
    lines = calls.read_text(encoding="utf-8").splitlines()
    return [(number, match.group(1))
            for number, line in enumerate(lines, start=1)
            if (match := EXPECTED_ERROR.search(line))]


@pytest.mark.parametrize(("name", "refused"), [("solver_calls.py", 5), ("lexicon_calls.py", 14)])
def test_mypy_strict_reports_exactly_the_marked_errors(tmp_path, name: str, refused: int):
    calls = CHECKS / name
    # The sanitizer run preloads its runtime into every interpreter; mypy
    # checks only the stub and needs none of that.
    environment = {name: value for name, value in os.environ.items()
                   if name not in ("LD_PRELOAD", "PYTHONMALLOC", "ASAN_OPTIONS")}
    completed = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-error-summary",
         "--hide-error-context", "--no-pretty", "--show-error-codes",
         "--cache-dir", str(tmp_path / "cache"), str(calls)],
        capture_output=True, text=True, cwd=tmp_path, env=environment,
        timeout=300)

    reported = [(int(match.group(1)), match.group(2))
                for line in completed.stdout.splitlines()
                if (match := REPORTED_ERROR.match(line))]
    errors = [line for line in completed.stdout.splitlines() if ": error: " in line]
    assert len(expected_errors(calls)) == refused
    assert reported == expected_errors(calls), completed.stdout + completed.stderr
    assert len(errors) == len(reported), completed.stdout
    assert completed.returncode == 1, completed.stderr


def test_the_stubs_match_the_modules(tmp_path):
    # stubtest imports the modules, so the environment (the sanitizer run's
    # included) is kept.
    completed = subprocess.run(
        [sys.executable, "-m", "mypy.stubtest", "--mypy-config-file", os.devnull,
         "vorpalyx.core", "vorpalyx._engine"],
        capture_output=True, text=True, cwd=tmp_path, timeout=300)
    assert completed.returncode == 0, completed.stdout + completed.stderr


def test_the_package_passes_mypy_strict(tmp_path):
    package = pathlib.Path(__file__).resolve().parents[2] / "python" / "vorpalyx"
    environment = {name: value for name, value in os.environ.items()
                   if name not in ("LD_PRELOAD", "PYTHONMALLOC", "ASAN_OPTIONS")}
    completed = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-error-summary",
         "--cache-dir", str(tmp_path / "cache"), str(package)],
        capture_output=True, text=True, cwd=tmp_path, env=environment, timeout=300)
    assert completed.returncode == 0, completed.stdout + completed.stderr
