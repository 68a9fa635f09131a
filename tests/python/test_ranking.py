"""Lexicon.best, search(order="score") and set_weights: the k best against
the full result sorted by (score descending, result order) and cut, with the
bundled weights and with random ones; and the inputs they refuse."""

from __future__ import annotations

import ctypes
import math
import pathlib
import random
import re
import subprocess
import sys
from typing import Any

import pytest

import vorpalyx
from search_problems import run_with_a_gigabyte_to_spare
from vorpalyx import Lexicon, Ranked

DATA = pathlib.Path(vorpalyx.__file__).parent / "data"


def bundled_weights() -> dict[str, int]:
    words = (DATA / "english_words.txt").read_text(encoding="utf-8").splitlines()
    weights = (DATA / "english_words_weights.txt").read_text(encoding="ascii").splitlines()
    return dict(zip(words, map(int, weights), strict=True))


def by_score(solutions: list[list[str]], weight_of) -> list[tuple[float, list[str]]]:
    """The reference: every solution scored (in hundredths) and stably sorted."""
    scored = [(sum(weight_of(word) for word in words), words) for words in solutions]
    scored.sort(key=lambda pair: -pair[0])
    return [(score / 100, words) for score, words in scored]


@pytest.fixture(scope="module")
def english() -> Lexicon:
    return Lexicon.english()


@pytest.mark.parametrize(
    ("phrase", "constraints"),
    [("dormitory window", {}), ("clint eastwood", {}), ("william shakespeare", {"max_words": 3}),
     ("dormitory window", {"contains_patterns": ["or"], "must_start_with": "w"}),
     ("dormitory window", {"max_solutions": 500}),
     # Composed searches: the best of what search keeps, not of more.
     ("dormitor? window", {"max_solutions": 500}), ("dormitory window", {"max_solutions": 9, "leftover": 1})],
)
def test_the_named_phrases_with_the_bundled_weights(english: Lexicon, phrase: str, constraints) -> None:
    weights = bundled_weights()
    everything = by_score(list(english.search(phrase, **constraints)), weights.__getitem__)
    for k in (1, 10, 1000):
        assert english.best(phrase, k, **constraints) == [Ranked(*pair) for pair in everything[:k]]
    ordered = english.search(phrase, order="score", **constraints)
    assert list(ordered) == [words for _, words in everything]
    assert ordered.scores() == [score for score, _ in everything]
    assert ordered[::-7].scores() == [score for score, _ in everything][::-7]


def test_the_top_of_dormitory_window(english: Lexicon) -> None:
    assert english.best("dormitory window", 3) == [
        (-10.08, ["dormitory", "window"]),
        (-12.26, ["dirty", "room", "window"]),
        (-12.58, ["dirty", "in", "wormwood"]),
    ]
    assert english.best("Dormitory Window!", k=1)[0].words == ["dormitory", "window"]


@pytest.mark.parametrize("seed", range(40))
def test_random_dictionaries_weights_and_constraints(seed: int) -> None:
    rng = random.Random(seed)
    alphabet = "abcdef"[: rng.randint(2, 6)]
    words = ["".join(rng.choice(alphabet) for _ in range(rng.randint(1, 4))) for _ in range(rng.randint(1, 25))]
    lexicon = Lexicon.from_words(words)
    # Few distinct weights, so that ties are common; some words unnamed.
    weights = {word: -rng.randint(0, 5) * 0.37 for word in words if rng.random() < 0.8}
    phrase = "".join(rng.choice(words) for _ in range(rng.randint(1, 4)))
    constraints: dict[str, Any] = {}
    if rng.random() < 0.3:
        constraints["max_words"] = rng.randint(1, 4)
    if rng.random() < 0.3:
        constraints["min_word_length"] = rng.randint(1, 2)
    if rng.random() < 0.3:
        constraints["must_start_with"] = rng.choice(alphabet)
    if rng.random() < 0.3:
        constraints["can_only_ever_start_with"] = "".join(rng.sample(alphabet, 2))
    if rng.random() < 0.3:
        constraints["must_not_start_with"] = rng.choice(alphabet)
    if rng.random() < 0.3:
        constraints["contains_patterns"] = [rng.choice(alphabet) + rng.choice(alphabet)]
    floor = round(min(weights.values(), default=-8.99) * 100) - 1
    everything = by_score(list(lexicon.search(phrase, **constraints)),
                          lambda word: round(weights[word] * 100) if word in weights else floor)
    for k in (0, 1, 5, len(everything) + 1):
        assert lexicon.best(phrase, k, weights=weights, **constraints) == everything[:k]
    lexicon.set_weights(weights)
    assert lexicon.best(phrase, 3, **constraints) == everything[:3]


