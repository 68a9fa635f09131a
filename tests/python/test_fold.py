"""Folding: vorpalyx.fold, a Lexicon of accented words (letters folded,
spellings kept), fold=False, the command line and Debian's word lists."""

from __future__ import annotations

import contextlib
import io
import json
import math
import pathlib
from collections import Counter, defaultdict
from itertools import chain, combinations_with_replacement, product
from typing import Any

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import brute_force
import vorpalyx
from vorpalyx import Lexicon, cli


@pytest.mark.parametrize(("text", "folded"), [
    # The Latin letters that do not decompose, capital and small.
    ("ẞß", "ssss"), ("Ææ", "aeae"), ("Œœ", "oeoe"), ("Øø", "oo"), ("Łł", "ll"),
    ("Đđ", "dd"), ("Ðð", "dd"), ("Þþ", "thth"), ("ıİ", "ii"), ("ĸ", "q"),
    ("Ŋŋ", "ngng"), ("Ħħ", "hh"), ("Ŧŧ", "tt"),
    # Decomposed either way, by compatibility too; marks of any kind dropped.
    ("Côté", "cote"), ("Co\u0302te\u0301", "cote"), ("ﬃ ǅ ｆ 𝐀 ª", "ffidzfaa"),
    # Not letters, or not Latin: dropped, as a word's non-letters always were.
    ("Don't stop-2 me!", "dontstopme"), ("αβγ кот 日本 ١٢", ""), ("", ""),
])
def test_fold(text: str, folded: str) -> None:
    assert vorpalyx.fold(text) == folded


def test_fold_takes_only_str() -> None:
    with pytest.raises(TypeError, match=r"^fold\(\) argument must be str, not bytes$"):
        vorpalyx.fold(b"abc")  # type: ignore[arg-type]


WORDS = ["Côté", "cote", "CÔTE", "côte", "no", "on", "café", "face", "don't"]


class TestLexicon:
    def test_each_spelling_is_a_word_shown_as_spelt(self) -> None:
        lexicon = Lexicon.from_words(WORDS)
        assert len(lexicon) == 8  # "CÔTE" and "côte" are one spelling
        assert list(lexicon.search("Coté, no!", max_words=2)) == [
            ["cote", "no"], ["cote", "on"], ["côte", "no"], ["côte", "on"],
            ["côté", "no"], ["côté", "on"]]
        assert lexicon.count("cote no", max_words=2) == 6
        assert list(lexicon.search("FACÉ")) == [["café"], ["face"]]
        assert list(lexicon.search("donT")) == [["dont"]]
        assert list(lexicon.search("tecofaec", contains_patterns=["FÉ"])) == [
            ["café", "cote"], ["café", "côte"], ["café", "côté"]]

    def test_counts_of_many_spellings_are_exact_up_to_2_128(self) -> None:
        # Eighty words of one class of twenty spellings: C(99, 80) solutions,
        # past 2**64, counted exactly, through a blank's searches too, and
        # bounded by a solution limit, the largest too; C(819, 800) is below 2**128, C(919,
        # 900) above.
        lexicon = Lexicon.from_words(list("aàáâãäåāăąǎǟǡǻȁȃȧạảấ"))
        assert lexicon.count("a" * 80) == lexicon.count("a" * 79 + "?") == math.comb(99, 80)
        assert lexicon.count("a" * 80, max_solutions=5) == 5
        for phrase in ("a" * 80, "a" * 79 + "?", "a" * 900):
            assert lexicon.count(phrase, max_solutions=2**64 - 1) == 2**64 - 1
        assert lexicon.count("a" * 800) == math.comb(819, 800)
        with pytest.raises(OverflowError, match=r"^the phrase has more than 2\*\*128 - 1 solutions$"):
            lexicon.count("a" * 900)

    def test_in_reads_a_word_as_folding_does(self) -> None:
        lexicon = Lexicon.from_words(WORDS)
        assert ["Café" in lexicon, "cafe" in lexicon, "cafè" in lexicon,
                "côtè" in lexicon, "COTE" in lexicon] == [True, True, False, False, True]

    def test_without_folding_only_a_z_count(self, tmp_path: pathlib.Path) -> None:
        path = tmp_path / "words.txt"
        path.write_text("café\nface\n")
        for lexicon in [Lexicon.from_path(path, fold=False), Lexicon.from_words(["café", "face"], fold=False)]:
            assert len(lexicon) == 2
            assert list(lexicon.search("caf")) == [["caf"]]
            assert list(lexicon.search("face")) == [["face"]]
        folded = Lexicon.from_words(WORDS)
        assert list(folded.search("café", fold=False)) == []
        assert folded.count("café", fold=False) == 0
        assert folded.best("café", fold=False) == []

    def test_a_plain_word_joins_the_spellings(self) -> None:
        lexicon = Lexicon()
        lexicon.add_word("côte")
        lexicon.add_word("Cote!", fold=False)
        lexicon.load_words(["côte"])
        assert len(lexicon) == 2
        assert list(lexicon.search("etoc")) == [["cote"], ["côte"]]

    def test_weights_by_spelling_then_by_folded_letters(self) -> None:
        lexicon = Lexicon.from_words(WORDS)
        best = lexicon.best("etoc", 3, weights={"Côté": -1, "cote": -2})
        assert [(ranked.score, ranked.words) for ranked in best] == [
            (-1.0, ["côté"]), (-2.0, ["cote"]), (-2.0, ["côte"])]

    @pytest.mark.parametrize(("constraints", "expected"), [
        # Distinct words are distinct spellings, included ones too.
        ({"include": ["cote"], "distinct": True}, [["cote", "côte"], ["cote", "côté"]]),
        ({"include": ["côte", "cote"], "distinct": True}, [["cote", "côte"]]),
        # Equal scores keep result order, the shortest word measured in letters.
        ({"include": ["côté"]}, [["cote", "côté"], ["côte", "côté"], ["côté", "côté"]]),
    ])
    def test_included_spellings(self, constraints: dict[str, Any], expected: list[list[str]]) -> None:
        lexicon = Lexicon.from_words(WORDS)
        assert list(lexicon.search("tecotoce", **constraints)) == expected
        assert lexicon.count("tecotoce", **constraints) == len(expected)
        assert [ranked.words for ranked in lexicon.best("tecotoce", **constraints)] == expected

    def test_json_holds_every_spelling_as_json_dumps_writes_it(self) -> None:
        lexicon = Lexicon.from_words(["café", "𝐀b", "noël"])
        result = lexicon.search("ab cafe leon")
        assert list(result) == [["café", "noël", "𝐀b"]]
        out = io.StringIO()
        result.write(out, format="json")
        assert out.getvalue() == json.dumps(list(result))

    @pytest.mark.parametrize(("method", "call"), [
        ("from_path", lambda fold: Lexicon.from_path("words.txt", fold=fold)),
        ("from_words", lambda fold: Lexicon.from_words([], fold=fold)),
        ("load_path", lambda fold: Lexicon().load_path("words.txt", fold=fold)),
        ("load_words", lambda fold: Lexicon().load_words([], fold=fold)),
        ("add_word", lambda fold: Lexicon().add_word("a", fold=fold)),
        ("search", lambda fold: Lexicon().search("a", fold=fold)),
        ("count", lambda fold: Lexicon().count("a", fold=fold)),
        ("best", lambda fold: Lexicon().best("a", fold=fold)),
    ])
    def test_fold_must_be_bool(self, method, call) -> None:
        with pytest.raises(TypeError, match=rf"^{method}\(\) argument 'fold' must be bool, not int$"):
            call(1)
        # None stands for leaving it out, as for every constraint.
        with contextlib.suppress(FileNotFoundError):
            call(None)


