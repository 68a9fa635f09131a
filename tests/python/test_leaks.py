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

from hostile import Floating, GetItemSequence, Index

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
    def test_plain_limited_constrained_and_nested_solves(self, solver):
        phrase, limit, timeout = fresh_str("Listen!"), 1, float("-1")
        # Every constraint given, in order.
        every = [fresh_str(text) for text in ("Listen, listen", "ll", "lenst", "xy")]
        max_words, min_length, most, long_timeout = fresh_int(1000), 2, fresh_int(1001), float("1000.5")
        patterns = [fresh_str(text) for text in ("en", "Li-s", "!!")]

        class Nested:
            """A number that solves while it is converted."""

            def __index__(self) -> int:
                solver.solve(phrase)
                return 1000

        nested = Nested()
        # Numbers given by __index__ and __float__, and the int __index__ gives.
        letters, index_value, floating = fresh_str("ls"), fresh_int(10**6 + 7), Floating(float("50.0"))
        index = Index(index_value)

        def run() -> None:
            solver.solve(phrase)
            solver.solve(phrase, max_solutions=limit)
            solver.solve(phrase, timeout_seconds=timeout)
            solver.solve(*every, max_words, min_length, long_timeout, most, patterns)
            solver.solve(phrase, max_words=nested)
            solver.solve(phrase, letters, letters, None, index, index, floating, index, patterns)
            solver.solve(phrase, max_solutions=index, contains_patterns=(patterns[0],))

        passed = [phrase, solver, limit, timeout, *every, max_words, min_length, most, long_timeout,
                  patterns, *patterns, nested, letters, index_value, floating, index]
        assert_leaves_nothing(run, passed)

    def test_dictionary_calls_and_objects_made_and_dropped(self, solver, tmp_path):
        words, word = [fresh_str(word) for word in WORDS], fresh_str("Listen")
        sequence = GetItemSequence(*words)  # known only by __getitem__
        path = tmp_path / "words.txt"
        path.write_text("\n".join(WORDS) + "\n")
        name = str(path)

        def run() -> None:
            solver.load_dictionary_from_words(words)  # nothing new to the kept solver
            solver.load_dictionary_from_words(sequence)
            solver.add_word(word)
            solver.load_dictionary_from_path(name)
            dropped = Solver()
            dropped.load_dictionary_from_words(words)
            dropped.solve("Listen")
            lexicon = Lexicon.from_words(words)
            lexicon.load_path(path)
            lexicon.add_word(word)
            lexicon.load_path(name)
            result = lexicon.search("Listen")
            del lexicon
            result[0]  # a result outlives its lexicon

        assert_leaves_nothing(run, [words, *words, word, path, name, sequence])


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


def error_families(solver: Solver, lexicon: Lexicon, tmp: Path) -> dict[str, Family]:
    """Each family of errors of the two faces: the type raised, a call that
    raises it, and the objects that the call passes (made once, passed every
    time)."""
    binary, bad_counts = tmp / "binary.bin", tmp / "counts.tsv"  # written by the test
    a, b, x, y = (fresh_str(text) for text in ("aa", "bb", "xx", "yy"))
    number, real, text_number, big = fresh_int(300), float("2.5"), fresh_str("12"), 2**64 + 12345
    negative, huge_negative = -fresh_int(300), -(10**30)
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
    s, lex = solver, lexicon
    result = lexicon.search("Listen!")
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
        "integer-too-big": (OverflowError, lambda: s.solve(x, max_words=big), [x, big]),
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
        "renamed-pattern-error": (
            TypeError,
            lambda: s.solve(x, contains_patterns=renamed),
            [x, renamed, type_error, cause],
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
        "lexicon-unexpected-keyword": (TypeError, lambda: lex.search(x, limit=negative), [x, negative]),
        "lexicon-wrong-type": (TypeError, lambda: lex.count(x, max_words=x), [x]),
        "lexicon-negative-count": (ValueError, lambda: lex.search(x, max_solutions=negative), [x, negative]),
        "lexicon-index-raises": (KeyError, lambda: lex.count(x, threads=failing), [x, failing, user_error]),
        "lexicon-patterns-raise": (
            KeyError,
            lambda: lex.search(x, contains_patterns=iter(failing)),
            [x, failing, user_error],
        ),
        "lexicon-missing-file": (FileNotFoundError, lambda: lex.load_path(missing), [missing]),
        "lexicon-not-utf8": (UnicodeDecodeError, lambda: Lexicon.from_path(binary), [binary]),
        "lexicon-item-not-a-string": (TypeError, lambda: lex.load_words(cat_list), [cat_list, *cat_list]),
        "lexicon-words-raise": (KeyError, lambda: lex.load_words(failing), [failing, user_error]),
        "lexicon-out-of-range": (IndexError, lambda: result[negative], [result, negative]),
        "lexicon-k-not-an-int": (TypeError, lambda: lex.best(x, x), [x]),
        "lexicon-weight-not-finite": (ValueError, lambda: lex.set_weights({x: float("nan")}), [x]),
        "lexicon-weight-key-not-a-str": (TypeError, lambda: lex.best(x, weights={negative: -1.0}), [x, negative]),
        "lexicon-weights-file-line": (ValueError, lambda: lex.set_weights(bad_counts), [bad_counts]),
    }


FAMILY_NAMES = list(error_families(Solver(), Lexicon.from_words(WORDS), Path("/nonexistent")))


@pytest.mark.parametrize("family", FAMILY_NAMES)
def test_error_family(family, tmp_path):
    solver = Solver()
    solver.load_dictionary_from_words(WORDS)
    lexicon = Lexicon.from_words(WORDS)
    (tmp_path / "binary.bin").write_bytes(b"cat\n\xff\n")
    (tmp_path / "counts.tsv").write_text("cat\t1\ncat 2\n")
    error_type, call, passed = error_families(solver, lexicon, tmp_path)[family]
    assert_leaves_nothing(expect(error_type, call), [solver, lexicon, *passed])
    assert solver.solve("Listen!") == [["enlist"], ["listen"], ["silent"], ["lis", "net"]]
    assert len(lexicon) == len(WORDS)


class Discarding:
    def write(self, text: str) -> int:
        return len(text)


class TestLexicon:
    @pytest.fixture
    def lexicon(self) -> Lexicon:
        return Lexicon.from_words(WORDS)

    def test_searches_counts_rankings_and_their_results(self, lexicon, tmp_path):
        phrase, pattern = fresh_str("Listen!"), fresh_str("en")
        patterns, limit, threads = [pattern], fresh_int(1000), fresh_int(300)
        weight = float("-1.5")
        weights = {fresh_str("tin"): weight, fresh_str("listen"): -0.25}
        counts = tmp_path / "counts.tsv"
        counts.write_text("tin\t3\nnet\t5\n")
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
            lexicon.set_weights(weights)
            lexicon.best(phrase, limit)
            lexicon.best(phrase, 2, weights=counts, max_words=limit)
            ordered = lexicon.search(phrase, order="score", weights=weights)
            ordered[::-1].scores()
            list(ordered)
            lexicon.set_weights(None)

        try:
            assert_leaves_nothing(run, [lexicon, phrase, pattern, patterns, limit, threads, result, word, null,
                                        writer, weight, weights, *weights, counts])
        finally:
            null.close()


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
