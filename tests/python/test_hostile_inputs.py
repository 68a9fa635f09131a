"""Hostile inputs: objects whose protocol methods raise, mutate or call back
into the same Solver; str subclasses; lone surrogates; very large phrases,
pattern lists and dictionary files; binary files; and one Solver shared by
several threads. None of them may crash the interpreter or corrupt the
dictionary, and the Solver must stay usable afterwards."""

from __future__ import annotations

import errno
import os
import subprocess
import sys
import threading
import time
from collections.abc import Callable, Iterator
from pathlib import Path
from typing import Any

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from vorpalyx.core import Solver

from hostile import Boom, Items, Number, RaisingIteration, Sneaky, TypeErrorSubclass
from solve_parameters import SOLVE_PARAMETERS

WORDS = ["listen", "silent", "enlist", "tin", "net", "lis"]
LISTEN = [["enlist"], ["listen"], ["silent"], ["lis", "net"]]


@pytest.fixture
def solver() -> Solver:
    solver = Solver()
    solver.load_dictionary_from_words(WORDS)
    return solver


def assert_intact(solver: Solver) -> None:
    """The dictionary is exactly WORDS and the borrow was given back."""
    assert solver.solve("Listen!") == LISTEN
    assert solver.solve("cat") == []
    solver.add_word("listen")
    assert solver.solve("Listen!") == LISTEN


def load_words(solver: Solver, words: Any) -> Any:
    return solver.load_dictionary_from_words(words)


def solve_patterns(solver: Solver, patterns: Any) -> Any:
    return solver.solve("Listen!", contains_patterns=patterns)


SEQUENCE_TAKERS = pytest.mark.parametrize(
    ("take", "parameter"),
    [(load_words, "words"), (solve_patterns, "contains_patterns")],
    ids=["words", "contains_patterns"],
)


def failing_at(failing: int, error: BaseException) -> Callable[[int], None]:
    """A hook for Items that raises `error` before item `failing` is read."""

    def fail(index: int) -> None:
        if index == failing:
            raise error

    return fail


def caused(error: BaseException, cause: BaseException) -> BaseException:
    error.__cause__ = cause
    return error


class Unprintable:
    def __str__(self) -> str:
        raise Boom("from __str__")


class IterGives(Items):
    """A sequence of 'cat' whose __iter__ raises or returns `outcome`."""

    def __init__(self, outcome: Any) -> None:
        super().__init__(["cat"])
        self.outcome = outcome

    def __iter__(self) -> Any:
        if isinstance(self.outcome, BaseException):
            raise self.outcome
        return self.outcome


CAUSE = ValueError("root")
GETITEM_ERROR, ITER_ERROR = Boom("from __getitem__"), Boom("from __iter__")
# name -> (sequence, what is raised): that very error; an error of that type;
# or the TypeError renamed after the argument, as (message, cause). Any error
# but a TypeError passes unchanged, and so does a subclass of it.
PROTOCOL_FAILURES: dict[str, tuple[Any, Any]] = {
    "getitem-raises": (Items(["cat", "dog"], failing_at(1, GETITEM_ERROR)), GETITEM_ERROR),
    "getitem-type-error": (Items(["cat"], failing_at(0, caused(TypeError("bad item"), CAUSE))),
                           ("argument '{}': bad item", CAUSE)),
    "type-error-whose-text-raises": (Items(["cat"], failing_at(0, TypeError(Unprintable()))), Boom),
    "iter-raises": (IterGives(ITER_ERROR), ITER_ERROR),
    "iter-type-error": (IterGives(TypeError("no iteration")), ("argument '{}': no iteration", None)),
    "iter-non-iterator": (IterGives(5), ("argument '{}': iter() returned non-iterator of type 'int'", None)),
    "next-type-error": (RaisingIteration(caused(TypeError("bad item"), CAUSE), "cat", "dog"),
                        ("argument '{}': bad item", CAUSE)),
    **{f"next-{name}": (RaisingIteration(error, "cat", "dog"), error) for name, error in {
        "raises": Boom("from __next__"), "type-error-subclass": TypeErrorSubclass("sub"),
        "value-error": ValueError("value"), "overflow-error": OverflowError("overflow"),
        "key-error": KeyError("key"), "runtime-error": RuntimeError("runtime"),
        "memory-error": MemoryError()}.items()},
}


@SEQUENCE_TAKERS