def test_without_weights_fewer_words_rank_first() -> None:
    lexicon = Lexicon.from_words(["dirty", "room", "dormitory", "dirt", "roomy", "moor", "i", "d"])
    assert lexicon.best("dormitory", 3) == [(-9.0, ["dormitory"]), (-18.0, ["dirt", "roomy"]),
                                            (-18.0, ["dirty", "moor"])]
    lexicon.set_weights({"moor": -1, "dirty": -1.5, "dormitory": -5})
    assert lexicon.best("dormitory", 1) == [(-2.5, ["dirty", "moor"])]
    # The call's own weights leave the lexicon's as they were.
    assert lexicon.best("dormitory", 1, weights={"room": -0.5, "dirty": -0.5, "dormitory": -3})[0].words == ["dirty", "room"]
    assert lexicon.best("dormitory", 1)[0].words == ["dirty", "moor"]
    lexicon.set_weights(None)
    assert lexicon.best("dormitory", 1) == [(-9.0, ["dormitory"])]


@pytest.mark.parametrize(("content", "expected"), [
    # log10(600/1000) + log10(300/1000), in hundredths: -22 - 52.
    ("room\t300\nDirty\t600\nunheard\t100\n", [(-0.74, ["dirty", "room"]), (-1.01, ["dormitory"])]),
    # Ratios below the smallest normal double, or below any double at all.
    ("room\t5e-324\ndirty\t1e10\n", [(-333.31, ["dirty", "room"]), (-333.32, ["dormitory"])]),
    ("room\t1e-300\ndirty\t1e308\n", [(-608.0, ["dirty", "room"]), (-608.01, ["dormitory"])]),
])
def test_weights_from_a_counts_file(tmp_path, content: str, expected: list[tuple[float, list[str]]]) -> None:
    counts = tmp_path / "counts.tsv"
    counts.write_text(content, encoding="utf-8")
    lexicon = Lexicon.from_words(["dirty", "room", "dormitory"])
    lexicon.set_weights(counts)
    assert lexicon.best("dormitory") == expected
    assert lexicon.best("dormitory", weights=str(counts)) == lexicon.best("dormitory")


@pytest.mark.parametrize(
    ("k", "error_type", "message"),
    [(-1, ValueError, "best() argument 'k' must be at least 0, not -1"),
     (-(10**30), ValueError, f"best() argument 'k' must be at least 0, not {-(10**30)}"),
     (2.0, TypeError, "best() argument 'k' must be int, not float"),
     ("3", TypeError, "best() argument 'k' must be int, not str"),
     (None, TypeError, "best() argument 'k' must be int, not NoneType")],
)
def test_k_refused(k: Any, error_type, message: str) -> None:
    with pytest.raises(error_type) as caught:
        Lexicon.from_words(["a"]).best("a", k)
    assert str(caught.value) == message


def test_k_of_zero_and_huge() -> None:
    lexicon = Lexicon.from_words(["a", "b", "ab", "ba"])
    assert lexicon.best("ab", 0) == []
    assert lexicon.best("ab", k=10**30) == lexicon.best("ab", 2**64 - 1) == lexicon.best("ab", 4)
    assert len(lexicon.best("ab", True)) == 1


# By the walk, by ranking the kept search (max_solutions) and over blanks.
@pytest.mark.parametrize(("phrase", "constraints"),
                         [("dormitory", {}), ("dormitory", {"max_solutions": 50}), ("dormitor?", {})])
def test_a_time_limit_of_nan_never_stops_a_ranking(english: Lexicon, phrase: str, constraints) -> None:
    expected = english.best(phrase, 5, **constraints)
    assert len(expected) == 5
    assert english.best(phrase, 5, timeout_seconds=math.nan, **constraints) == expected


@pytest.mark.skipif(hasattr(ctypes.CDLL(None), "__asan_init"),
                    reason="AddressSanitizer needs an unlimited address space")
def test_a_ranking_too_large_for_memory_raises_and_the_process_goes_on() -> None:
    # 3,609,673 solutions fit as a search's result, but not as Ranked, and
    # 19,674,097 not reordered by score.
    messages, after = run_with_a_gigabyte_to_spare(
        "lambda: lexicon.best(letters[:12], 2**64 - 1), "
        "lambda: lexicon.best(letters[:12], 2**64 - 1, max_solutions=10**9), "
        "lambda: lexicon.best(letters[:11] + '?', 2**64 - 1, threads=1), "
        "lambda: lexicon.search(letters[:13], order='score', threads=1)",
        "len(lexicon.search(letters[:12])), lexicon.best('ab', 2**64 - 1)")
    assert len(messages) == 4
    assert after == ("3609673 [Ranked(score=-9.0, words=['ab']), Ranked(score=-9.0, words=['ba']), "
                     "Ranked(score=-18.0, words=['a', 'b'])]")


