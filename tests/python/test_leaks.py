"""Repeated calls leave nothing behind: after a warm-up, 10,000 solves,
searches, counts and reads of their results, and 10,000 calls of each error
family keep resident memory within 2 MB and the reference counts of every
object passed in unchanged. A solve with a
solution limit holds no more than that many solutions at any time."""

from __future__ import annotations

import ctypes
import gc
import os
import subprocess
import sys
import textwrap
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

from vorpalyx import Lexicon
from vorpalyx.core import Solver

ITERATIONS = 10_000
WARM_UP = 500
RSS_SLACK = 2 * 1024 * 1024

# AddressSanitizer keeps freed memory in quarantine, so resident memory says
# nothing about leaks there; LeakSanitizer covers that build instead.
UNDER_ASAN = hasattr(ctypes.CDLL(None), "__asan_init")

WORDS = ["listen", "silent", "enlist", "tin", "net", "lis"]


def resident_bytes() -> int:
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def fresh_int(value: int) -> int:
    """An int object of its own; ints up to 256 are shared and immortal, so
    their reference counts would say nothing."""
    assert value > 256
    return int(str(value))


def expect(error_type: type[BaseException], call: Callable[[], Any]) -> Callable[[], None]:
    def run() -> None:
        try:
            call()
        except error_type as error:
            error.__traceback__ = None  # the frames of this call
            return
        raise AssertionError(f"{error_type.__name__} not raised")

    return run


def assert_leaves_nothing(run: Callable[[], None], passed: list[Any]) -> None:
    for _ in range(WARM_UP):
        run()
    gc.collect()
    references = [sys.getrefcount(item) for item in passed]
    before = resident_bytes()
    for _ in range(ITERATIONS):
        run()
    gc.collect()
    growth = resident_bytes() - before
    assert [sys.getrefcount(item) for item in passed] == references
    if not UNDER_ASAN:
        assert growth <= RSS_SLACK, f"resident memory grew by {growth} bytes"


@pytest.fixture(scope="module")
def solver() -> Solver:
    solver = Solver()
    solver.load_dictionary_from_words(WORDS)
    return solver


class TestSolves:
    def test_plain_solve(self, solver):
        phrase = fresh_str("Listen!")
        assert_leaves_nothing(lambda: solver.solve(phrase), [phrase, solver])

    def test_solve_with_every_constraint(self, solver):
        phrase, must, only, never = (fresh_str(text) for text in ("Listen, listen", "ll", "lenst", "xy"))
        max_words, min_length, limit = fresh_int(1000), 2, fresh_int(1001)
        timeout = float("1000.5")
        patterns = [fresh_str(text) for text in ("en", "Li-s", "!!")]

        def run() -> None:
            solver.solve(phrase, must, only, never, max_words, min_length, timeout, limit, patterns)

        passed = [phrase, must, only, never, max_words, min_length, timeout, limit, patterns, *patterns]
        assert_leaves_nothing(run, passed)

    def test_solve_stopped_by_its_limits(self, solver):
        phrase, limit, timeout = fresh_str("Listen!"), 1, float("-1")
        assert_leaves_nothing(lambda: solver.solve(phrase, max_solutions=limit), [phrase, limit])
        assert_leaves_nothing(lambda: solver.solve(phrase, timeout_seconds=timeout), [phrase, timeout])

    def test_solve_inside_a_conversion(self, solver):
        phrase = fresh_str("Listen!")

        class Nested:
            def __index__(self) -> int:
                solver.solve(phrase)
                return 1000

        nested = Nested()
        assert_leaves_nothing(lambda: solver.solve(phrase, max_words=nested), [phrase, nested])

    def test_dictionary_calls_that_add_nothing_new(self, solver, tmp_path):
        words, word = [fresh_str(word) for word in WORDS], fresh_str("Listen")
        path = tmp_path / "words.txt"
        path.write_text("\n".join(WORDS) + "\n")
        name = str(path)
        assert_leaves_nothing(lambda: solver.load_dictionary_from_words(words), [words, *words])
        assert_leaves_nothing(lambda: solver.add_word(word), [word])
        assert_leaves_nothing(lambda: solver.load_dictionary_from_path(name), [name])

    def test_solvers_created_and_dropped(self):
        words = [fresh_str(word) for word in WORDS]

        def run() -> None:
            solver = Solver()
            solver.load_dictionary_from_words(words)
            solver.solve("Listen")

        assert_leaves_nothing(run, [words, *words])


