"""vorpalyx.Lexicon and vorpalyx.Anagrams: the same answers as Solver.solve
for the same words, loading as Solver loads, argument errors, hostile
inputs, threads and Ctrl-C."""

from __future__ import annotations

import codecs
import collections.abc
import copy
import gc
import gzip
import inspect
import io
import json
import math
import os
import pathlib
import pickle
import select
import signal
import subprocess
import sys
import tempfile
import textwrap
import threading
from functools import partial
from typing import Any

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import brute_force
from vorpalyx import Anagrams, Lexicon, Solver, default_dictionary_path

from dictionary_cases import (
    CAT_AND_DOG_FILES,
    CAT_AND_DOG_SEQUENCES,
    EVERY_SCALAR_VALUE,
    NOT_UTF8_FILES,
    ONE_WORD_LINES,
    STORED_FORMS,
)
from hostile import Boom, Floating, Index, PathLike, RaisingIteration
from search_problems import (
    CONSTRAINTS,
    LISTEN_SOLUTIONS,
    LISTEN_WORDS,
    LONG_SEARCH,
    SHORT_WORDS,
    problems,
    solver_with,
)
from test_trace import FILE_CASES

THREADS = pytest.mark.parametrize("threads", [1, None])
METHODS = pytest.mark.parametrize("method", ["search", "count"])
ENGINE_CALLS = pytest.mark.parametrize("method", ["search", "count", "best"])

# Slices of every kind: open, clipped, empty, reversed, stepped past the end.
SLICES = [
    slice(None), slice(1, None), slice(None, -1), slice(2, 5), slice(-3, None),
    slice(None, None, -1), slice(None, None, 2), slice(-1, 0, -3), slice(5, 2),
    slice(10**6, None), slice(None, None, 10**18), slice(None, None, -(10**18)),
]


@pytest.fixture
def listen_lexicon() -> Lexicon:
    return Lexicon.from_words(LISTEN_WORDS)


@pytest.fixture
def listen_result(listen_lexicon: Lexicon) -> Anagrams:
    return listen_lexicon.search("Listen!")


@pytest.fixture(scope="module")
def english() -> Lexicon:
    return Lexicon.english()