class TestSequenceProtocol:
    @pytest.mark.parametrize(("sequence", "expected"), PROTOCOL_FAILURES.values(), ids=PROTOCOL_FAILURES)
    def test_failure(self, solver, take, parameter, sequence, expected):
        with pytest.raises(BaseException) as raised:
            take(solver, sequence)
        if isinstance(expected, BaseException):
            assert raised.value is expected
        elif isinstance(expected, type):
            assert isinstance(raised.value, expected)
        else:
            message, cause = expected
            assert type(raised.value) is TypeError
            assert str(raised.value) == message.format(parameter)
            assert raised.value.__cause__ is cause
        assert_intact(solver)

    @pytest.mark.parametrize(
        "length",
        [Boom("from __len__"), -1, sys.maxsize, 2**100, "three"],
        ids=["raises", "negative", "maxsize", "huge", "not-an-int"],
    )
    def test_len_is_only_a_hint(self, solver, take, parameter, length):
        class Lying(Items):
            def __len__(self) -> Any:
                if isinstance(length, Exception):
                    raise length
                return length

        result = take(solver, Lying(["Listen", "cat"]))
        if take is load_words:
            assert solver.solve("tac") == [["cat"]]
        else:
            assert result == []  # no solution holds "cat"
        assert solver.solve("Listen!", contains_patterns=Lying(["net"])) == [["lis", "net"]]

    def test_sequence_shrinking_while_iterated(self, solver, take, parameter):
        words = ["cat", "act", "dog", "god"]
        shrinking = Items(words, lambda index: words.pop() if index == 1 else None)
        take(solver, shrinking)
        if take is load_words:
            # Items 0 and 1 were read; "god" was removed before item 2.
            assert solver.solve("tca") == [["act"], ["cat"]]
            assert solver.solve("odg") == [["dog"]]

    def test_list_growing_while_iterated(self, solver, take, parameter):
        class Growing(list):
            def __iter__(self) -> Iterator[str]:
                index = 0
                while index < len(self):
                    if len(self) < 1000:
                        self.append(f"x{len(self)}")
                    yield self[index]
                    index += 1

        grows = Growing(["net"])
        result = take(solver, grows)
        assert len(grows) == 1000
        if take is load_words:
            assert solver.solve("ten") == [["net"]]
        else:
            assert result == []  # the added patterns normalise to "x"


class TestCallbacksWhileBorrowed:
    def test_solver_dropped_by_a_callback_lives_until_the_call_returns(self):
        holder = [Solver()]
        holder[0].load_dictionary_from_words(Items(WORDS, lambda index: holder.clear()))
        assert holder == []
        holder.append(Solver())
        holder[0].add_word("net")
        assert holder[0].solve("ten", contains_patterns=Items(["net"], lambda index: holder.clear())) == [["net"]]
        assert holder == []

    def test_solve_inside_solve_is_allowed(self, solver):
        inner: list[Any] = []
        patterns = Items(["net"], lambda index: inner.append(solver.solve("Listen!")))
        assert solver.solve("Listen!", contains_patterns=patterns) == [["lis", "net"]]
        assert inner == [LISTEN, LISTEN]
        assert_intact(solver)


class TestStrSubclasses:
    def test_every_text_parameter_reads_the_characters(self, tmp_path):
        solver = Solver()
        solver.load_dictionary_from_words([Sneaky("listen"), Sneaky("tin"), Sneaky("les")])
        solver.add_word(Sneaky("lens"))
        path = tmp_path / "more.txt"
        path.write_text("silent\nit\n")
        solver.load_dictionary_from_path(Sneaky(str(path)))
        assert solver.solve(Sneaky("Listen!")) == [["listen"], ["silent"], ["les", "tin"], ["it", "lens"]]
        assert solver.solve(
            Sneaky("Listen"),
            must_start_with=Sneaky("l"),
            can_only_ever_start_with=Sneaky("lt"),
            must_not_start_with=Sneaky("s"),
            contains_patterns=[Sneaky("es")],
        ) == [["les", "tin"]]