@pytest.mark.parametrize(("phrase", "constraints", "first"), [
    # The searches under included words and an enumeration order their ties
    # by their other words; a k that cuts the ties keeps the result order.
    ("abcde", {"include": ["a"]}, ["a", "b", "cde"]),
    ("abcd", {"lengths": [3, 1]}, ["acd", "b"]),
])
def test_k_cutting_ties_keeps_result_order(phrase: str, constraints: dict[str, Any], first: list[str]) -> None:
    lexicon = Lexicon.from_words(["a", "b", "bc", "de", "cde", "acd", "bcd"])
    assert list(lexicon.search(phrase, **constraints))[0] == first
    assert [ranked.words for ranked in lexicon.best(phrase, 1, **constraints)] == [first]


class NotAPath:
    def __fspath__(self) -> Any:
        return 3


@pytest.mark.parametrize(
    ("weights", "error_type", "message"),
    [({"room": math.nan}, ValueError, "the weight of 'room' must be a finite number at most 0 "
                                      "(a base-10 logarithm of a frequency), not nan"),
     ({"room": math.inf}, ValueError, "the weight of 'room' must be a finite number at most 0 "
                                      "(a base-10 logarithm of a frequency), not inf"),
     ({"room": -math.inf}, ValueError, "the weight of 'room' must be a finite number at most 0 "
                                       "(a base-10 logarithm of a frequency), not -inf"),
     ({"room": 0.5}, ValueError, "the weight of 'room' must be a finite number at most 0 "
                                 "(a base-10 logarithm of a frequency), not 0.5"),
     ({"room": -(10**7)}, ValueError, "the weight of 'room' must be at least -1000000, not -10000000"),
     ({"room": 10**400}, ValueError, "the weight of 'room' must be a finite number at most 0 "
                                     f"(a base-10 logarithm of a frequency), not {10**400}"),
     ({"room": -(10**400)}, ValueError, f"the weight of 'room' must be at least -1000000, not {-(10**400)}"),
     ({"room": "-3"}, TypeError, "the weight of 'room' must be a real number, not str"),
     ({3: -1.0}, TypeError, "must have str keys, not int (3)"),
     ({b"room": -1.0}, TypeError, "must have str keys, not bytes (b'room')"),
     (3, TypeError, "must be a mapping of str to float or the path of a word<TAB>count file, not int"),
     (["room"], TypeError, "must be a mapping of str to float or the path of a word<TAB>count file, "
                           "not list"),
     (NotAPath(), TypeError, "argument 'weights' must be str, bytes or os.PathLike, "
                             "not test_ranking.NotAPath")],
)
def test_weights_refused(weights: Any, error_type, message: str) -> None:
    lexicon = Lexicon.from_words(["dirty", "room", "dormitory"])
    lexicon.set_weights({"room": -1})
    for call, name in ((lambda: lexicon.set_weights(weights), "set_weights"),
                       (lambda: lexicon.best("dormitory", weights=weights), "best"),
                       (lambda: lexicon.search("dormitory", order="score", weights=weights), "search")):
        with pytest.raises(error_type) as caught:
            call()
        assert type(caught.value) is error_type
        assert str(caught.value).startswith(f"{name}() ") and str(caught.value).endswith(message)
    assert lexicon.best("dormitory", 2) == [(-1.01, ["dormitory"]), (-2.01, ["dirty", "room"])]


@pytest.mark.parametrize(
    ("content", "message"),
    [(b"room\t3\nroom 4\n", "line 2 of {}: expected word<TAB>count, got 'room 4'"),
     (b"room\t3\n\n42\t3\n", "line 3 of {}: the word '42' has no letters a-z"),
     (b"room\t0\n", "line 1 of {}: the count '0' is not a positive number"),
     (b"room\tnan\r\n", "line 1 of {}: the count 'nan' is not a positive number"),
     (b"room\t1e400\n", "line 1 of {}: the count '1e400' is more than a double holds"),
     # A long line is cut before a character, and a NUL cuts nothing short.
     (("x" + "é" * 25 + "\n").encode(), "line 1 of {}: expected word<TAB>count, got 'x" + "é" * 19 + "...'"),
     (b"ro\x00om 4\n", "line 1 of {}: expected word<TAB>count, got 'ro\x00om 4'")],
)
def test_a_bad_counts_file_names_the_line(content: bytes, message: str, tmp_path) -> None:
    path = tmp_path / "counts.tsv"
    path.write_bytes(content)
    with pytest.raises(ValueError) as caught:
        Lexicon().set_weights(path)
    assert str(caught.value) == "set_weights(): " + message.format(repr(str(path)))