def assert_same_as_solve(words: Any, phrase: str, constraints: dict[str, Any],
                         threads: int | None) -> None:
    """Without folding, search, count, items and slices agree with solve for
    the same words."""
    expected = solver_with(words).solve(phrase, **constraints)
    lexicon = Lexicon.from_words(words, fold=False)
    result = lexicon.search(phrase, threads=threads, fold=False, **constraints)
    assert type(result) is Anagrams
    assert list(result) == expected
    assert len(result) == lexicon.count(phrase, threads=threads, fold=False, **constraints) == len(expected)
    size = len(expected)
    for index in {0, size // 2, size - 1, -1, -size} if size else ():
        assert result[index] == expected[index]
    for outer in SLICES:
        view = result[outer]
        assert type(view) is Anagrams
        assert list(view) == expected[outer]
        for inner in SLICES if size <= 1000 else SLICES[5:7]:
            assert list(view[inner]) == expected[outer][inner]


DIFFERENTIAL_CASES = {
    "listen": (LISTEN_WORDS, "Listen!", {}),
    "listen-two-words": (LISTEN_WORDS, "Listen, net!", {"max_words": 2, "min_word_length": 3}),
    "listen-starts": (LISTEN_WORDS, "Listen", {"must_start_with": "L", "must_not_start_with": "e"}),
    "no-letters": (LISTEN_WORDS, " ?! 42", {}),
    "non-ascii-letter": (LISTEN_WORDS, "Listen \u00e9", {}),
    "empty-lexicon": ([], "listen", {}),
    "one-word-many-times": (["a"], "a" * 300, {}),
    **{name: (words, phrase, constraints) for name, (words, phrase, constraints, _) in FILE_CASES.items()},
    "long-search": (SHORT_WORDS, LONG_SEARCH, {}),
    "long-search-limited": (SHORT_WORDS, LONG_SEARCH, {"max_solutions": 1000, "contains_patterns": ["Fe"]}),
}


class TestAgainstSolve:
    @THREADS
    @pytest.mark.parametrize("case", DIFFERENTIAL_CASES)
    def test_examples(self, case: str, threads: int | None) -> None:
        assert_same_as_solve(*DIFFERENTIAL_CASES[case], threads)

    @settings(max_examples=150, deadline=None)
    @given(
        problems(tuple(CONSTRAINTS)),
        st.sampled_from([None, 1000.0, math.nan, math.inf]),
        st.one_of(st.none(), st.integers(0, 12)),
        st.sampled_from([1, None]),
    )
    def test_random_problems_with_every_constraint(
        self, problem: tuple[list[str], str, dict[str, Any]], timeout: float | None,
        limit: int | None, threads: int | None,
    ) -> None:
        words, phrase, constraints = problem
        constraints = {**constraints, "timeout_seconds": timeout, "max_solutions": limit}
        assert_same_as_solve(words, phrase, constraints, threads)

    def test_the_bundled_list_is_the_solvers(self) -> None:
        path = default_dictionary_path()
        assert isinstance(path, str)
        solver = Solver()
        solver.load_dictionary_from_path(path)
        lexicon = Lexicon.english()
        assert len(lexicon) == 77_060
        assert list(lexicon.search("dormitory window", max_words=3)) == solver.solve(
            "dormitory window", max_words=3)
        assert lexicon.count("dormitory window") == 14_981


def lexicon_and_solver(content: bytes, tmp_path: pathlib.Path) -> tuple[Lexicon, Solver]:
    path = tmp_path / "words.txt"
    path.write_bytes(content)
    solver = Solver()
    solver.load_dictionary_from_path(str(path))
    return Lexicon.from_path(path, fold=False), solver


def candidates(texts: list[str]) -> set[str]:
    """Every word that a wrong split or normalisation of `texts` could give."""
    pieces = set(texts)
    for separator in "\n\r ,":
        pieces |= {piece for text in texts for piece in text.split(separator)}
    return {brute_force.normalize(piece) for piece in pieces} - {""}


def assert_same_words(lexicon: Lexicon, solver: Solver, texts: list[str]) -> None:
    held = {word for word in candidates(texts) if [word] in solver.solve(word, max_words=1)}
    assert held
    assert {word for word in candidates(texts) if word in lexicon} == held
    assert len(lexicon) == len(held)
    for word in held:
        assert list(lexicon.search(word, max_words=1)) == solver.solve(word, max_words=1)


# A path as str, bytes, pathlib.Path or any object with __fspath__.
PATH_FORMS = pytest.mark.parametrize(
    "make_path",
    [str, os.fsencode, pathlib.Path, lambda path: type("Place", (), {"__fspath__": lambda _: str(path)})()],
    ids=["str", "bytes", "pathlib", "fspath"],
)


class TestLoading:
    @pytest.mark.parametrize(
        "content",
        [*CAT_AND_DOG_FILES.values(), ONE_WORD_LINES, EVERY_SCALAR_VALUE],
        ids=[*CAT_AND_DOG_FILES, "one-word-lines", "every-scalar-value"],
    )
    def test_a_file_gives_the_solvers_words(self, content: bytes, tmp_path) -> None:
        lexicon, solver = lexicon_and_solver(content, tmp_path)
        assert_same_words(lexicon, solver, [content.decode()])

    @pytest.mark.parametrize("words", CAT_AND_DOG_SEQUENCES.values(), ids=CAT_AND_DOG_SEQUENCES)
    def test_a_sequence_gives_the_solvers_words(self, words: Any) -> None:
        solver = solver_with(words)
        assert_same_words(Lexicon.from_words(words, fold=False), solver, [str(word) for word in words])

    @pytest.mark.parametrize(("word", "stored"), STORED_FORMS)
    def test_each_word_is_stored_normalised(self, word: str, stored: str) -> None:
        lexicon = Lexicon()
        assert lexicon.add_word(word) is None
        assert len(lexicon) == 1
        assert stored in lexicon and stored.upper() in lexicon
        assert list(lexicon.search(stored)) == [[stored]]

    def test_every_way_in_makes_one_union(self, tmp_path) -> None:
        (tmp_path / "words.txt").write_text("cat\n")
        lexicon = Lexicon.from_words(["dog"])
        lexicon.load_path(str(tmp_path / "words.txt"))
        lexicon.load_words(iter(["emu", "Dog"]))
        lexicon.add_word("CAT")
        assert len(lexicon) == 3
        assert list(lexicon.search("tacgodemu")) == [["cat", "dog", "emu"]]

    @PATH_FORMS
    def test_path_forms(self, make_path, tmp_path) -> None:
        (tmp_path / "words.txt").write_bytes(b"cat\r\ndog\n")
        path = make_path(tmp_path / "words.txt")
        assert len(Lexicon.from_path(path)) == 2
        lexicon = Lexicon()
        assert lexicon.load_path(path) is None
        assert "cat" in lexicon and "dog" in lexicon

    @PATH_FORMS
    @pytest.mark.parametrize(
        ("name", "error_type"),
        [("missing.txt", FileNotFoundError), ("", IsADirectoryError), ("file/below", NotADirectoryError)],
        ids=["missing", "directory", "not-a-directory"],
    )
    def test_read_errors_name_the_path(self, make_path, name: str, error_type, tmp_path) -> None:
        (tmp_path / "file").write_text("cat\n")
        path = make_path(tmp_path / name)
        lexicon = Lexicon.from_words(["emu"])
        for load in (Lexicon.from_path, lexicon.load_path):
            with pytest.raises(error_type) as caught:
                load(path)
            assert caught.value.filename == os.fspath(path)
            assert caught.value.errno is not None and caught.value.strerror is not None
        assert len(lexicon) == 1

    @pytest.mark.parametrize("content", NOT_UTF8_FILES)
    def test_not_utf8_names_the_line_and_adds_nothing(self, content: bytes, tmp_path) -> None:
        path = str(tmp_path / "words.txt")
        pathlib.Path(path).write_bytes(content)
        lines = content.split(b"\n")
        number, line = next((n, line) for n, line in enumerate(lines, 1) if not is_utf8(line))
        with pytest.raises(UnicodeDecodeError) as expected:
            line.decode("utf-8")
        lexicon = Lexicon.from_words(["emu"])
        with pytest.raises(UnicodeDecodeError) as caught:
            lexicon.load_path(path)
        error = caught.value
        assert (error.encoding, error.object, error.start, error.end) == (
            "utf-8", line, expected.value.start, expected.value.end)
        assert error.reason == f"{expected.value.reason} (line {number} of {path!r})"
        assert len(lexicon) == 1

    @pytest.mark.parametrize(
        ("call", "message"),
        [
            (lambda: Lexicon.from_words(3), "from_words() argument 'words' must be an iterable of str, not int"),
            (lambda: Lexicon.from_words("cat"), "from_words() argument 'words' must be an iterable of str, not str"),
            (lambda: Lexicon.from_words(b"cat"), "from_words() argument 'words' must be an iterable of str, not bytes"),
            (lambda: Lexicon.from_words(["cat", 3]),
             "from_words() argument 'words' must hold only str, not int (item 1)"),
            (lambda: Lexicon().load_words(None), "load_words() argument 'words' must be an iterable of str, not NoneType"),
            (lambda: Lexicon().load_words([b"cat"]), "load_words() argument 'words' must hold only str, not bytes (item 0)"),
            (lambda: Lexicon().add_word(5), "add_word() argument 'word' must be str, not int"),
            (lambda: Lexicon.from_path(3), "from_path() argument 'path' must be str, bytes or os.PathLike, not int"),
            (lambda: Lexicon().load_path(None),
             "load_path() argument 'path' must be str, bytes or os.PathLike, not NoneType"),
            (lambda: Lexicon(["cat"]), "Lexicon() takes no arguments; load words with Lexicon.from_path, "
             "Lexicon.from_words or the load methods"),
            (lambda: Lexicon.from_words(), "from_words() missing required argument 'words' (pos 1)"),
            (lambda: Lexicon().add_word("a", "b"), "add_word() takes 1 positional argument but 2 were given"),
            (lambda: Lexicon().load_path(name="x"), "load_path() got an unexpected keyword argument 'name'"),
            # A NUL in the path is a ValueError.
            (lambda: Lexicon.from_path("a\0b"), "from_path(): embedded null byte"),
            (lambda: Lexicon().load_path("a\0b"), "load_path(): embedded null byte"),
        ],
    )
    def test_wrong_arguments_name_the_argument(self, call, message: str) -> None:
        error_type = ValueError if message.endswith("embedded null byte") else TypeError
        with pytest.raises(error_type) as caught:
            call()
        assert type(caught.value) is error_type
        assert str(caught.value) == message

    # What a signature says (and so the stub, which stubtest holds to it) is
    # what a call takes: each parameter by keyword or only by position, and
    # keyword-only ones not by position.
    @pytest.mark.parametrize(("method", "values"), [
        ("from_path", {"path": os.devnull, "fold": False}),
        ("from_words", {"words": ["room"], "fold": False}),
        ("load_path", {"path": os.devnull, "fold": False}),
        ("load_words", {"words": ["room"], "fold": False}),
        ("add_word", {"word": "room", "fold": False}),
        ("set_weights", {"weights": None}),
        ("search", {"phrase": "room", "max_words": 1}),
        ("count", {"phrase": "room", "fold": False}),
        ("best", {"phrase": "room", "k": 1, "weights": None}),
        ("details", {"index": 0}),
        ("write", {"file": io.StringIO(), "format": "json"}),
        ("index", {"value": ["room"], "start": 0}),
        ("fold", {"text": "room"}),
    ])
    def test_calls_take_what_the_signature_says(self, method: str, values: dict[str, Any]) -> None:
        import vorpalyx

        lexicon = Lexicon.from_words(["room"])
        owner = {"details": lexicon.search("room"), "write": lexicon.search("room"),
                 "index": lexicon.search("room"), "fold": vorpalyx}.get(method, lexicon)
        call = getattr(owner, method)
        for arguments, keywords in (((), values), (tuple(values.values()), {})):
            try:
                inspect.signature(call).bind(*arguments, **keywords)
                declared = True
            except TypeError:
                declared = False
            try:
                call(*arguments, **keywords)
                taken = True
            except TypeError:
                taken = False
            assert taken == declared, (arguments, keywords, str(inspect.signature(call)))

    def test_len_counts_distinct_stored_words(self) -> None:
        lexicon = Lexicon.from_words(["Room", "room", "r-o-o-m", "", "123", "moor"])
        assert len(lexicon) == 2
        assert repr(lexicon) == "<vorpalyx.Lexicon of 2 words>"
        assert repr(Lexicon.from_words(["a"])) == "<vorpalyx.Lexicon of 1 word>"
        assert len(Lexicon()) == 0

    @pytest.mark.parametrize(
        ("item", "held"),
        [("room", True), ("Room", True), ("R-O-O-M!", True), ("roo", False), ("rooms", False),
         ("", False), ("!", False), ("ro\ud800om", False), (3, False), (None, False),
         (b"room", False), (["room"], False)],
    )
    def test_in_tells_whether_the_stored_form_is_held(self, item: Any, held: bool) -> None:
        assert (item in Lexicon.from_words(["room"])) is held

    def test_class_methods_make_the_subclass(self, tmp_path) -> None:
        class Mine(Lexicon):
            pass

        (tmp_path / "words.txt").write_text("cat\n")
        for lexicon in (Mine.from_words(["cat"]), Mine.from_path(tmp_path / "words.txt"), Mine.english()):
            assert type(lexicon) is Mine and "cat" in lexicon

        # A subclass's own __init__ takes its arguments.
        class Named(Lexicon):
            def __init__(self, name: str = "", *, words: tuple[str, ...] = ()) -> None:
                super().__init__()
                self.name = name
                self.load_words(words)

        named = Named("pets", words=("cat", "dog"))
        assert (named.name, len(named)) == ("pets", 2)
        assert (Named.from_words(["cat"]).name, len(Named())) == ("", 0)
        with pytest.raises(TypeError, match=r"^Lexicon\(\) takes no arguments; "):
            Mine("pets")


def is_utf8(line: bytes) -> bool:
    try:
        line.decode("utf-8")
    except UnicodeDecodeError:
        return False
    return True


class TestSearchArguments:
    @METHODS
    @pytest.mark.parametrize(
        ("arguments", "error_type", "message"),
        [
            (((), {}), TypeError, "{}() missing required argument 'phrase' (pos 1)"),
            ((("x", "a"), {}), TypeError, "{}() takes 1 positional argument but 2 were given"),
            ((("x",), {"limit": 1}), TypeError, "{}() got an unexpected keyword argument 'limit'"),
            ((("x",), {"max_words\x00": 1}), TypeError, "{}() got an unexpected keyword argument 'max_words\x00'"),
            ((("x",), {"\ud800": 1}), TypeError, "{}() got an unexpected keyword argument '\ud800'"),
            ((("x",), {"phrase": "y"}), TypeError, "{}() got multiple values for argument 'phrase'"),
            (((None,), {}), TypeError, "{}() argument 'phrase' must be str, not NoneType"),
            ((("x",), {"must_start_with": 3}), TypeError,
             "{}() argument 'must_start_with' must be str or None, not int"),
            ((("x",), {"must_not_start_with": ["a"]}), TypeError,
             "{}() argument 'must_not_start_with' must be str or None, not list"),
            ((("x",), {"max_words": 1.0}), TypeError, "{}() argument 'max_words' must be int or None, not float"),
            ((("x",), {"timeout_seconds": "1"}), TypeError,
             "{}() argument 'timeout_seconds' must be a number or None, not str"),
            ((("x",), {"contains_patterns": "ab"}), TypeError,
             "{}() argument 'contains_patterns' must be an iterable of str, not str"),
            ((("x",), {"contains_patterns": 3}), TypeError,
             "{}() argument 'contains_patterns' must be an iterable of str, not int"),
            ((("x",), {"contains_patterns": ["a", b"b"]}), TypeError,
             "{}() argument 'contains_patterns' must hold only str, not bytes"),
            ((("x",), {"max_words": -1}), ValueError, "{}() argument 'max_words' must be at least 0, not -1"),
            ((("x",), {"min_word_length": -(10**30)}), ValueError,
             f"{{}}() argument 'min_word_length' must be at least 0, not {-(10**30)}"),
            ((("x",), {"max_solutions": 2**64}), ValueError,
             "{}() argument 'max_solutions' must be at most 18446744073709551615, not 18446744073709551616"),
            ((("x",), {"threads": 0}), ValueError, "{}() argument 'threads' must be at least 1, not 0"),
            ((("x",), {"threads": 2.0}), TypeError, "{}() argument 'threads' must be int or None, not float"),
            # A number that is not: the interpreter's error, unchanged.
            ((("x",), {"max_words": Index("2")}), TypeError, "__index__ returned non-int (type str)"),
            ((("x",), {"threads": Index(2.0)}), TypeError, "__index__ returned non-int (type float)"),
            ((("x",), {"timeout_seconds": Floating("2")}), TypeError,
             "Floating.__float__ returned non-float (type str)"),
        ],
    )
    def test_errors(self, listen_lexicon: Lexicon, method: str, arguments, error_type, message: str) -> None:
        positional, keywords = arguments
        with pytest.raises(error_type) as caught:
            getattr(listen_lexicon, method)(*positional, **keywords)
        assert type(caught.value) is error_type
        assert str(caught.value) == message.format(method)

    @METHODS
    def test_none_is_leaving_out_and_numbers_may_be_index_or_float(self, listen_lexicon: Lexicon,
                                                                    method: str) -> None:
        nones = dict.fromkeys(["must_start_with", "can_only_ever_start_with", "must_not_start_with",
                               "max_words", "min_word_length", "timeout_seconds", "max_solutions",
                               "contains_patterns", "threads"])
        call = getattr(listen_lexicon, method)
        same = (lambda result: list(result)) if method == "search" else (lambda count: count)
        assert same(call("Listen!", **nones)) == same(call("Listen!"))
        numbers = {"max_words": Index(1), "max_solutions": True, "timeout_seconds": Floating(100.0),
                   "threads": Index(4), "min_word_length": Index(0)}
        assert same(call("Listen!", **numbers)) == same(call("Listen!", max_words=1, max_solutions=1))
        assert same(call("Listen!", max_solutions=1)) in ([["enlist"]], 1)


class TestAnagrams:
    def test_a_read_only_sequence(self, listen_result: Anagrams) -> None:
        result = listen_result
        assert isinstance(result, collections.abc.Sequence)
        assert repr(result) == "<vorpalyx.Anagrams of 4 solutions>"
        assert repr(result[:1]) == "<vorpalyx.Anagrams of 1 solution>"
        assert list(reversed(result)) == LISTEN_SOLUTIONS[::-1]
        assert ["lis", "net"] in result and ["net", "lis"] not in result
        assert result.index(["silent"]) == 2 and result.count(["silent"]) == 1 and result.count("x") == 0
        assert result.index(["listen"], -3, -2) == 1 == result.index(["listen"], -2**70, 2**70)
        with pytest.raises(ValueError, match=r"^\['listen'\] is not in Anagrams$"):
            result.index(["listen"], 2)
        with pytest.raises(TypeError):
            result[0] = ["x"]  # type: ignore[index]
        with pytest.raises(TypeError, match="cannot create 'vorpalyx.Anagrams' instances"):
            Anagrams()
        for copier in (copy.copy, copy.deepcopy, *(partial(pickle.dumps, protocol=protocol)
                                                   for protocol in range(pickle.HIGHEST_PROTOCOL + 1))):
            with pytest.raises(TypeError, match="^cannot pickle 'vorpalyx.Anagrams' object$"):
                copier(result)

    @pytest.mark.parametrize(("phrase", "constraints", "partial"), [
        ("dormitory window", {}, False),
        ("dormitory window", {"include": ["window"], "order": "score"}, False),
        ("dormitory window", {"max_solutions": 14_981}, True),
        ("dormitory window", {"include": ["window"], "max_solutions": 1}, True),
        # Cut short by the limit, on machines of any speed.
        ("william shakespeare and francis bacon", {"timeout_seconds": 0.2}, True),
        ("william shakespeare and francis bacon", {"timeout_seconds": 0.2, "order": "score"}, True),
        ("william shakespeare and francis ?", {"timeout_seconds": 0.2}, True),
    ])
    def test_partial_says_whether_a_limit_ended_the_search(
            self, english: Lexicon, phrase: str, constraints: dict[str, Any], partial: bool) -> None:
        result = english.search(phrase, **constraints)
        assert len(result) > 0
        assert result.partial is partial and result[1:].partial is partial

    def test_each_item_is_a_new_list(self, listen_result: Anagrams) -> None:
        result = listen_result
        first = result[3]
        assert first == ["lis", "net"] and first is not result[3]
        first.append("x")
        assert result[3] == ["lis", "net"]
        assert all(type(word) is str for solution in result for word in solution)

    @pytest.mark.parametrize(
        ("key", "error_type", "message"),
        [*((index, IndexError, "Anagrams index out of range") for index in (4, -5, -(2**63))),
         *((index, IndexError, "cannot fit 'int' into an index-sized integer") for index in (2**63, 2**70)),
         (slice(None, None, 0), ValueError, "slice step cannot be zero"),
         ("0", TypeError, "Anagrams indices must be integers or slices, not str")],
    )
    def test_bad_subscripts(self, listen_result: Anagrams, key, error_type, message: str) -> None:
        for view in (listen_result, listen_result[:0]):
            with pytest.raises(error_type) as caught:
                view[key]
            assert type(caught.value) is error_type
            assert str(caught.value) == message

    def test_iteration(self, listen_result: Anagrams) -> None:
        result = listen_result
        iterator = iter(result[::-1])
        assert iter(iterator) is iterator
        assert iterator.__length_hint__() == 4  # type: ignore[attr-defined]
        assert next(iterator) == ["lis", "net"]
        assert iterator.__length_hint__() == 3  # type: ignore[attr-defined]
        assert list(iterator) == LISTEN_SOLUTIONS[2::-1]
        assert list(iterator) == [] and iterator.__length_hint__() == 0  # type: ignore[attr-defined]

    def test_ignores_later_loads_and_outlives_its_lexicon(self, tmp_path) -> None:
        (tmp_path / "words.txt").write_text("tinsel\n")
        lexicon = Lexicon.from_words(LISTEN_WORDS)
        result, view = lexicon.search("Listen!"), lexicon.search("Listen!")[::-2]
        first = result[0]
        lexicon.load_words(["inlets", "lens", "it"])
        lexicon.load_path(tmp_path / "words.txt")
        assert len(lexicon.search("Listen!")) == 7
        del lexicon
        gc.collect()
        assert list(result) == LISTEN_SOLUTIONS and result[0] == first and len(result) == 4
        assert list(view) == LISTEN_SOLUTIONS[::-2]


def run_child(script: str, *arguments: str, timeout: float = 120) -> subprocess.CompletedProcess[str]:
    return subprocess.run([sys.executable, "-c", textwrap.dedent(script), *arguments],
                          capture_output=True, text=True, timeout=timeout)


class TestHostileInputs:
    def test_an_iteration_that_raises_adds_nothing(self) -> None:
        lexicon = Lexicon.from_words(["emu"])
        for error in (Boom("midway"), TypeError("typed")):
            with pytest.raises(type(error)) as caught:
                lexicon.load_words(RaisingIteration(error, "cat", "dog"))
            assert caught.value is error
            with pytest.raises(type(error)):
                Lexicon.from_words(RaisingIteration(error, "cat"))
        with pytest.raises(TypeError):
            lexicon.load_words(["cat", "dog", None])
        with pytest.raises(UnicodeEncodeError):
            lexicon.load_words(["cat", "\ud800"])
        assert len(lexicon) == 1 and "cat" not in lexicon

    @METHODS
    @pytest.mark.parametrize(
        ("name", "make"),
        [("max_words", Index), ("threads", Index), ("timeout_seconds", Floating),
         ("contains_patterns", lambda error: RaisingIteration(error, "a"))],
        ids=["index", "threads-index", "float", "patterns-iteration"],
    )
    def test_a_conversion_that_raises_passes_its_error(self, listen_lexicon: Lexicon, method: str, name: str,
                                                       make) -> None:
        lexicon = listen_lexicon
        for error in (Boom(name), TypeError(name)):
            with pytest.raises(type(error)) as caught:
                getattr(lexicon, method)("Listen!", **{name: make(error)})
            assert caught.value is error
        assert list(lexicon.search("Listen!")) == LISTEN_SOLUTIONS

    # What a path's own __fspath__ raises passes unchanged, a TypeError too;
    # a path that it does not give is refused for the object's type.
    @pytest.mark.parametrize(
        ("call", "name"),
        [(Lexicon.from_path, "from_path() argument 'path'"),
         (lambda path: Lexicon().load_path(path), "load_path() argument 'path'"),
         (lambda path: Lexicon().set_weights(path), "set_weights() argument 'weights'"),
         (lambda path: Lexicon().best("x", weights=path), "best() argument 'weights'")],
        ids=["from_path", "load_path", "set_weights", "best-weights"],
    )
    def test_a_path_that_fails_passes_its_error(self, call, name: str) -> None:
        for error in (Boom("path"), TypeError("path")):
            with pytest.raises(type(error)) as caught:
                call(PathLike(error))
            assert caught.value is error
        for returned in (3, None, bytearray(b"x")):
            with pytest.raises(TypeError) as caught:
                call(PathLike(returned))
            assert str(caught.value) == (f"{name} must be str, bytes or os.PathLike, "
                                         f"not {PathLike.__module__}.{PathLike.__qualname__}")

    # Each callback changes or reads the lexicon while its arguments are
    # converted; a conversion inside the lexicon's lock would wait forever,
    # so each runs in a child process with a time limit.
    @pytest.mark.parametrize(
        "scenario",
        [
            """
            def words():
                yield "cat"
                lexicon.add_word("dog")
                lexicon.load_words(["emu"])
                yield "tac"
            lexicon.load_words(words())
            """,
            """
            class Grows:
                def __index__(self):
                    lexicon.add_word("dog")
                    return 3
            assert list(lexicon.search("god", max_words=Grows())) == [["dog"]]
            """,
            """
            def patterns():
                lexicon.load_words(["dog"])
                assert lexicon.count("god") == 1 and "dog" in lexicon
                yield "o"
            assert lexicon.count("god", contains_patterns=patterns()) == 1
            """,
            """
            class Place:
                def __fspath__(self):
                    lexicon.add_word("dog")
                    return path
            open(path, "w").write("emu\\n")
            lexicon.load_path(Place())
            """,
        ],
        ids=["words-generator", "index", "patterns-generator", "fspath"],
    )
    def test_callbacks_that_use_the_lexicon(self, scenario: str, tmp_path) -> None:
        script = "import sys\nfrom vorpalyx import Lexicon\nlexicon = Lexicon()\npath = sys.argv[1]\n"
        script += textwrap.dedent(scenario) + "print(len(lexicon), 'dog' in lexicon)\n"
        completed = run_child(script, str(tmp_path / "words.txt"), timeout=60)
        assert completed.returncode == 0, completed.stderr
        assert completed.stdout.split()[1] == "True"


class TestThreads:
    def test_searches_side_by_side(self) -> None:
        lexicon = Lexicon.from_words(SHORT_WORDS)
        solver = solver_with(SHORT_WORDS)
        phrases = [LONG_SEARCH, "fedcbaab", "abcdeffa", LONG_SEARCH]
        expected = {phrase: solver.solve(phrase) for phrase in phrases}
        barrier = threading.Barrier(len(phrases))
        failures: list[str] = []

        def search(phrase: str, threads: int | None) -> None:
            barrier.wait()
            for _ in range(3):
                if list(lexicon.search(phrase, threads=threads)) != expected[phrase]:
                    failures.append(phrase)
                if lexicon.count(phrase, threads=threads) != len(expected[phrase]):
                    failures.append(f"count {phrase}")

        workers = [threading.Thread(target=search, args=(phrase, [1, None][n % 2]))
                   for n, phrase in enumerate(phrases)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        assert failures == []

    def test_loads_while_searching_give_a_state_that_was(self, tmp_path) -> None:
        # The lexicon grows batch by batch; every search in between must give
        # the solve of the words loaded so far, and never a smaller one later.
        phrase = "abcdeff"
        batches = [SHORT_WORDS[start::7] for start in range(7)]
        solver = Solver()
        states = []
        for batch in batches:
            solver.load_dictionary_from_words(batch)
            states.append(solver.solve(phrase))
        assert len({len(state) for state in states}) == len(states)
        lexicon = Lexicon.from_words(batches[0])
        loaded = threading.Event()
        seen: list[list[int]] = []

        def load() -> None:
            for number, batch in enumerate(batches[1:]):
                if number % 2:
                    lexicon.load_words(batch)
                else:
                    path = tmp_path / f"batch{number}.txt"
                    path.write_text("\n".join(batch))
                    lexicon.load_path(path)
            loaded.set()

        def state_seen(threads: int | None) -> list[int]:
            """The states that a search and a count saw, by number (-1: none)."""
            result = list(lexicon.search(phrase, threads=threads))
            count = lexicon.count(phrase, threads=threads)
            return [states.index(result) if result in states else -1,
                    next((n for n, state in enumerate(states) if len(state) == count), -1)]

        def search(threads: int | None) -> None:
            found: list[int] = []
            while not loaded.is_set():
                found += state_seen(threads)
            seen.append(found + state_seen(threads))

        workers = [threading.Thread(target=search, args=(threads,)) for threads in (1, None, 1)]
        workers.append(threading.Thread(target=load))
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        assert len(seen) == 3
        for found in seen:
            assert -1 not in found
            assert found == sorted(found)
            assert found[-1] == len(states) - 1
        assert len(lexicon) == len(set(SHORT_WORDS))


# A search and a count that run for many minutes over the bundled list, so
# that only an interrupt ends them (or the parent's time limit, when none
# comes). The child prints where the KeyboardInterrupt came from: the frames
# below the call, none when the engine's poll raised it, or the handler's.
INTERRUPTED_CHILD = """
    import os, signal, sys, threading, traceback
    from vorpalyx import Lexicon

    method, threads, interrupter = sys.argv[1], eval(sys.argv[2]), sys.argv[3]
    # A blank makes one search per letter, shared by two threads.
    blank = sys.argv[4] if len(sys.argv) > 4 else ""
    lexicon = Lexicon.english()
    started = threading.Event()
    counted = []

    class Started:
        # max_words, the last argument converted before the engine runs;
        # nothing after set() lets go of the interpreter lock.
        def __index__(self):
            print("started", flush=True)
            started.set()
            return 100

    def count_then_interrupt():
        started.wait()
        counted.append(sum(1 for _ in range(100_000)))
        signal.raise_signal(signal.SIGINT)

    def load_then_interrupt(signum, frame):
        try:
            lexicon.add_word("zzzzzz")
        except RuntimeError as error:
            print(error)
        print(len(lexicon), "room" in lexicon, lexicon.count("dirty room", max_words=1))
        raise KeyboardInterrupt

    if interrupter == "thread":
        threading.Thread(target=count_then_interrupt).start()
    elif interrupter == "handler":
        signal.signal(signal.SIGINT, load_then_interrupt)
        threading.Timer(0.2, signal.raise_signal, (signal.SIGINT,)).start()
    try:
        # best walks by itself up to k, and with every word alike it prunes
        # nothing but longer solutions.
        extra = {"k": 65536, "weights": {}} if method == "best" else {}
        getattr(lexicon, method)("the quick brown fox jumps over the lazy dog" + blank,
                                 max_words=Started(), threads=threads, **extra)
        print("returned")
    except KeyboardInterrupt as error:
        below = [frame.name for frame in traceback.extract_tb(error.__traceback__)[1:]]
        print("interrupted", counted, below)
    lexicon.add_word("zzzzzz")
    print(len(lexicon), lexicon.count("dormitory window", max_words=3),
          list(lexicon.search("dirty room", max_words=1)))
"""

AFTERWARDS = "77061 37 [['dormitory']]"


class TestInterrupt:
    # From within the process: the other thread can only count while the
    # call runs when the call lets go of the interpreter lock, and its SIGINT
    # then ends the call; a handler may read the lexicon but not load into
    # it, and its KeyboardInterrupt ends the call.
    @ENGINE_CALLS
    @pytest.mark.parametrize(
        ("interrupter", "threads", "expected"),
        [
            ("thread", 1, ["started", "interrupted [100000] []"]),
            ("thread", None, ["started", "interrupted [100000] []"]),
            ("handler", None, [
                "started",
                "add_word() cannot change a Lexicon while this thread searches it (from a signal handler); "
                "change it after the search",
                "77060 True 1",
                "interrupted [] ['load_then_interrupt']",
            ]),
        ],
        ids=["thread-1", "thread-None", "handler"],
    )
    def test_sigint_from_within_stops_the_call(self, method, interrupter, threads, expected) -> None:
        completed = run_child(INTERRUPTED_CHILD, method, repr(threads), interrupter, timeout=60)
        assert completed.returncode == 0, completed.stderr
        assert completed.stdout.splitlines() == [*expected, AFTERWARDS]

    # With a blank each letter is a search of its own, the two threads
    # taking them in turn; only 'b' gives words to start with here, so one
    # long search is left, on either thread, and the caller's poll must go on
    # while the helper runs it.
    @ENGINE_CALLS
    def test_sigint_stops_the_one_long_search_of_a_blank(self, method) -> None:
        completed = run_child("""
            import os, signal, sys, threading
            from vorpalyx import Lexicon
            lexicon = Lexicon.english()
            extra = {"k": 65536, "weights": {}} if sys.argv[1] == "best" else {}
            threading.Timer(0.5, os.kill, (os.getpid(), signal.SIGINT)).start()
            try:
                getattr(lexicon, sys.argv[1])("the quick rown fox jumps over the lazy dog and a ee?",
                                              must_start_with="b", max_words=6, **extra)
                print("returned")
            except KeyboardInterrupt as error:
                print("interrupted", error.__traceback__.tb_next is None)
            """, method, timeout=60)
        assert completed.stdout == "interrupted True\n", completed.stderr

    # A load waits for the searches on the lexicon, which may take minutes;
    # Ctrl-C ends the wait, and the load then changes nothing.
    @pytest.mark.parametrize("load", ["add_word('zzzzzz')", "load_words(['zzzzzz'])"])
    def test_sigint_stops_a_load_waiting_for_a_search(self, load) -> None:
        completed = run_child(f"""
            import os, signal, threading
            from vorpalyx import Lexicon
            lexicon = Lexicon.english()
            threading.Thread(target=lexicon.count, daemon=True,
                             args=("the quick brown fox jumps over the lazy dog",),
                             kwargs={{"threads": 1}}).start()
            threading.Event().wait(0.2)
            threading.Timer(0.2, signal.raise_signal, (signal.SIGINT,)).start()
            try:
                lexicon.{load}
            except KeyboardInterrupt as error:
                print("interrupted", error.__traceback__.tb_next is None, "zzzzzz" in lexicon,
                      flush=True)
            os._exit(0)
            """, timeout=60)
        assert completed.stdout == "interrupted True False\n", completed.stderr

    # A file without end is read until memory runs out (capped here, so that
    # an unpolled read fails fast with MemoryError, but for AddressSanitizer,
    # whose shadow memory needs more) unless Ctrl-C stops it.
    @pytest.mark.parametrize("load", ["Lexicon.from_path", "Lexicon().set_weights"])
    def test_sigint_stops_reading_a_file_without_end(self, load) -> None:
        completed = run_child(f"""
            import ctypes, resource, signal, threading
            from vorpalyx import Lexicon
            if not hasattr(ctypes.CDLL(None), "__asan_init"):
                resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30))
            threading.Timer(0.2, signal.raise_signal, (signal.SIGINT,)).start()
            try:
                {load}("/dev/zero")
            except KeyboardInterrupt as error:
                print("interrupted", error.__traceback__.tb_next is None)
            """, timeout=60)
        assert completed.stdout == "interrupted True\n", completed.stderr

    # Opening a pipe waits for its writer: a signal whose handler returns
    # lets the wait go on, Ctrl-C ends it.
    @pytest.mark.parametrize(("signal_name", "expected"), [
        ("SIGALRM", "[['word']]\n"), ("SIGINT", "interrupted\n")])
    def test_a_signal_while_a_pipe_waits_for_its_writer(self, tmp_path, signal_name, expected) -> None:
        fifo = tmp_path / "words"
        os.mkfifo(fifo)
        completed = run_child(f"""
            import signal, threading
            from vorpalyx import Lexicon
            signal.signal(signal.SIGALRM, lambda *_: None)
            threading.Timer(0.2, signal.pthread_kill,
                            (threading.main_thread().ident, signal.{signal_name})).start()
            def write():
                with open({str(fifo)!r}, "w") as pipe:
                    pipe.write("word\\n")
            writer = threading.Timer(0.6, write)
            writer.daemon = True
            writer.start()
            try:
                print(list(Lexicon.from_path({str(fifo)!r}).search("word")))
            except KeyboardInterrupt:
                print("interrupted")
            """, timeout=60)
        assert completed.stdout == expected, completed.stderr

    @ENGINE_CALLS
    @THREADS
    @pytest.mark.parametrize("blank", ["", "?"])
    def test_sigint_from_another_process(self, method, threads, blank) -> None:
        child = subprocess.Popen(
            [sys.executable, "-c", textwrap.dedent(INTERRUPTED_CHILD), method, repr(threads), "parent",
             blank],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            assert child.stdout is not None
            assert child.stdout.readline() == "started\n"
            # Time for the child to go from printing into the engine.
            threading.Event().wait(0.2)
            os.kill(child.pid, signal.SIGINT)
            out, errors = child.communicate(timeout=60)
        finally:
            child.kill()
            child.wait()
        assert child.returncode == 0, errors
        assert out.splitlines() == ["interrupted [] []", AFTERWARDS]


def formatted(solutions: list[list[str]], format: str) -> str:
    if format == "json":
        return json.dumps(solutions)
    return "".join(" ".join(solution) + "\n" for solution in solutions)


class ShortWriter(io.StringIO):
    """Takes at most `most` characters a call and says so, or says nothing."""

    def __init__(self, most: int | None) -> None:
        super().__init__()
        self.most = most

    def write(self, text: str) -> int | None:  # type: ignore[override]
        taken = text if self.most is None else text[: self.most]
        super().write(taken)
        return None if self.most is None else len(taken)


def read_pipe(read_end: int, into: list[bytes]) -> threading.Thread:
    def read() -> None:
        with open(read_end, "rb") as reader:
            into.append(reader.read())

    reader = threading.Thread(target=read)
    reader.start()
    return reader


@pytest.fixture(scope="module")
def long_result() -> tuple[Anagrams, list[list[str]]]:
    result = Lexicon.from_words(SHORT_WORDS).search(LONG_SEARCH)
    return result, list(result)


# Views of a result that takes several chunks to write, and of small ones.
VIEWS = {"all": slice(None), "every-third-backwards": slice(None, None, -3),
         "one": slice(7, 8), "none": slice(0, 0)}
FORMATS = pytest.mark.parametrize("format", ["text", "json"])


class TestWrite:
    @FORMATS
    @pytest.mark.parametrize("view", VIEWS.values(), ids=VIEWS)
    @pytest.mark.parametrize("target", ["binary-file", "text-file", "utf16-file", "string-io", "bytes-io",
                                        "short-writes", "silent-writes", "pipe", "non-blocking-pipe"])
    def test_writes_the_formatting_of_its_items(self, long_result, format, view, target, tmp_path) -> None:
        result, solutions = long_result
        expected = formatted(solutions[view], format)
        if target.endswith("file"):
            path = tmp_path / "out.txt"
            # A text file in another encoding than UTF-8 is written in its own.
            encoding = "utf-16" if target == "utf16-file" else None
            with open(path, "wb" if target == "binary-file" else "w", encoding=encoding) as file:
                file.write(b"head\n" if target == "binary-file" else "head\n")
                assert result[view].write(file, format) is None
                file.write(b"tail\n" if target == "binary-file" else "tail\n")
            assert path.read_text(encoding=encoding) == "head\n" + expected + "tail\n"
        elif target.endswith("io"):
            file = io.StringIO() if target == "string-io" else io.BytesIO()
            result[view].write(file, format=format)
            assert file.getvalue() == (expected if target == "string-io" else expected.encode())
        elif target.endswith("writes"):
            writer = ShortWriter(1000 if target == "short-writes" else None)
            result[view].write(writer, format)
            assert writer.getvalue() == expected
        else:
            read_end, write_end = os.pipe()
            os.set_blocking(write_end, target == "pipe")
            received: list[bytes] = []
            reader = read_pipe(read_end, received)
            with open(write_end, "wb", buffering=0) as file:
                result[view].write(file, format)
            reader.join()
            assert received == [expected.encode()]

    # A file of open() is written through its descriptor, so its newline
    # translation is not applied, and so are a subclass that keeps its
    # write() and an object with a fileno() that is no file of io (a codecs
    # writer); other files with a fileno() may not pass on what they are
    # given as it is, and get the text through write().
    @FORMATS
    @pytest.mark.parametrize("target", ["crlf-file", "crlf-subclass", "codecs-writer", "gzip-text", "gzip-binary",
                                        "temporary-utf16", "temporary-binary", "spooled-latin1",
                                        "spooled-binary", "text-subclass"])
    def test_which_files_are_written_through_their_descriptor(self, format, target, tmp_path) -> None:
        result = Lexicon.from_words(["écran", "nacre", "crâne", "ce", "ran"]).search("ecran")
        expected = formatted(list(result), format)
        path = tmp_path / "out"
        if target.startswith("crlf"):
            text = io.TextIOWrapper if target == "crlf-file" else type("Text", (io.TextIOWrapper,), {})
            with text(open(path, "wb"), encoding="utf-8", newline="\r\n") as file:
                result.write(file, format)
            assert path.read_bytes() == expected.encode()
        elif target == "codecs-writer":
            with open(path, "wb") as binary:
                result.write(codecs.getwriter("utf-8")(binary), format)
            assert path.read_bytes() == expected.encode()
        elif target.startswith("gzip"):
            with gzip.open(path, "wt" if target == "gzip-text" else "wb") as compressed:
                result.write(compressed, format)
            assert gzip.decompress(path.read_bytes()) == expected.encode()
        elif target == "text-subclass":

            class Shouting(io.TextIOWrapper):
                def write(self, text: str) -> int:
                    return super().write(text.upper())

            with Shouting(open(path, "wb"), encoding="utf-8") as shouting:
                result.write(shouting, format)
            assert path.read_text() == expected.upper()
        else:
            encoding = {"temporary-utf16": "utf-16", "spooled-latin1": "latin-1"}.get(target)
            mode = "w+b" if encoding is None else "w+"
            maker = tempfile.SpooledTemporaryFile if target.startswith("spooled") else tempfile.NamedTemporaryFile
            with maker(mode=mode, encoding=encoding) as temporary:
                temporary.fileno()  # a spooled file has one from now on
                result.write(temporary, format)
                temporary.seek(0)
                assert temporary.read() == (expected if encoding else expected.encode())

    def test_a_writer_that_claims_more_than_it_was_given(self, long_result) -> None:
        result, solutions = long_result

        class Claiming(io.StringIO):
            """Takes one character, then the rest, saying it took far more."""

            def write(self, text: str) -> int:  # type: ignore[override]
                if len(self.getvalue()) % 2 == 0:
                    return super().write(text[:1])
                super().write(text)
                return 10**30

        file = Claiming()
        result.write(file)
        assert file.getvalue() == formatted(solutions, "text")

    def test_errors_of_the_file_pass_and_what_was_written_stays(self, long_result) -> None:
        result, solutions = long_result
        expected = formatted(solutions, "text")

        class Failing(io.StringIO):
            def __init__(self, error: BaseException | None = None, returns: Any = None) -> None:
                super().__init__()
                self.error, self.returns, self.calls = error, returns, 0

            def write(self, text: str) -> Any:  # type: ignore[override]
                self.calls += 1
                if self.calls == 2:
                    if self.error is not None:
                        raise self.error
                    if self.returns == "close":
                        self.close()
                    else:
                        return self.returns
                return super().write(text)

        error = Boom("second chunk")
        file = Failing(error)
        with pytest.raises(Boom) as caught:
            result.write(file)
        assert caught.value is error and file.calls == 2
        assert expected.startswith(file.getvalue()) and 0 < len(file.getvalue()) < len(expected)
        with pytest.raises(OSError, match=r"^write\(\) took none of the output$"):
            result.write(Failing(returns=0))
        with pytest.raises(TypeError):
            result.write(Failing(returns="many"))
        with pytest.raises(ValueError, match=r"^I/O operation on closed file\.?$"):
            result.write(Failing(returns="close"))
        file = io.StringIO()
        file.close()
        with pytest.raises(ValueError, match=r"^I/O operation on closed file\.?$"):
            result.write(file)

        # A raw file's None is a write that would block, not one that took
        # everything: a subclass of FileIO says so on a full non-blocking pipe.
        class Full(io.RawIOBase):
            def writable(self) -> bool:
                return True

            def write(self, data: Any) -> None:
                return None

        read_end, write_end = os.pipe()
        os.set_blocking(write_end, False)
        class Raw(io.FileIO):
            def write(self, data: Any) -> int | None:
                return super().write(data)

        with Raw(write_end, "wb") as raw:
            for file in (Full(), raw):
                with pytest.raises(BlockingIOError, match=r"^write\(\) could not take the output without blocking$"):
                    result.write(file)
        os.close(read_end)
        read_end, write_end = os.pipe()
        os.close(read_end)
        with open(write_end, "wb") as file, pytest.raises(BrokenPipeError):
            result.write(file)

    @pytest.mark.parametrize(
        ("arguments", "error_type", "message"),
        [((io.StringIO(), "xml"), ValueError, "write() argument 'format' must be 'text' or 'json', not 'xml'"),
         ((io.StringIO(), b"json"), ValueError, "write() argument 'format' must be 'text' or 'json', not b'json'"),
         ((io.StringIO(), "json\x00"), ValueError,
          "write() argument 'format' must be 'text' or 'json', not 'json\\x00'"),
         ((io.StringIO(), "text\ud800"), ValueError,
          "write() argument 'format' must be 'text' or 'json', not 'text\\ud800'"),
         ((object(),), AttributeError, "'object' object has no attribute 'write'"),
         ((), TypeError, "write() missing required argument 'file' (pos 1)"),
         ((io.StringIO(), "text", 3), TypeError, "write() takes from 1 to 2 positional arguments but 3 were given")],
    )
    def test_argument_errors(self, listen_result: Anagrams, arguments, error_type, message: str) -> None:
        with pytest.raises(error_type) as caught:
            listen_result.write(*arguments)
        assert str(caught.value) == message

    def test_sigint_stops_a_write_to_a_full_pipe(self) -> None:
        # The parent reads nothing until the child is interrupted, so the
        # child's write waits on a full pipe.
        script = """
            import itertools, sys
            from vorpalyx import Lexicon
            words = ["".join(w) for n in (1, 2, 3) for w in itertools.product("abcdef", repeat=n)]
            result = Lexicon.from_words(words).search("abbccddeef")
            print("writing", file=sys.stderr, flush=True)
            try:
                result.write(sys.stdout)
                print("returned", file=sys.stderr)
            except KeyboardInterrupt:
                print("interrupted", file=sys.stderr)
            result[:2].write(sys.stderr)
        """
        child = subprocess.Popen([sys.executable, "-c", textwrap.dedent(script)],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            assert child.stderr is not None and child.stderr.readline() == b"writing\n"
            threading.Event().wait(0.3)  # time to fill the pipe
            os.kill(child.pid, signal.SIGINT)
            # Reading the output would let the write go on; the interrupt
            # must end it while the pipe is still full.
            assert select.select([child.stderr], [], [], 60)[0], "the write went on"
            assert child.stderr.readline() == b"interrupted\n"
            # Through the same buffered readers: communicate() would skip
            # what readline() has already buffered.
            out = child.stdout.read()
            errors = child.stderr.read()
            child.wait(timeout=60)
        finally:
            child.kill()
            child.wait()
        assert child.returncode == 0, errors
        assert errors == b"ab bc cdd eef\nab bc cdd efe\n"
        assert 0 < len(out) < 3_588_318
        assert out.startswith(b"ab bc cdd eef\n")
