"""The Lexicon's own constraints (word lengths and counts, whole words in and
out, distinct words, blanks, leftover letters): against a brute force, and
their refusals."""

from __future__ import annotations

import ctypes
import subprocess
import sys
import textwrap
import time
from typing import Any

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import brute_force
from vorpalyx import Lexicon
from search_problems import CONSTRAINTS, problems, run_with_a_gigabyte_to_spare

UNDER_ASAN = hasattr(ctypes.CDLL(None), "__asan_init")


def extended_constraints(dictionary: list[str]) -> st.SearchStrategy[dict[str, Any]]:
    words = st.sampled_from([*dictionary, "cab", "zz"])
    return st.fixed_dictionaries(
        {},
        optional={
            "max_word_length": st.integers(1, 4),
            "min_words": st.integers(0, 4),
            "lengths": st.lists(st.integers(1, 4), min_size=1, max_size=3),
            "include": st.lists(words, max_size=2),
            "exclude": st.lists(words, max_size=2),
            "distinct": st.booleans(),
            "leftover": st.integers(0, 2),
        },
    )


@st.composite
def extended_problems(draw: st.DrawFn) -> tuple[list[str], str, dict[str, Any]]:
    dictionary, phrase, constraints = draw(problems(tuple(CONSTRAINTS)))
    phrase += "?" * draw(st.sampled_from([0, 0, 1, 2]))
    return dictionary, phrase, {**constraints, **draw(extended_constraints(dictionary))}


def details(lexicon: Lexicon, phrase: str, **constraints: Any) -> list[tuple[list[str], str, str]]:
    result = lexicon.search(phrase, **constraints)
    return [tuple(result.details(i)) for i in range(len(result))]  # type: ignore[misc]


class TestAgainstBruteForce:
    @settings(max_examples=300, deadline=None)
    @given(extended_problems(), st.sampled_from([1, None]))
    def test_random_problems(self, problem: tuple[list[str], str, dict[str, Any]],
                             threads: int | None) -> None:
        words, phrase, constraints = problem
        expected = brute_force.solve_extended(words, phrase, **constraints)
        # The brute force reads words as Solver does, without folding.
        lexicon = Lexicon.from_words(words, fold=False)
        constraints = {**constraints, "fold": False}
        assert details(lexicon, phrase, threads=threads, **constraints) == [
            (list(w), b, l) for w, b, l in expected
        ]
        assert lexicon.count(phrase, **constraints) == len(expected)
        # Every word weighs the same, so best keeps the result order.
        best = lexicon.best(phrase, len(expected) + 1, weights={}, **constraints)
        assert [(r.words, r.blanks, r.leftover) for r in best] == expected

    @pytest.mark.parametrize(
        "phrase, constraints, expected",
        [
            # Words of one length alphabetically, the list by the sequence.
            ("abcab", {"lengths": [1, 3, 1]}, [["a", "abc", "b"], ["a", "bab", "c"], ["a", "bac", "b"], ["b", "aab", "c"]]),
            # Included words count toward every limit and appear as often as listed.
            ("aabbc", {"include": ["ab", "ab"]}, [["ab", "ab", "c"]]),
            ("aabbc", {"include": ["ab"], "max_words": 2}, [["ab", "abc"], ["ab", "bac"]]),
            # A blank may stand in for a letter of an included word.
            ("a?", {"include": ["b"]}, [["a", "b"]]),
            # Two blanks that become "ab" or "ba" are one solution; a blank
            # may be any letter.
            ("c??", {"lengths": [3]}, [["abc"], ["bac"]]),
            ("o?o", {}, [["zoo"]]),
            # Interchangeable words, each once.
            ("aabb", {"distinct": True, "max_words": 2}, [["ab", "ba"], ["a", "bab"], ["aab", "b"]]),
            # An included word is not taken again.
            ("abab", {"include": ["ab"], "distinct": True}, [["ab", "ba"], ["a", "ab", "b"]]),
        ],
    )
    def test_examples(self, phrase: str, constraints: dict[str, Any],
                      expected: list[list[str]]) -> None:
        lexicon = Lexicon.from_words(["a", "b", "c", "ab", "ba", "abc", "bac", "aab", "bab", "zoo"])
        assert list(lexicon.search(phrase, **constraints)) == expected
        # Every word weighs the same, so best keeps the result order.
        best = lexicon.best(phrase, len(expected) + 1, weights={}, **constraints)
        assert [solution.words for solution in best] == expected