def fresh_str(text: str) -> str:
    """A str object of its own (literals are interned and immortal)."""
    return "".join([text, "!"])[:-1]


class Failing:
    """A sequence and number whose protocol methods raise one saved error.
    Its traceback is reset first: raising a saved exception again would
    otherwise chain the tracebacks of every call."""

    def __init__(self, error: BaseException):
        self.error = error

    def __len__(self) -> int:
        return 1

    def __getitem__(self, index: int) -> str:
        raise self.error.with_traceback(None)

    def __index__(self) -> int:
        raise self.error.with_traceback(None)

    def __float__(self) -> float:
        raise self.error.with_traceback(None)


class Borrowing:
    """A number whose __index__ tries to change the solver being solved."""

    def __init__(self, solver: Solver):
        self.solver = solver

    def __index__(self) -> int:
        self.solver.add_word("cat")
        return 1


class Solving:
    """A sequence whose items try to solve with the solver being loaded."""

    def __init__(self, solver: Solver):
        self.solver = solver

    def __len__(self) -> int:
        return 1

    def __getitem__(self, index: int) -> str:
        self.solver.solve("x")
        return "x"


Family = tuple[type[BaseException], Callable[[], Any], list[Any]]


def error_families(solver: Solver, tmp: Path) -> dict[str, Family]:
    """Each family of errors: the type raised, a call that raises it, and
    the objects that the call passes (made once, passed every time)."""
    binary = tmp / "binary.bin"  # written by the test
    a, b, x, y = (fresh_str(text) for text in ("aa", "bb", "xx", "yy"))
    number, real, text_number = fresh_int(300), float("2.5"), fresh_str("12")
    huge_negative = -(10**30)
    letters = {fresh_str("ab")}
    cat_list = [fresh_str("cat"), float("3.5")]
    surrogate = fresh_str("ab\ud800")
    missing, not_utf8, with_nul = str(tmp / "missing.txt"), str(binary), fresh_str("a\0b")
    cause = ValueError("the cause")
    type_error = TypeError("from the sequence")
    type_error.__cause__ = cause
    renamed = Failing(type_error)
    user_error = KeyError("user")
    failing = Failing(user_error)
    borrowing, solving = Borrowing(solver), Solving(solver)
    s = solver
    return {
        "too-many-positional": (TypeError, lambda: s.add_word(a, b), [a, b]),
        "unexpected-keyword": (TypeError, lambda: s.solve(x, limit=number), [x, number]),
        "multiple-values": (TypeError, lambda: s.solve(x, phrase=y), [x, y]),
        "missing-argument": (TypeError, lambda: s.solve(), []),
        "constructor-argument": (TypeError, lambda: Solver(x), [x]),
        "not-a-string": (TypeError, lambda: s.add_word(real), [real]),
        "none-phrase": (TypeError, lambda: s.solve(None, x), [x]),
        "string-for-list": (TypeError, lambda: s.load_dictionary_from_words(x), [x]),
        "not-a-sequence": (TypeError, lambda: s.solve(x, contains_patterns=letters), [x, letters]),
        "item-not-a-string": (TypeError, lambda: s.load_dictionary_from_words(cat_list), [cat_list, *cat_list]),
        "integer-type": (TypeError, lambda: s.solve(x, max_words=real), [x, real]),
        "integer-overflow": (OverflowError, lambda: s.solve(x, max_solutions=huge_negative), [x, huge_negative]),
        "float-type": (TypeError, lambda: s.solve(x, timeout_seconds=text_number), [x, text_number]),
        "surrogate": (UnicodeEncodeError, lambda: s.solve(surrogate), [surrogate]),
        "missing-file": (OSError, lambda: s.load_dictionary_from_path(missing), [missing]),
        "not-utf8": (OSError, lambda: s.load_dictionary_from_path(not_utf8), [not_utf8]),
        "nul-in-path": (OSError, lambda: s.load_dictionary_from_path(with_nul), [with_nul]),
        "renamed-type-error": (
            TypeError,
            lambda: s.load_dictionary_from_words(renamed),
            [renamed, type_error, cause],
        ),
        "user-error-from-sequence": (
            KeyError,
            lambda: s.solve(x, contains_patterns=failing),
            [x, failing, user_error],
        ),
        "user-error-from-index": (KeyError, lambda: s.solve(x, min_word_length=failing), [x, failing, user_error]),
        "user-error-from-float": (KeyError, lambda: s.solve(x, timeout_seconds=failing), [x, failing, user_error]),
        "already-borrowed": (RuntimeError, lambda: s.solve(x, max_words=borrowing), [x, borrowing]),
        "already-mutably-borrowed": (RuntimeError, lambda: s.load_dictionary_from_words(solving), [solving]),
    }


