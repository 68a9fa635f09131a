"""The diagnostic trace of a solve: switch, file, lines, failures.

Expected traces are written out by hand from the search steps; every traced
solve runs in a temporary working directory.
"""

from __future__ import annotations

import contextlib
import json
import os
import pathlib
import stat
import subprocess
import sys
import tempfile
from collections.abc import Callable, Iterator
from typing import Any

import pytest

from vorpalyx.core import Solver

from solve_parameters import CONSTRAINT_FIELDS

LOG_NAME = "anagram_solver_debug.log"
SWITCH = "ANAGRAM_DEBUG_LOG"
EXPECTED_DIR = pathlib.Path(__file__).parent / "expected_traces"
FOOTER = "--- Solve function finished ---\n"
DISK_FULL = "Log write error: No space left on device (os error 28)\n"
ZEROS_24 = ", ".join(["0"] * 24)
PATTERN_A = (
    f'Some([ProcessedPattern {{ text: "a", counts: CharCounts([1, 0, {ZEROS_24}]) }}])'
)
FIELDS = CONSTRAINT_FIELDS
LISTEN_WORDS = ["listen", "silent", "enlist", "tin", "les", "el", "tins", "lit", "ens", "st", "in"]


def header(phrase: str, **forms: str) -> str:
    """The two header lines; `forms` gives the printed form of each given field."""
    fields = ", ".join(f"{name}: {forms.get(name, 'None')}" for name in FIELDS)
    return f"--- Solving for phrase: '{phrase}' ---\nConstraints: SolverConstraints {{ {fields} }}\n"


def solver_of(words: list[str]) -> Solver:
    solver = Solver()
    solver.load_dictionary_from_words(words)
    return solver


def read_log() -> str:
    return pathlib.Path(LOG_NAME).read_text(encoding="utf-8")


@contextlib.contextmanager
def captured_stderr() -> Iterator[list[str]]:
    """Redirects file descriptor 2 into a temporary file; the text written to
    it is in the yielded list once the block ends."""
    text: list[str] = []
    with tempfile.TemporaryFile() as capture:
        sys.stderr.flush()
        saved = os.dup(2)
        os.dup2(capture.fileno(), 2)
        try:
            yield text
        finally:
            os.dup2(saved, 2)
            os.close(saved)
            capture.seek(0)
            text.append(capture.read().decode("utf-8"))


def solve_capturing_stderr(
    solver: Solver, phrase: str, **constraints: Any
) -> tuple[list[list[str]], str]:
    with captured_stderr() as errors:
        result = solver.solve(phrase, **constraints)
    return result, errors[0]


def descriptors_open_on(path: pathlib.Path) -> list[str]:
    target = str(path.resolve())
    found = []
    for name in os.listdir("/proc/self/fd"):
        try:
            if os.readlink(f"/proc/self/fd/{name}") == target:
                found.append(name)
        except OSError:
            pass
    return found


@pytest.fixture
def workdir(tmp_path: pathlib.Path, monkeypatch: pytest.MonkeyPatch) -> pathlib.Path:
    monkeypatch.chdir(tmp_path)
    monkeypatch.delenv(SWITCH, raising=False)
    return tmp_path


@pytest.fixture
def traced(workdir: pathlib.Path, monkeypatch: pytest.MonkeyPatch) -> pathlib.Path:
    monkeypatch.setenv(SWITCH, "1")
    return workdir


# name -> (dictionary, phrase, constraints, result); the trace is
# expected_traces/<name>.log.
FILE_CASES: dict[str, tuple[list[str], str, dict[str, Any], list[list[str]]]] = {
    "patterns_and_must_start_with": (
        ["a", "b", "ab"],
        "A b!",
        {"must_start_with": "b", "contains_patterns": ["b"]},
        [["a", "b"]],
    ),
    "max_solutions_stop": (["a", "b"], "ba", {"max_solutions": 1}, [["a", "b"]]),
    "negative_timeout": (
        ["ab"],
        "ab",
        {"timeout_seconds": -1.5, "contains_patterns": ["Ab"]},
        [],
    ),
    "no_letters": (
        ["ab"],
        " 42, !? ",
        {
            "must_start_with": "",
            "can_only_ever_start_with": "",
            "must_not_start_with": "zA'",
            "max_words": 3,
            "min_word_length": 0,
            "timeout_seconds": 10,
            "max_solutions": 7,
            "contains_patterns": [],
        },
        [],
    ),
}