SURROGATE_CALLS = {
    "phrase": lambda s, t: s.solve(t),
    "must_start_with": lambda s, t: s.solve("listen", must_start_with=t),
    "can_only_ever_start_with": lambda s, t: s.solve("listen", can_only_ever_start_with=t),
    "must_not_start_with": lambda s, t: s.solve("listen", must_not_start_with=t),
    "contains_patterns": lambda s, t: s.solve("listen", contains_patterns=["lis", t]),
    "words": lambda s, t: s.load_dictionary_from_words(["cat", t]),
    "words-tuple": lambda s, t: s.load_dictionary_from_words((t,)),
    "word": lambda s, t: s.add_word(t),
    "path": lambda s, t: s.load_dictionary_from_path(t),
}


class TestLoneSurrogates:
    @pytest.mark.parametrize("call", SURROGATE_CALLS.values(), ids=SURROGATE_CALLS.keys())
    @pytest.mark.parametrize(
        "text",
        ["\ud800", "cat\udfff", "ca\ud83dt", "words\udcff.txt", "\ud83d\ude00", Sneaky("\udc80")],
        ids=["high", "low-after-text", "high-within-text", "low-within-text", "unpaired-pair", "in-subclass"],
    )
    def test_unicode_encode_error_and_nothing_changes(self, solver, call, text):
        with pytest.raises(UnicodeEncodeError) as expected:
            str.encode(text, "utf-8")
        with pytest.raises(UnicodeEncodeError) as raised:
            call(solver, text)
        # The codec's own error, not renamed after the argument.
        assert type(raised.value) is UnicodeEncodeError
        assert str(raised.value) == str(expected.value)
        assert_intact(solver)

    def test_paired_surrogates_as_one_character_are_fine(self, solver):
        assert solver.solve("Listen \U0001f600") == LISTEN
        assert solver.solve("Listen", must_start_with="\U0001f600") == []