FAMILY_NAMES = list(error_families(Solver(), Path("/nonexistent")))


class TestErrors:
    @pytest.mark.parametrize("family", FAMILY_NAMES)
    def test_error_family(self, family, tmp_path):
        solver = Solver()
        solver.load_dictionary_from_words(WORDS)
        (tmp_path / "binary.bin").write_bytes(b"cat\n\xff\n")
        error_type, call, passed = error_families(solver, tmp_path)[family]
        assert_leaves_nothing(expect(error_type, call), [solver, *passed])
        assert solver.solve("Listen!") == [["enlist"], ["listen"], ["silent"], ["lis", "net"]]


class Discarding:
    def write(self, text: str) -> int:
        return len(text)


class TestLexicon:
    @pytest.fixture
    def lexicon(self) -> Lexicon:
        return Lexicon.from_words(WORDS)

    def test_searches_counts_and_their_results(self, lexicon):
        phrase, pattern = fresh_str("Listen!"), fresh_str("en")
        patterns, limit, threads = [pattern], fresh_int(1000), fresh_int(300)
        result = lexicon.search(phrase)
        word = result[-1][0]
        null = open(os.devnull, "wb")
        writer = Discarding()

        def run() -> None:
            found = lexicon.search(phrase, contains_patterns=patterns, max_solutions=limit, threads=threads)
            list(found)
            found[::-2][0]
            found[-1]
            list(result[1:][::-1])
            result.index(["lis", "net"])
            for _ in iter(result[:2]):
                pass
            next(iter(result))  # an iterator dropped before its end
            lexicon.count(phrase, max_words=limit, threads=1)
            result.write(null)
            result[::-1].write(writer, "json")

        try:
            assert_leaves_nothing(
                run, [lexicon, phrase, pattern, patterns, limit, threads, result, word, null, writer])
        finally:
            null.close()

    def test_rankings_and_weights(self, lexicon, tmp_path):
        phrase, k, weight = fresh_str("Listen!"), fresh_int(1000), float("-1.5")
        weights = {fresh_str("tin"): weight, fresh_str("listen"): -0.25}
        counts = tmp_path / "counts.tsv"
        counts.write_text("tin\t3\nnet\t5\n")

        def run() -> None:
            lexicon.set_weights(weights)
            lexicon.best(phrase, k)
            lexicon.best(phrase, 2, weights=counts, max_words=k)
            ordered = lexicon.search(phrase, order="score", weights=weights)
            ordered[::-1].scores()
            list(ordered)
            lexicon.set_weights(None)

        assert_leaves_nothing(run, [lexicon, phrase, k, weight, weights, *weights, counts])

    def test_loads_and_lexicons_made_and_dropped(self, tmp_path):
        words, word = [fresh_str(word) for word in WORDS], fresh_str("Listen")
        path = tmp_path / "words.txt"
        path.write_text("\n".join(WORDS) + "\n")
        name = str(path)

        def run() -> None:
            lexicon = Lexicon.from_words(words)
            lexicon.load_path(path)
            lexicon.add_word(word)
            lexicon.load_path(name)
            result = lexicon.search("Listen")
            del lexicon
            result[0]

        assert_leaves_nothing(run, [words, *words, word, path, name])

    @pytest.mark.parametrize(
        "family",
        ["unexpected-keyword", "wrong-type", "negative-count", "index-raises", "patterns-raise",
         "missing-file", "not-utf8", "item-not-a-string", "words-raise", "out-of-range",
         "k-not-an-int", "weight-not-finite", "weight-key-not-a-str", "weights-file-line"],
    )
    def test_error_family(self, family, lexicon, tmp_path):
        binary = tmp_path / "binary.bin"
        binary.write_bytes(b"cat\n\xff\n")
        bad_counts = tmp_path / "counts.tsv"
        bad_counts.write_text("cat\t1\ncat 2\n")
        x, number, missing = fresh_str("xx"), -fresh_int(300), str(tmp_path / "missing.txt")
        user_error = KeyError("user")
        failing = Failing(user_error)
        words = [fresh_str("cat"), float("3.5")]
        result = lexicon.search("Listen!")
        families = {
            "unexpected-keyword": (TypeError, lambda: lexicon.search(x, limit=number), [x, number]),
            "wrong-type": (TypeError, lambda: lexicon.count(x, max_words=x), [x]),
            "negative-count": (ValueError, lambda: lexicon.search(x, max_solutions=number), [x, number]),
            "index-raises": (KeyError, lambda: lexicon.count(x, threads=failing), [x, failing, user_error]),
            "patterns-raise": (KeyError, lambda: lexicon.search(x, contains_patterns=iter(failing)),
                               [x, failing, user_error]),
            "missing-file": (FileNotFoundError, lambda: lexicon.load_path(missing), [missing]),
            "not-utf8": (UnicodeDecodeError, lambda: Lexicon.from_path(binary), [binary]),
            "item-not-a-string": (TypeError, lambda: lexicon.load_words(words), [words, *words]),
            "words-raise": (KeyError, lambda: lexicon.load_words(failing), [failing, user_error]),
            "out-of-range": (IndexError, lambda: result[number], [result, number]),
            "k-not-an-int": (TypeError, lambda: lexicon.best(x, x), [x]),
            "weight-not-finite": (ValueError, lambda: lexicon.set_weights({x: float("nan")}), [x]),
            "weight-key-not-a-str": (TypeError, lambda: lexicon.best(x, weights={number: -1.0}),
                                     [x, number]),
            "weights-file-line": (ValueError, lambda: lexicon.set_weights(bad_counts), [bad_counts]),
        }
        error_type, call, passed = families[family]
        assert_leaves_nothing(expect(error_type, call), [lexicon, *passed])
        assert len(lexicon) == len(WORDS)