class TestRefusals:
    @pytest.mark.parametrize(
        "constraints, error, message",
        [
            ({"lengths": [3, -1]}, ValueError, "search() argument 'lengths' must be at least 1, not -1"),
            ({"lengths": [3, 0]}, ValueError, "search() argument 'lengths' must be at least 1, not 0"),
            ({"lengths": [2.5]}, TypeError, "search() argument 'lengths' must hold only int, not float"),
            ({"lengths": []}, ValueError, "search() argument 'lengths' must hold at least one length"),
            ({"lengths": "54"}, TypeError, "search() argument 'lengths' must be an iterable of int, not str"),
            ({"include": ["-"]}, ValueError, "search() argument 'include' holds a word without letters: '-'"),
            ({"include": "ab"}, TypeError, "search() argument 'include' must be an iterable of str, not str"),
            ({"distinct": 1}, TypeError, "search() argument 'distinct' must be bool, not int"),
            ({"max_word_length": 0}, ValueError, "search() argument 'max_word_length' must be at least 1, not 0"),
            ({"leftover": -1}, ValueError, "search() argument 'leftover' must be at least 0, not -1"),
        ],
    )
    def test_arguments(self, constraints: dict[str, Any], error: type, message: str) -> None:
        with pytest.raises(error) as raised:
            Lexicon.from_words(["ab"]).search("ab", **constraints)
        assert str(raised.value) == message

    def test_at_most_three_blanks(self) -> None:
        with pytest.raises(ValueError) as raised:
            Lexicon.from_words(["ab"]).count("a????")
        assert str(raised.value) == "count() argument 'phrase' has 4 blanks ('?'); at most 3 are allowed"

    def test_too_many_ways_to_leave_letters(self) -> None:
        with pytest.raises(ValueError, match="more than 100000 sets of letters"):
            Lexicon.from_words(["ab"]).count("abcdefghijklmnopqrstuvwxyz" * 2 + "??", leftover=40)

    @pytest.mark.parametrize(
        "constraints",
        [{"lengths": [2, 2]}, {"include": ["ba"]}, {"include": ["ab", "ab"]}, {"include": ["zz"]}],
    )
    def test_impossible_asks_give_nothing(self, constraints: dict[str, Any]) -> None:
        assert list(Lexicon.from_words(["ab", "zz"]).search("ab", **constraints)) == []



@pytest.mark.parametrize(
    "constraints",
    [{"include": ["a"]}, {"lengths": [4, 4, 4, 4, 4, 4, 4, 4, 1]}, {"leftover": 1},
     {"order": "score"}, {"include": ["a"], "order": "score"}],
)
def test_the_time_limit_bounds_a_composed_search(constraints: dict[str, Any]) -> None:
    # Merging and reordering come after the searches; the limit leaves room
    # for them. The bound asserted is loose, for loaded machines.
    lexicon = Lexicon.english()
    lexicon.best("a", 1)  # reads the bundled weights outside the timing
    start = time.perf_counter()
    result = lexicon.search("william shakespeare and francis bacon", timeout_seconds=0.5,
                            **constraints)
    elapsed = time.perf_counter() - start
    assert len(result) > 0
    if not UNDER_ASAN:
        assert elapsed < 1.5 * 0.5 + 0.1


@pytest.mark.skipif(UNDER_ASAN, reason="AddressSanitizer needs an unlimited address space")
def test_a_merged_result_too_large_for_memory_raises_and_the_process_goes_on() -> None:
    # Each search of a blank or of leftover letters fits; merging their
    # 14,190,296 and 11,641,885 solutions does not.
    messages, after = run_with_a_gigabyte_to_spare(
        "lambda: lexicon.search(letters[:10] + '?', threads=1), "
        "lambda: lexicon.search(letters[:12], leftover=1, order='score')",
        "len(lexicon.search(letters[:6] + '?')), lexicon.count(letters[:6] + '?')")
    assert [message.split(":")[0] for message in messages] == [
        "the search stopped after 14,190,296 solutions", "the search stopped after 11,641,885 solutions"]
    assert after == "30212 30212"


def test_a_long_exclusion_list_is_not_copied_for_each_blank() -> None:
    # 8,827 ways to fill the blanks and leave a letter, each a search of its
    # own: one copy of 400,000 excluded words apiece ran for minutes, so the
    # child's timeout is the failure here, not a measure of speed.
    script = textwrap.dedent("""\
        import string
        from vorpalyx import Lexicon
        letters = string.ascii_lowercase
        lexicon = Lexicon.from_words([*letters, "ab", "ba"])
        filler = ["q" * 15 + "".join(letters[i // 26 ** k % 26] for k in range(4))
                  for i in range(400_000)]
        for call in (
                lambda exclude: lexicon.search(letters + "??", leftover=1, exclude=exclude),
                lambda exclude: lexicon.search(letters + "??", leftover=1, exclude=exclude,
                                               timeout_seconds=1e6),
                lambda exclude: lexicon.best(letters + "??", 20, leftover=1, exclude=exclude)):
            found = list(call(["ba", *filler]))
            print(len(found), found == list(call(["ba"])))
        """)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    assert done.stdout == "17029 True\n17029 True\n20 True\n"