def expected_trace(name: str) -> str:
    return (EXPECTED_DIR / f"{name}.log").read_text(encoding="utf-8")


class TestWholeTrace:
    @pytest.mark.parametrize("disk_full", [False, True], ids=["written", "disk-full"])
    @pytest.mark.parametrize("name", FILE_CASES)
    def test_trace_file(self, traced: pathlib.Path, name: str, disk_full: bool) -> None:
        words, phrase, constraints, result = FILE_CASES[name]
        log = traced / LOG_NAME
        if disk_full:
            log.symlink_to("/dev/full")
        else:
            # A longer trace left by an earlier solve must be replaced entirely.
            log.write_text("stale\n" * 500)
        found, errors = solve_capturing_stderr(solver_of(words), phrase, **constraints)
        assert found == result
        assert descriptors_open_on(log) == []
        if disk_full:
            # Every line that fails is reported, once.
            assert errors == DISK_FULL * expected_trace(name).count("\n")
        else:
            assert errors == ""
            assert read_log() == expected_trace(name)

    @pytest.mark.parametrize(
        ("words", "constraints", "body"),
        [
            pytest.param(
                ["ab"], {"max_solutions": 0, "contains_patterns": ["a"]},
                "BACKTRACK ENTRY: path=[], remaining_total=2, timed_out=false, solutions_found=0\n"
                "  Mask: [false]\n"
                "  Pruned: Max solutions reached. Path: []\n",
                id="no-solutions-allowed",
            ),
            pytest.param(
                ["ab"], {"max_words": 0, "contains_patterns": ["a"]},
                "BACKTRACK ENTRY: path=[], remaining_total=2, timed_out=false, solutions_found=0\n"
                "  Mask: [false]\n"
                "  Pruned PATTERN: Unsatisfied patterns but max_words reached. Path: []\n",
                id="open-pattern-no-words-allowed",
            ),
            pytest.param(
                ["ab"], {"max_words": 0},
                "BACKTRACK ENTRY: path=[], remaining_total=2, timed_out=false, solutions_found=0\n"
                "  Pre-base-case: path=[], remaining_total=2\n"
                "  Did not hit base case (remaining_counts_total = 2). Path: []\n"
                "  Pruned: Path len 0 == max_words 0 but letters remain. Path: []\n",
                id="no-words-allowed",
            ),
            pytest.param(
                ["ab"], {"can_only_ever_start_with": ""},
                "BACKTRACK ENTRY: path=[], remaining_total=2, timed_out=false, solutions_found=0\n"
                "  Pre-base-case: path=[], remaining_total=2\n"
                "  Did not hit base case (remaining_counts_total = 2). Path: []\n"
                "  Calling find_one_word_recursive for path: []\n"
                "  FOWR ENTRY: word_so_far='', path=[], current_overall_counts_total=2, node_is_word=false\n"
                "  FOWR EXIT: word_so_far=''\n"
                "BACKTRACK EXIT: path=[]\n",
                id="no-start-letter-allowed",
            ),
            pytest.param(
                # 'ab' is too short, and as long as the longest word, so its
                # node returns without an exit line.
                ["ab"], {"min_word_length": 3},
                "BACKTRACK ENTRY: path=[], remaining_total=2, timed_out=false, solutions_found=0\n"
                "  Pre-base-case: path=[], remaining_total=2\n"
                "  Did not hit base case (remaining_counts_total = 2). Path: []\n"
                "  Calling find_one_word_recursive for path: []\n"
                "  FOWR ENTRY: word_so_far='', path=[], current_overall_counts_total=2, node_is_word=false\n"
                "  FOWR ENTRY: word_so_far='a', path=[], current_overall_counts_total=1, node_is_word=false\n"
                "  FOWR ENTRY: word_so_far='ab', path=[], current_overall_counts_total=0, node_is_word=true\n"
                "    FOWR: Found candidate word: 'ab'. Path before push: []\n"
                "      FOWR: 'ab' FAILED min_length (len 2). Path: []\n"
                "  FOWR EXIT: word_so_far='a'\n"
                "  FOWR EXIT: word_so_far=''\n"
                "BACKTRACK EXIT: path=[]\n",
                id="word-too-short",
            ),
            pytest.param(
                ["abc"], {},
                "BACKTRACK ENTRY: path=[], remaining_total=2, timed_out=false, solutions_found=0\n"
                "  Pre-base-case: path=[], remaining_total=2\n"
                "  Did not hit base case (remaining_counts_total = 2). Path: []\n"
                "  Pruned: remaining_total 2 < min_dict_word_len 3. Path: []\n",
                id="dictionary-words-too-long",
            ),
        ],
    )
    def test_short_search_of_ab(
        self, traced: pathlib.Path, words: list[str], constraints: dict[str, Any], body: str
    ) -> None:
        assert solver_of(words).solve("ab", **constraints) == []
        forms = {
            "max_solutions": "Some(0)" if "max_solutions" in constraints else "None",
            "max_words": "Some(0)" if "max_words" in constraints else "None",
            "contains_patterns": PATTERN_A if "contains_patterns" in constraints else "None",
            "can_only_ever_start_with": "Some({})" if "can_only_ever_start_with" in constraints else "None",
            "min_word_length": "Some(3)" if "min_word_length" in constraints else "None",
        }
        assert read_log() == header("ab", **forms) + body + FOOTER

    @pytest.mark.parametrize(
        ("words", "phrase"),
        [
            pytest.param(["ab"], "It's \"Q\"\n\tab\u00e9!", id="non-ascii-letter"),
            pytest.param([], "ab", id="empty-dictionary"),
            pytest.param(["123", "--"], "Ab", id="letterless-words"),
            pytest.param(["ab"], "", id="empty-phrase"),
        ],
    )
    def test_early_exits_leave_the_header_only(
        self, traced: pathlib.Path, words: list[str], phrase: str
    ) -> None:
        assert solver_of(words).solve(phrase) == []
        assert read_log() == header(phrase)
        assert descriptors_open_on(traced / LOG_NAME) == []