def spelt(word: str) -> str:
    return "".join(c.lower() for c in word if c.isalpha())


def solve_folded(words: list[str], phrase: str, max_words: int | None) -> list[list[str]]:
    """The reference: solutions over the folded words, each word then replaced
    by each of its spellings (a word used twice by each pair of them)."""
    spellings: defaultdict[str, set[str]] = defaultdict(set)
    for word in words:
        if vorpalyx.fold(word):
            spellings[vorpalyx.fold(word)].add(spelt(word))
    found = []
    for solution in brute_force.solve(list(spellings), vorpalyx.fold(phrase), max_words=max_words):
        picks = [combinations_with_replacement(sorted(spellings[word]), uses)
                 for word, uses in Counter(solution).items()]
        found += [sorted(chain.from_iterable(picked)) for picked in product(*picks)]
    return sorted(found, key=lambda words: (
        len(words), -min(len(vorpalyx.fold(word)) for word in words), words))


@settings(max_examples=150, deadline=None)
@given(st.lists(st.text("abcAéèÉàÀ-'", min_size=1, max_size=4), max_size=10),
       st.text("abcéÀ ", max_size=7), st.one_of(st.none(), st.integers(1, 3)))
def test_random_spellings_against_a_reference(words: list[str], phrase: str,
                                              max_words: int | None) -> None:
    expected = solve_folded(words, phrase, max_words)
    lexicon = Lexicon.from_words(words)
    assert list(lexicon.search(phrase, max_words=max_words)) == expected
    assert lexicon.count(phrase, max_words=max_words) == len(expected)
    assert [ranked.words for ranked in lexicon.best(phrase, len(expected) + 1, max_words=max_words)] == expected
    assert len(lexicon) == len({spelt(word) for word in words if vorpalyx.fold(word)})


def test_command_line_folds_unless_told_not_to(capsys, tmp_path: pathlib.Path) -> None:
    path = tmp_path / "words.txt"
    path.write_text("crâne\nécran\nnacre\n")
    assert cli.main(["--dict", str(path), "--json", "CRANE"]) == 0
    assert capsys.readouterr().out == json.dumps([["crâne"], ["nacre"], ["écran"]]) + "\n"
    assert cli.main(["--dict", str(path), "--best", "2", "--json", "crane"]) == 0
    assert capsys.readouterr().out == json.dumps([
        {"score": -9.0, "words": ["crâne"]}, {"score": -9.0, "words": ["nacre"]}]) + "\n"
    assert cli.main(["--dict", str(path), "--no-fold", "crne"]) == 0
    assert capsys.readouterr().out == "crne\n"
    assert cli.main(["--dict", str(path), "--no-fold", "crâne"]) == 0
    assert capsys.readouterr().out == ""


# Debian's lists (wfrench, wngerman, wspanish): UTF-8, one word a line, with
# capitals, accents and apostrophes.
@pytest.mark.parametrize(("name", "phrase", "expected"), [
    ("french", "Écran", [["crâne"], ["nacré"], ["écran"]]),
    ("ngerman", "Säure", [["sauer"], ["säure"]]),
    ("spanish", "Camino", [["camino"], ["camión"]]),
])
def test_debian_word_list(name: str, phrase: str, expected: list[list[str]]) -> None:
    path = pathlib.Path("/usr/share/dict") / name
    if not path.is_file():
        pytest.skip(f"{path} is missing (Debian package w{name})")
    found = list(Lexicon.from_path(path).search(phrase, max_words=1))
    assert [solution for solution in found if solution in expected] == expected