# name -> (the phrase and constraints, made when the test runs; result).
LARGE_SOLVES: dict[str, tuple[Callable[[], tuple[str, dict[str, Any]]], list[list[str]]]] = {
    "punctuation-phrase": (lambda: (" ,.!?-" * (10_000_000 // 6) + "Listen", {}), LISTEN),
    "no-word-fits": (lambda: ("x" * 10_000_000, {}), []),
    "leftover-letters": (lambda: ("Listen" + "z" * 10_000_000, {}), []),
    "accent-at-the-end": (lambda: ("Listen" + " " * 10_000_000 + "\u00e9", {}), []),
    "start-letter-sets": (lambda: ("Listen!", {"can_only_ever_start_with": "lse" * 3_333_334,
                                               "must_not_start_with": "x" * 10_000_000}), LISTEN[:3]),
    "must-start-with": (lambda: ("Listen!", {"must_start_with": "l" * 10_000_000}), []),
    "patterns-one-repeated": (lambda: ("Listen!", {"contains_patterns": ["net"] * 100_000}), [["lis", "net"]]),
    "patterns-unsatisfiable": (lambda: ("Listen!", {"contains_patterns": [f"q{i}" for i in range(100_000)]}), []),
    "patterns-all-dropped": (lambda: ("Listen!", {"contains_patterns": ["!", "42", ""] * 33_334}), LISTEN),
    "patterns-all-in-listen": (
        lambda: ("Listen!", {"contains_patterns": ["l", "is", "ste", "list", "ten", "n"] * 16_667}), [["listen"]]),
}


class TestLargeInputs:
    # Ten-megabyte phrases and start letter texts, a hundred thousand patterns.
    @pytest.mark.parametrize(("make", "expected"), LARGE_SOLVES.values(), ids=LARGE_SOLVES)
    def test_solve(self, solver, make, expected):
        phrase, constraints = make()
        assert solver.solve(phrase, **constraints) == expected

    def test_hundred_thousand_letters_one_word_each(self):
        solver = Solver()
        solver.add_word("a")
        (solution,) = solver.solve("a" * 100_000)
        assert len(solution) == 100_000 and set(solution) == {"a"}

    def test_fifty_megabyte_dictionary_of_one_line(self, solver, tmp_path):
        filler = "-" * ((50_000_000 - 6) // 5)
        path = tmp_path / "one-line.txt"
        path.write_text(filler.join("CATDOG"))
        assert path.stat().st_size >= 49_000_000
        solver.load_dictionary_from_path(str(path))
        assert solver.solve("dog cat") == [["catdog"]]
        assert_intact(solver)

    def test_million_letter_word(self, solver, tmp_path):
        path = tmp_path / "long-word.txt"
        path.write_text("ab" * 500_000 + "\r\ncab\n")
        solver.load_dictionary_from_path(str(path))
        assert solver.solve("bac") == [["cab"]]
        assert solver.solve("ba" * 500_000) == [["ab" * 500_000]]


class TestLargeResults:
    def test_thousands_of_solutions_sharing_words(self):
        letters = "abcdefg"
        solver = Solver()
        solver.load_dictionary_from_words([a + b for a in letters for b in letters] + list(letters))
        result = solver.solve(letters)
        # Partitions of seven letters into single letters and ordered pairs.
        assert len(result) == 1 + 21 * 2 + 35 * 3 * 4 + 7 * 15 * 8
        assert len({tuple(solution) for solution in result}) == len(result)
        assert result == sorted(result, key=lambda words: (len(words), -min(map(len, words)), words))
        for solution in result:
            assert sorted("".join(solution)) == list(letters) and solution == sorted(solution)
        result[0].append("mutated")
        assert solver.solve(letters) == [result[0][:-1], *result[1:]]


class TestDictionaryFiles:
    # The other malformed forms, and read errors such as a directory or a NUL
    # in the path, are in test_dictionary.py; every byte value at once is here.
    def test_binary_file_is_refused_whole(self, solver, tmp_path):
        path = tmp_path / "binary.bin"
        path.write_bytes(bytes(range(256)))
        with pytest.raises(OSError) as raised:
            solver.load_dictionary_from_path(str(path))
        assert str(raised.value) == "Failed to read dictionary: stream did not contain valid UTF-8"
        assert raised.value.errno is None
        assert_intact(solver)

    def test_control_characters_and_nul_are_text(self, solver, tmp_path):
        path = tmp_path / "controls.txt"
        path.write_bytes(b"\xef\xbb\xbfc\x00a\x01t\r\n\x7fd\x1bog\rgod\n\n\r\n")
        solver.load_dictionary_from_path(str(path))
        assert solver.solve("tac") == [["cat"]]
        assert solver.solve("doggod") == [["doggod"]]


class TestObjectProtocol:
    @pytest.mark.parametrize("method", ["load_dictionary_from_words", "load_dictionary_from_path", "add_word", "solve"])
    def test_method_called_on_another_object(self, method):
        with pytest.raises(TypeError, match="doesn't apply to a 'str' object"):
            getattr(Solver, method)("not a solver", "x")


# Any value at all, in any argument position: the module must answer with a
# result or with one of its documented errors, never crash.
ANY_VALUE = st.recursive(
    st.none()
    | st.booleans()
    | st.integers(min_value=-(2**70), max_value=2**70)
    | st.floats()
    | st.text(max_size=8)
    | st.sampled_from(["", "Listen", "\ud800", "l", "net", "\x00"])
    | st.binary(max_size=4)
    | st.builds(Number, st.sampled_from([lambda: 3, lambda: -1, lambda: 2.5, lambda: "x"])),
    lambda inner: st.lists(inner, max_size=3) | st.tuples(inner) | st.frozensets(st.text(max_size=2), max_size=2),
    max_leaves=6,
)
DOCUMENTED_ERRORS = (TypeError, OverflowError, UnicodeEncodeError, RuntimeError, OSError)


class TestArbitraryArguments:
    @settings(max_examples=300)
    @given(
        positional=st.lists(ANY_VALUE, max_size=10),
        keywords=st.dictionaries(st.sampled_from([*SOLVE_PARAMETERS, "limit", "words"]), ANY_VALUE, max_size=3),
    )
    def test_solve(self, positional, keywords):
        solver = Solver()
        solver.load_dictionary_from_words(WORDS)
        try:
            result = solver.solve(*positional, **keywords)
        except DOCUMENTED_ERRORS:
            assert_intact(solver)
            return
        assert isinstance(result, list)
        phrase = positional[0] if positional else keywords["phrase"]
        for solution in result:
            assert all(type(word) is str and word in WORDS for word in solution)
            assert letters_of("".join(solution)) == letters_of(phrase)
        assert_intact(solver)

    @settings(max_examples=200)
    @given(
        method=st.sampled_from(["load_dictionary_from_words", "add_word", "load_dictionary_from_path"]),
        positional=st.lists(ANY_VALUE, max_size=3),
        keywords=st.dictionaries(st.sampled_from(["words", "word", "path", "phrase"]), ANY_VALUE, max_size=2),
    )
    def test_dictionary_methods(self, method, positional, keywords):
        solver = Solver()
        try:
            getattr(solver, method)(*positional, **keywords)
        except DOCUMENTED_ERRORS:
            pass
        solver.load_dictionary_from_words(WORDS)
        assert all(solution in solver.solve("Listen!") for solution in LISTEN)


def letters_of(text: str) -> list[str]:
    return sorted(c for c in text.lower() if "a" <= c <= "z")


class TestThreads:
    def test_one_solver_shared_by_threads(self):
        solver = Solver()
        solver.load_dictionary_from_words(WORDS)
        added: set[str] = set()
        refused: set[str] = set()
        refusals: list[str] = []
        unexpected: list[BaseException] = []
        phrases = ["Listen!", "tin net", "silent lis"]

        def yielding(items: list[str]) -> Items:
            # time.sleep(0) hands the interpreter lock to another thread in
            # the middle of a conversion, so calls overlap.
            return Items(items, lambda index: time.sleep(0))

        def work(thread: int) -> None:
            try:
                for round_ in range(150):
                    word = "q" + chr(97 + thread) + chr(97 + round_ // 26) + chr(97 + round_ % 26)
                    try:
                        if round_ % 3 == 0:
                            solver.load_dictionary_from_words(yielding([word, "tin"]))
                        elif round_ % 3 == 1:
                            solver.add_word(word)
                        else:
                            phrase = phrases[round_ % len(phrases)]
                            for solution in solver.solve(phrase, contains_patterns=yielding(["n"])):
                                assert letters_of("".join(solution)) == letters_of(phrase)
                                assert any("n" in word for word in solution)
                                assert set(solution) <= set(WORDS)
                            continue
                        added.add(word)
                    except RuntimeError as error:
                        refusals.append(str(error))
                        refused.add(word)
            except BaseException as error:  # noqa: BLE001 - reported below
                unexpected.append(error)

        previous = sys.getswitchinterval()
        sys.setswitchinterval(1e-6)
        try:
            threads = [threading.Thread(target=work, args=(n,)) for n in range(4)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
        finally:
            sys.setswitchinterval(previous)

        assert unexpected == []
        assert refusals, "no call ever overlapped another"
        assert set(refusals) <= {"Already borrowed", "Already mutably borrowed"}
        for word in added:
            assert [word] in solver.solve(word, max_words=1)
        for word in refused:
            assert [word] not in solver.solve(word, max_words=1)
        assert solver.solve("Listen!") == LISTEN


class TestTraceFileIsAFifo:
    """A named pipe where the trace file goes: opening it for writing must
    not wait for a reader, which would hang the solve and the interpreter
    (the interpreter lock is held) for good."""

    SCRIPT = """
import os
os.environ["ANAGRAM_DEBUG_LOG"] = "1"
from vorpalyx.core import Solver
solver = Solver()
solver.add_word("cat")
print(solver.solve("tac"))
"""

    def run_in(self, directory: Path) -> subprocess.CompletedProcess[str]:
        return subprocess.run(
            [sys.executable, "-c", self.SCRIPT],
            cwd=directory,
            capture_output=True,
            text=True,
            timeout=30,
            check=False,
        )

    def test_without_a_reader_the_solve_goes_on_untraced(self, tmp_path):
        os.mkfifo(tmp_path / "anagram_solver_debug.log")
        done = self.run_in(tmp_path)
        assert done.returncode == 0, done.stderr
        assert done.stdout == "[['cat']]\n"
        assert done.stderr == (
            "Failed to create log file anagram_solver_debug.log: "
            f"{os.strerror(errno.ENXIO)} (os error {errno.ENXIO})\n"
        )

    def test_with_a_reader_the_trace_flows_through(self, tmp_path):
        fifo = tmp_path / "anagram_solver_debug.log"
        os.mkfifo(fifo)
        reader = subprocess.Popen(["cat", str(fifo)], stdout=subprocess.PIPE, text=True)
        try:
            time.sleep(0.2)  # let cat open its end first
            done = self.run_in(tmp_path)
            trace, _ = reader.communicate(timeout=30)
        finally:
            reader.kill()
        assert done.returncode == 0, done.stderr
        assert done.stdout == "[['cat']]\n" and done.stderr == ""
        assert trace.startswith("--- Solving for phrase: 'tac' ---\nConstraints: ")
        assert trace.endswith("--- Solve function finished ---\n")