def trace_lines_of(words: list[str], phrase: str, **constraints: Any) -> list[str]:
    solver_of(words).solve(phrase, **constraints)
    return read_log().splitlines()


def assert_consecutive(lines: list[str], expected: list[str]) -> None:
    starts = [i for i, line in enumerate(lines) if line == expected[0]]
    assert any(lines[i : i + len(expected)] == expected for i in starts), expected


class TestLines:
    def test_pattern_no_longer_formable_names_its_index(self, traced: pathlib.Path) -> None:
        lines = trace_lines_of(["a", "b", "ab"], "ab", contains_patterns=["b", "ab"])
        assert_consecutive(
            lines,
            [
                'BACKTRACK ENTRY: path=["a"], remaining_total=1, timed_out=false, solutions_found=0',
                "  Mask: [false, false]",
                "  Pruned PATTERN: Cannot form pattern 'ab' (idx 1). Path: [\"a\"]",
                "      FOWR: Popped 'a'. Path is now: []",
            ],
        )

    def test_remainder_below_min_word_length(self, traced: pathlib.Path) -> None:
        lines = trace_lines_of(["ab", "c"], "abc", min_word_length=2)
        assert_consecutive(
            lines,
            [
                '  Did not hit base case (remaining_counts_total = 1). Path: ["ab"]',
                '  Pruned: remaining_total 1 < min_word_len 2. Path: ["ab"]',
                "      FOWR: Popped 'ab'. Path is now: []",
            ],
        )

    @pytest.mark.parametrize(
        ("must_start_with", "verdict", "result"),
        [
            # Letters are checked in code point order: 'a' fails before 'b'.
            ("ba", "    PRUNED BASE CASE: must_start_with: char 'a' needed 1 times, found 0 times.", []),
            ("\u00e9", "    PRUNED BASE CASE: must_start_with: char '\u00e9' needed 1 times, found 0 times.", []),
            ("\n", "    PRUNED BASE CASE: must_start_with: char '\n' needed 1 times, found 0 times.", []),
            ("ccc", "    PRUNED BASE CASE: must_start_with: char 'c' needed 3 times, found 2 times.", []),
            ("cC", "    must_start_with constraint SATISFIED.", [["c", "c"]]),
            ("", "    must_start_with constraint SATISFIED.", [["c", "c"]]),
        ],
    )
    def test_must_start_with_verdict(
        self, traced: pathlib.Path, must_start_with: str, verdict: str, result: list[list[str]]
    ) -> None:
        assert solver_of(["c"]).solve("cc", must_start_with=must_start_with) == result
        base_case = read_log().split("    Current path is not empty: [\"c\", \"c\"]\n")[1]
        assert base_case.startswith(verdict + ' Path: ["c", "c"]\n')

    def test_same_pattern_twice_sets_and_resets_both(self, traced: pathlib.Path) -> None:
        lines = trace_lines_of(["ab"], "ab", contains_patterns=["b", "B"])
        assert_consecutive(
            lines,
            [
                "      FOWR: Checking patterns. Word: 'ab'. Mask before: [false, false]",
                "        FOWR: Pattern 'b' (idx 0) satisfied by 'ab'. Mask now: [true, false]",
                "        FOWR: Pattern 'b' (idx 1) satisfied by 'ab'. Mask now: [true, true]",
                "      FOWR: Pushed 'ab'. Path is now: [\"ab\"]. Calling backtrack with remaining_counts_total: 0",
            ],
        )
        assert_consecutive(
            lines,
            [
                "      FOWR: Popped 'ab'. Path is now: []",
                "      FOWR: Reverting mask changes for word 'ab'. Mask before revert: [true, true]",
                "      FOWR: Mask after revert: [false, false]",
            ],
        )

    def test_timeout_unwinds_without_further_steps(self, traced: pathlib.Path) -> None:
        # Writing the trace is slow enough that the limit passes mid-search;
        # where exactly depends on the clock, the shape of the unwinding not.
        full = solver_of(LISTEN_WORDS).solve("Listen!")
        found = solver_of(LISTEN_WORDS).solve(
            "Listen!", timeout_seconds=0.0003, contains_patterns=["l"]
        )
        assert all(solution in full for solution in found)
        lines = read_log().splitlines()
        timeouts = [
            i for i, line in enumerate(lines) if line.startswith("  Pruned: Timeout triggered NOW. Path: ")
        ]
        assert len(timeouts) == 1
        unwinding = lines[timeouts[0] + 1 : -1]
        unwinding_kinds = (
            "      FOWR: Popped '",
            "      FOWR: Reverting mask changes for word '",
            "      FOWR: Mask after revert: ",
            "BACKTRACK EXIT: path=",
        )
        assert all(line.startswith(unwinding_kinds) for line in unwinding)
        assert lines[-1] == FOOTER.strip()

    def test_empty_pattern_list_checks_but_never_reverts(self, traced: pathlib.Path) -> None:
        lines = trace_lines_of(["ab"], "ab", contains_patterns=[])
        assert "      FOWR: Checking patterns. Word: 'ab'. Mask before: []" in lines
        assert '    Patterns satisfied (or no pattern constraint). Mask: []. Path: ["ab"]' in lines
        assert not [line for line in lines if "Mask after revert" in line or "Reverting" in line]