def test_a_counts_file_that_is_missing_or_not_utf8(tmp_path) -> None:
    with pytest.raises(FileNotFoundError):
        Lexicon().set_weights(tmp_path / "missing.tsv")
    (tmp_path / "latin1.tsv").write_bytes(b"room\t3\ncaf\xe9\t2\n")
    with pytest.raises(UnicodeDecodeError, match="line 2"):
        Lexicon().set_weights(tmp_path / "latin1.tsv")


def test_the_floor_is_below_the_lowest_weight_allowed() -> None:
    lexicon = Lexicon.from_words(["dirty", "room", "dormitory"])
    lexicon.set_weights({"room": -1000000, "dirty": -1})
    assert lexicon.best("dormitory", 2) == [(-1000000.01, ["dormitory"]), (-1000001.0, ["dirty", "room"])]


def test_words_outside_the_dictionary_and_keys_without_letters_change_nothing() -> None:
    lexicon = Lexicon.from_words(["dirty", "room", "dormitory"])
    lexicon.set_weights({"room": -1, "dirty": -1})
    plain = lexicon.best("dormitory", 2)
    assert plain == [(-1.01, ["dormitory"]), (-2.0, ["dirty", "room"])]
    lexicon.set_weights({"room": -1, "dirty": -1, "zebra": -0.1, "!!": -0.5, "Room": -3})
    assert lexicon.best("dormitory", 2) == plain


def test_a_mapping_that_changes_while_it_is_read() -> None:
    weights: dict[str, Any] = {}

    class Growing(float):
        def __float__(self) -> float:
            weights.clear()
            weights.update({f"w{i}": -7.0 for i in range(100)})
            return -2.0

    weights.update({"room": Growing(-2.0), "dirty": -1.0})
    lexicon = Lexicon.from_words(["dirty", "room", "dormitory"])
    lexicon.set_weights(weights)
    # Read as it was: the words put in meanwhile would lower the floor.
    assert lexicon.best("dormitory", 2) == [(-2.01, ["dormitory"]), (-3.0, ["dirty", "room"])]


def test_items_that_change_while_they_are_read() -> None:
    # items() may give a list that it keeps, and a weight may empty it.
    pairs: list[tuple[str, Any]] = []

    class Emptying:
        def __float__(self) -> float:
            pairs.clear()
            return -2.0

    class Kept(dict):
        def items(self) -> Any:
            return pairs

    pairs += [("".join(["ro", "om"]), Emptying()), ("dirty", -1.0)]
    lexicon = Lexicon.from_words(["dirty", "room", "dormitory"])
    lexicon.set_weights(Kept())
    assert lexicon.best("dormitory", 2) == [(-2.01, ["dormitory"]), (-3.0, ["dirty", "room"])]


def test_order_refused() -> None:
    with pytest.raises(ValueError) as caught:
        Lexicon.from_words(["a"]).search("a", order="best")
    assert str(caught.value) == "search() argument 'order' must be 'standard' or 'score', not 'best'"
    # Refused for what the call asked, not for what it found.
    for phrase in ("a", "b"):
        with pytest.raises(ValueError, match="scores\\(\\) needs a result in score order"):
            Lexicon.from_words(["a"]).search(phrase).scores()
    assert Lexicon.from_words(["a"]).search("b", order="score").scores() == []


def test_searches_by_score_side_by_side() -> None:
    # In a process of its own: the first rankings of a process read the
    # bundled weights, each on its own thread, and one must not free the
    # weights another is ranking with.
    script = """if True:
        import threading
        from vorpalyx import Lexicon
        shared = Lexicon.english()
        lexicons = [shared] * 4 + [Lexicon.english() for _ in range(8)]
        barrier = threading.Barrier(len(lexicons))
        results = []
        def rank(lexicon):
            barrier.wait()
            results.append(lexicon.best("william shakespeare", 3, threads=1))
        workers = [threading.Thread(target=rank, args=(lexicon,)) for lexicon in lexicons]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        print(repr(results))
    """
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    top = "[Ranked(score=-13.2, words=['are', 'emphasis', 'law', 'like']), " \
          "Ranked(score=-13.25, words=['a', 'make', 'pharisees', 'will']), " \
          "Ranked(score=-13.36, words=['aware', 'has', 'like', 'simple'])]"
    assert (done.returncode, done.stderr, done.stdout) == (0, "", f"[{', '.join([top] * 12)}]\n")


def test_ranked_is_a_named_tuple() -> None:
    ranked = Ranked(-1.5, ["a"])
    assert ranked._fields == ("score", "words") and ranked._asdict() == {"score": -1.5, "words": ["a"]}
    assert repr(ranked) == "Ranked(score=-1.5, words=['a'])" and Ranked.__module__ == "vorpalyx"