class TestSolutionLimit:
    """A search with astronomically many solutions, limited to a few, must
    finish at once and hold only those few: a search that collected more
    would not end (the guard is the subprocess timeout) or would show in the
    peak resident memory of the process."""

    SCRIPT = textwrap.dedent(
        """
        import gc, string, sys
        from vorpalyx.core import Solver

        def memory(field):
            with open("/proc/self/status") as status:
                for line in status:
                    if line.startswith(field + ":"):
                        return int(line.split()[1]) * 1024

        letters = string.ascii_lowercase
        solver = Solver()
        solver.load_dictionary_from_words([a + b for a in letters for b in letters] + list(letters))
        gc.collect()
        with open("/proc/self/clear_refs", "w") as clear_refs:
            clear_refs.write("5")  # restart the peak (VmHWM) from now
        before = memory("VmRSS")
        limit = int(sys.argv[1])
        result = solver.solve(letters, max_solutions=limit)
        peak = memory("VmHWM")
        assert len(result) == limit, len(result)
        for solution in result:
            assert sorted("".join(solution)) == list(letters), solution
        print(peak - before)
        """
    )

    @pytest.mark.parametrize("limit", [1, 10, 1000])
    def test_limited_search_stays_small(self, limit):
        done = subprocess.run(
            [sys.executable, "-c", self.SCRIPT, str(limit)],
            capture_output=True,
            text=True,
            timeout=120,
            check=False,
        )
        assert done.returncode == 0, done.stderr
        if not UNDER_ASAN:
            assert int(done.stdout) < 16 * 1024 * 1024