# How a start letter's character and a timeout are printed: every form is
# in tests/cpp/solver/trace_format_test.cc; here the characters arrive from
# Python text of each UTF-8 length (lower-cased), the timeout as an int too.
SET_MEMBER_FORMS = [
    ("\t", r"'\t'"), ("'", r"'\''"), ("Q", "'q'"), ("\u00e9", "'\u00e9'"), ("\x85", r"'\u{85}'"),
    ("\u2028", r"'\u{2028}'"), ("\U0001f600", "'\U0001f600'"), ("\U0010ffff", r"'\u{10ffff}'"),
]
TIMEOUT_FORMS = [(10, "10.0"), (-0.0, "-0.0"), (1e-5, "1e-5"), (float("nan"), "NaN")]


class TestValueForms:
    # How the header prints each kind of value: a character of a start
    # letter set, a timeout, and the entries of each start letter field in
    # code point order.
    @pytest.mark.parametrize(
        ("constraints", "forms"),
        [
            *(({field: character}, {field: f"Some({{{form}}})"})
              for field in ("can_only_ever_start_with", "must_not_start_with")
              for character, form in SET_MEMBER_FORMS),
            *(({"timeout_seconds": seconds}, {"timeout_seconds": f"Some({form})"})
              for seconds, form in TIMEOUT_FORMS),
            (
                {"must_start_with": "bab\u00e9'", "can_only_ever_start_with": "zya",
                 "must_not_start_with": "Ba "},
                {"must_start_with": "Some({'\\'': 1, 'a': 1, 'b': 2, '\u00e9': 1})",
                 "can_only_ever_start_with": "Some({'a', 'y', 'z'})",
                 "must_not_start_with": "Some({' ', 'a', 'b'})"},
            ),
        ],
    )
    def test_header_form(
        self, traced: pathlib.Path, constraints: dict[str, Any], forms: dict[str, str]
    ) -> None:
        solver_of(["ab"]).solve("", **constraints)
        assert read_log() == header("", **forms)


class TestSwitch:
    # Unset, any UTF-8 value, or bytes that are not UTF-8; every value is in
    # trace_log_test.cc.
    @pytest.mark.parametrize(("value", "on"), [(None, False), (b"0", True), (b"\xff", False)])
    def test_value(
        self, workdir: pathlib.Path, monkeypatch: pytest.MonkeyPatch, value: bytes | None, on: bool
    ) -> None:
        if value is not None:
            monkeypatch.setitem(os.environb, SWITCH.encode(), value)
        result, errors = solve_capturing_stderr(solver_of(LISTEN_WORDS), "Listen!")
        assert len(result) == 7
        assert errors == ""
        # Off, the solve leaves nothing at all in the working directory.
        assert list(workdir.iterdir()) == ([workdir / LOG_NAME] if on else [])

    def test_read_afresh_at_every_solve(
        self, workdir: pathlib.Path, monkeypatch: pytest.MonkeyPatch
    ) -> None:
        solver = solver_of(["ab"])
        monkeypatch.setenv(SWITCH, "")
        solver.solve("AB", max_words=1)
        assert read_log().startswith(header("AB", max_words="Some(1)"))
        solver.solve("ba")
        assert read_log().startswith(header("ba") + "BACKTRACK ENTRY")
        monkeypatch.delenv(SWITCH)
        os.remove(LOG_NAME)
        solver.solve("ab")
        assert not (workdir / LOG_NAME).exists()
        monkeypatch.setenv(SWITCH, "yes")
        solver.solve("")
        assert read_log() == header("")


class TestFile:
    @pytest.mark.parametrize(("mask", "mode"), [(0o022, 0o644), (0o077, 0o600), (0, 0o666)])
    def test_mode_is_reduced_by_umask(self, traced: pathlib.Path, mask: int, mode: int) -> None:
        saved = os.umask(mask)
        try:
            solver_of(["ab"]).solve("ab")
        finally:
            os.umask(saved)
        assert stat.S_IMODE(os.stat(LOG_NAME).st_mode) == mode


def make_directory(path: pathlib.Path) -> None:
    path.mkdir()


def make_dangling_symlink(path: pathlib.Path) -> None:
    path.symlink_to(path.parent / "missing" / "trace.log")


def make_symlink_loop(path: pathlib.Path) -> None:
    path.symlink_to(path.name)


CREATION_FAILURES: list[tuple[Callable[[pathlib.Path], None], str]] = [
    (make_directory, "Is a directory (os error 21)"),
    (make_dangling_symlink, "No such file or directory (os error 2)"),
    (make_symlink_loop, "Too many levels of symbolic links (os error 40)"),
]


class TestFailures:
    @pytest.mark.parametrize(("make", "error"), CREATION_FAILURES)
    def test_file_cannot_be_created(
        self, traced: pathlib.Path, make: Callable[[pathlib.Path], None], error: str
    ) -> None:
        make(traced / LOG_NAME)
        result, errors = solve_capturing_stderr(solver_of(LISTEN_WORDS), "Listen!", max_words=2)
        assert result == [["enlist"], ["listen"], ["silent"], ["ens", "lit"], ["les", "tin"], ["el", "tins"]]
        assert errors == f"Failed to create log file {LOG_NAME}: {error}\n"

    def test_read_only_file(self, traced: pathlib.Path) -> None:
        log = traced / LOG_NAME
        log.write_text("kept\n")
        log.chmod(0o444)
        traced.chmod(0o755)
        solver = solver_of(["ab"])
        # Root may write any file, so the solve runs as an ordinary user.
        dropped = os.geteuid() == 0
        with captured_stderr() as errors:
            if dropped:
                try:
                    os.seteuid(65534)
                except PermissionError:
                    pytest.skip("cannot drop root privileges to test a read-only file")
            try:
                result = solver.solve("ab")
            finally:
                if dropped:
                    os.seteuid(0)
        assert result == [["ab"]]
        assert errors == [f"Failed to create log file {LOG_NAME}: Permission denied (os error 13)\n"]
        assert log.read_text() == "kept\n"

    @pytest.mark.parametrize("limit", [0, 100, 1000, 1234])
    def test_partial_trace_kept_up_to_failure(self, traced: pathlib.Path, limit: int) -> None:
        # The file size limit cuts the trace after `limit` bytes; the line that
        # crosses it and every later line are reported once each.
        child = (
            "import json, resource, signal, sys\n"
            "from vorpalyx.core import Solver\n"
            "signal.signal(signal.SIGXFSZ, signal.SIG_IGN)\n"
            f"resource.setrlimit(resource.RLIMIT_FSIZE, ({limit}, resource.RLIM_INFINITY))\n"
            "solver = Solver()\n"
            "solver.load_dictionary_from_words(['a', 'b', 'ab'])\n"
            "print(json.dumps(solver.solve('A b!', must_start_with='b', contains_patterns=['b'])))\n"
        )
        run = subprocess.run(
            [sys.executable, "-c", child], cwd=traced, capture_output=True, check=True, text=True
        )
        trace = expected_trace("patterns_and_must_start_with").encode()
        assert json.loads(run.stdout) == [["a", "b"]]
        assert (traced / LOG_NAME).read_bytes() == trace[:limit]
        kept_whole = trace[:limit].count(b"\n")
        assert run.stderr == "Log write error: File too large (os error 27)\n" * (
            trace.count(b"\n") - kept_whole
        )


@pytest.mark.parametrize(
    ("phrase", "constraints"),
    [
        ("Listen!", {}),
        ("Listen!", {"max_solutions": 2}),
        ("Listen!", {"max_solutions": 4, "max_words": 2}),
        ("Listen!", {"must_start_with": "e", "timeout_seconds": float("nan")}),
        ("Listen!", {"contains_patterns": ["ten"], "min_word_length": 3}),
        ("tinsel", {"can_only_ever_start_with": "ltes", "must_not_start_with": "s"}),
    ],
)
def test_tracing_never_changes_the_result(
    workdir: pathlib.Path, monkeypatch: pytest.MonkeyPatch, phrase: str, constraints: dict[str, Any]
) -> None:
    solver = solver_of(LISTEN_WORDS)
    untraced = solver.solve(phrase, **constraints)
    unlimited = {name: value for name, value in constraints.items() if name != "max_solutions"}
    everything = solver.solve(phrase, **unlimited)
    monkeypatch.setenv(SWITCH, "1")
    traced = solver.solve(phrase, **constraints)
    assert read_log().endswith(FOOTER)
    if "max_solutions" in constraints:
        # A limit keeps whichever solutions each search meets first; both
        # keep as many, all of them real solutions, in result order.
        assert len(traced) == len(untraced) == min(constraints["max_solutions"], len(everything))
        for result in (traced, untraced):
            assert all(solution in everything for solution in result)
            assert sorted(result, key=everything.index) == result
    else:
        assert traced == untraced
