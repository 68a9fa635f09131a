"""Tests of the vorpalyx command line: option mapping, output forms, exit
statuses and messages, the bundled dictionary, and behaviour in a pipe."""

from __future__ import annotations

import contextlib
import ctypes
import io
import itertools
import json
import math
import os
import pathlib
import re
import shutil
import subprocess
import sys
import time
from typing import Any

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import vorpalyx
from vorpalyx import _arguments, cli
from vorpalyx.core import Solver

WORDS = ["listen", "silent", "enlist", "tinsel", "inlets", "tin", "net",
         "nets", "lis", "les", "el", "tins", "lit", "ens", "st", "in", "is",
         "lent"]
PHRASE = "Listen!"
NO_LETTERS = "vorpalyx: note: no letters in the phrase\n"
REPO_ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.fixture
def word_file(tmp_path: pathlib.Path) -> str:
    path = tmp_path / "words.txt"
    path.write_text("\n".join(WORDS) + "\n", encoding="utf-8")
    return str(path)


def run(capsys: pytest.CaptureFixture[str], *argv: str) -> tuple[int, str, str]:
    status = cli.main(list(argv))
    captured = capsys.readouterr()
    return status, captured.out, captured.err


def feed_standard_input(monkeypatch: pytest.MonkeyPatch, data: bytes) -> None:
    monkeypatch.setattr(sys, "stdin", io.TextIOWrapper(io.BytesIO(data)))


def as_lines(solutions: list[list[str]]) -> str:
    return "".join(" ".join(solution) + "\n" for solution in solutions)


def solve_directly(**constraints: Any) -> list[list[str]]:
    solver = Solver()
    solver.load_dictionary_from_words(WORDS)
    return solver.solve(PHRASE, **constraints)


class TestConstraintOptions:
    # Each case changes the result, so an option wired to the wrong
    # parameter (or to none) shows up as a difference. The expected output
    # is the Lexicon's, which test_lexicon.py holds to Solver.solve.
    @pytest.mark.parametrize(
        ("options", "constraints"),
        [
            (["--max-words", "1"], {"max_words": 1}),
            (["--max-words", "2"], {"max_words": 2}),
            (["--min-word-length", "3"], {"min_word_length": 3}),
            (["--must-start-with", "l"], {"must_start_with": "l"}),
            (["--must-start-with", "ee"], {"must_start_with": "ee"}),
            (["--can-only-start-with", "lt"], {"can_only_ever_start_with": "lt"}),
            (["--must-not-start-with", "lt"], {"must_not_start_with": "lt"}),
            (["--contains", "in"], {"contains_patterns": ["in"]}),
            (["--contains", "in", "--contains", "s"],
             {"contains_patterns": ["in", "s"]}),
            (["--max-solutions", "0"], {"max_solutions": 0}),
            (["--timeout", "-1"], {"timeout_seconds": -1.0}),
            (["--timeout", "-1e-3"], {"timeout_seconds": -1e-3}),
            (["--timeout", "-inf"], {"timeout_seconds": -math.inf}),
            (["--max-words", "2", "--min-word-length", "2",
              "--must-start-with", "t", "--can-only-start-with", "tle",
              "--must-not-start-with", "e", "--contains", "le",
              "--timeout", "60", "--max-solutions", "100"],
             {"max_words": 2, "min_word_length": 2, "must_start_with": "t",
              "can_only_ever_start_with": "tle", "must_not_start_with": "e",
              "contains_patterns": ["le"], "timeout_seconds": 60.0,
              "max_solutions": 100}),
            (["--max-word-length", "3"], {"max_word_length": 3}),
            (["--min-words", "3"], {"min_words": 3}),
            (["--words", "2"], {"min_words": 2, "max_words": 2}),
            (["--lengths", "2-4"], {"lengths": [2, 4]}),
            (["--lengths", "4 2"], {"lengths": [4, 2]}),
            (["--include", "tin", "--include", "el"], {"include": ["tin", "el"]}),
            (["--exclude", "lis", "--exclude", "tin"], {"exclude": ["lis", "tin"]}),
        ],
    )
    def test_option_gives_the_solutions_of_its_constraint(
            self, capsys, word_file, options, constraints):
        lexicon = vorpalyx.Lexicon.from_words(WORDS)
        expected = list(lexicon.search(PHRASE, **constraints))
        assert expected != list(lexicon.search(PHRASE))

        status, out, err = run(capsys, "--dict", word_file, *options, PHRASE)

        assert (status, out, err) == (0, as_lines(expected), "")

    @pytest.mark.parametrize(
        ("options", "phrase", "expected"),
        [
            ([], "lis?", "el is [+e]\n"),
            (["--leftover", "2", "--max-words", "1"], "tinsel",
             "enlist\ninlets\nlisten\nsilent\ntinsel\nlent (-is)\nnets (-il)\ntins (-el)\n"),
            (["--json", "--lengths", "3,2"], "lent?",
             '[{"words": ["net", "el"], "blanks": "e", "leftover": ""}, '
             '{"words": ["tin", "el"], "blanks": "i", "leftover": ""}]\n'),
            (["--best", "1"], "lis?", "-18.00  el is [+e]\n"),
            (["--exclude-file", "EXCLUDED", "--words", "1"], "listen", "inlets\nlisten\n"),
            (["--distinct"], "tintin", ""),
        ],
    )
    def test_blanks_and_leftover_letters_follow_the_words(
            self, capsys, word_file, tmp_path, options, phrase, expected):
        excluded = tmp_path / "excluded.txt"
        excluded.write_text("enlist\nsilent\r\ntinsel\n\n", encoding="utf-8")
        options = [str(excluded) if o == "EXCLUDED" else o for o in options]
        status, out, err = run(capsys, "--dict", word_file, *options, phrase)
        assert (status, out, err) == (0, expected, "")

    # An included word without letters, or a phrase the search refuses, is
    # the one line said.
    @pytest.mark.parametrize(
        ("options", "status", "message"),
        [
            (["--include", "xyz"], 0,
             "note: no solutions: --include 'xyz' is not in the dictionary"),
            (["--include", "lent", "--include", "lent"], 0,
             "note: no solutions: the phrase has not the letters of --include 'lent'"),
            (["--lengths", "2,2"], 0,
             "note: no solutions: --lengths 2,2 add up to 4 letters, the phrase has 6"),
            # Options that contradict each other.
            (["--min-words", "3", "--max-words", "2"], 0,
             "note: no solutions: --min-words 3 is more than --max-words 2"),
            (["--min-word-length", "4", "--max-word-length", "3"], 0,
             "note: no solutions: --min-word-length 4 is more than --max-word-length 3"),
            (["--lengths", "3,3", "--words", "1"], 0,
             "note: no solutions: --lengths 3,3 gives 2 words, more than --words 1"),
            (["--lengths", "6", "--min-words", "2"], 0,
             "note: no solutions: --lengths 6 gives 1 word, fewer than --min-words 2"),
            (["--lengths", "1,5", "--min-word-length", "2"], 0,
             "note: no solutions: --lengths 1,5 has a word of 1 letter, fewer than --min-word-length 2"),
            (["--include", "listen", "--max-word-length", "5"], 0,
             "note: no solutions: --include has a word of 6 letters, more than --max-word-length 5"),
            (["--include", "xyz", "--include", "!!"], 1,
             "error: search() argument 'include' holds a word without letters: '!!'"),
            (["--include", "xyz", "????"], 1,
             "error: search() argument 'phrase' has 4 blanks ('?'); at most 3 are allowed"),
        ],
    )
    def test_why_a_narrowing_leaves_nothing(self, capsys, word_file, options, status,
                                            message):
        assert run(capsys, "--dict", word_file, *options, PHRASE) == (
            status, "", f"vorpalyx: {message}\n")


class TestOutputForms:
    # Every solution of solve in result order, as lines, as JSON or as their
    # count: without options, with options that narrow nothing (a timeout
    # that never comes, the largest count), with the phrase in pieces, which
    # are joined, or with a limit.
    @pytest.mark.parametrize(
        ("arguments", "expected"),
        [
            ([PHRASE], lambda: as_lines(solve_directly())),
            (["--timeout", "nan", PHRASE], lambda: as_lines(solve_directly())),
            (["--max-words", str(2**64 - 1), PHRASE], lambda: as_lines(solve_directly())),
            (["lis", "ten"], lambda: as_lines(solve_directly())),
            (["--json", PHRASE], lambda: json.dumps(solve_directly()) + "\n"),
            (["--max-words", "1", "--json", PHRASE], lambda: json.dumps(solve_directly(max_words=1)) + "\n"),
            (["--count", PHRASE], lambda: f"{len(solve_directly())}\n"),
            *((["--max-solutions", str(limit), "--count", PHRASE], lambda limit=limit: f"{limit}\n")
              for limit in (1, 2, 5)),
        ],
    )
    def test_solutions_of_solve_in_each_form(self, capsys, word_file, arguments, expected):
        assert run(capsys, "--dict", word_file, *arguments) == (0, expected(), "")
        assert solve_directly()[:5] == [["enlist"], ["inlets"], ["listen"], ["silent"], ["tinsel"]]

    # A search that its time limit stopped says so once its output is out, in
    # every form; one cut to --max-solutions is what was asked for.
    @pytest.mark.parametrize("form", [[], ["--json"], ["--rank"], ["--leftover", "1"]])
    @pytest.mark.parametrize(("limits", "note"), [
        (["--timeout", "0.3"], "vorpalyx: note: the time limit stopped the search; solutions may be missing\n"),
        # (A limit that the first ten solutions never reach, on any machine.)
        (["--timeout", "60", "--max-solutions", "10"], ""),
    ])
    def test_a_search_stopped_by_its_time_limit_says_so(self, capsys, form, limits, note):
        status, out, err = run(capsys, *form, *limits, "william shakespeare and francis bacon")
        assert (status, err) == (0, note) and out

    # Capitals are letters too, so an unsolvable "QQ!" gets no note; a phrase
    # without letters as the solver counts them (those that fold to a-z, or
    # only a-z under --no-fold) gets one and no output.
    @pytest.mark.parametrize(("phrase", "fold", "note"), [
        ("qqq", [], ""), ("QQ!", [], ""),
        ("", [], NO_LETTERS), ("2 + 2 = 4!", [], NO_LETTERS), ("\u03b1\u03b2\u03b3", [], NO_LETTERS),
        ("\u00e9\u00e0", ["--no-fold"], NO_LETTERS)])
    @pytest.mark.parametrize(("form", "expected"),
                             [([], ""), (["--json"], "[]\n"), (["--count"], "0\n")])
    def test_no_solution_is_success(self, capsys, word_file, form, expected,
                                    phrase, fold, note):
        assert run(capsys, "--dict", word_file, *fold, *form, phrase) == (
            0, "" if note else expected, note)


class TestDictionarySelection:
    # The bundled list unless --dict is given; --word adds to whichever is
    # read, and every --dict and --word make one dictionary. FIRST, SECOND
    # and EMPTY stand for files; SECOND is also on standard input, as bytes
    # or (an io.StringIO) as text.
    @pytest.mark.parametrize(("arguments", "expected", "text_input"), [
        (["--max-words", "1", "listen"], "enlist\ninlets\nlisten\nsilent\ntinsel\n", False),
        (["--word", "Vorpalyx", "--max-words", "1", "lyx", "vorpa"], "vorpalyx\n", False),
        (["--dict", "EMPTY", "--word", "tinsel", "listen"], "tinsel\n", False),
        *(([*dictionaries, "--word", "dormitory", "--max-words", "3", "dormitory", "dont", "stop"],
           "dontstop dormitory\ndirty dontstop room\n", text_input)
          for dictionaries, text_input in ((["--dict", "FIRST", "--dict", "SECOND"], False),
                                           (["--dict", "FIRST", "--dict", "-"], False),
                                           (["--dict", "FIRST", "--dict", "-"], True))),
    ], ids=["bundled", "word-added-to-bundled", "dict-replaces-bundled", "files-combined",
            "file-and-standard-input-combined", "file-and-text-standard-input-combined"])
    def test_dictionaries_and_words_are_combined(self, capsys, monkeypatch, tmp_path,
                                                 arguments, expected, text_input):
        # Only "\n" ends a line: the form feed is dropped like the "'".
        files = {"FIRST": "dirty\n", "SECOND": "room\r\nDon't\fStop\n", "EMPTY": ""}
        for name, text in files.items():
            (tmp_path / name).write_text(text, encoding="utf-8")
        if text_input:
            monkeypatch.setattr(sys, "stdin", io.StringIO(files["SECOND"]))
        else:
            feed_standard_input(monkeypatch, (tmp_path / "SECOND").read_bytes())
        arguments = [str(tmp_path / a) if a in files else a for a in arguments]
        assert run(capsys, *arguments) == (0, expected, "")


class TestBundledDictionary:
    # That a Solver loads it is in test_lexicon.py.
    @staticmethod
    def bundled_words() -> list[str]:
        return pathlib.Path(vorpalyx.default_dictionary_path()).read_text(
            encoding="utf-8").splitlines()

    @staticmethod
    def fake_scowl(root: pathlib.Path, entries: dict[str, str]) -> list[str]:
        """A SCOWL tree whose read files are empty unless given entries;
        returns the generator's options for it."""
        scowl = root / "scowl"
        scowl.mkdir()
        for category in ("english-words", "american-words"):
            for size in (10, 20, 35, 40, 50, 55, 60):
                (scowl / f"{category}.{size}").write_text("", encoding="utf-8")
        for name, text in entries.items():
            (scowl / name).write_text(text, encoding="utf-8")
        copyright_file = root / "copyright"
        copyright_file.write_text("Example licence text.\n", encoding="utf-8")
        readme = root / "README"
        readme.write_text(
            "SCOWL\nVersion 9.9\n\nCOPYRIGHT, SOURCES, and CREDITS:\n\n"
            "Example credits.\n\nFUTURE PLANS:\n\nNot copied.\n",
            encoding="utf-8")
        return ["--scowl-dir", str(scowl), "--copyright", str(copyright_file),
                "--readme", str(readme), "--output-dir", str(root / "out")]

    @staticmethod
    def generate(options: list[str]) -> subprocess.CompletedProcess[str]:
        return subprocess.run(
            [sys.executable, str(REPO_ROOT / "tools/make_bundled_dictionary.py"),
             *options], capture_output=True, text=True)

    # Plain words, sorted once; abbreviations, roman numerals and plurals of
    # letters make anagrams read like "dory id room win wt", so the list is
    # made without them.
    def test_holds_only_plain_common_words_sorted_once(self):
        text = pathlib.Path(vorpalyx.default_dictionary_path()).read_text(
            encoding="utf-8")
        words = text.splitlines()
        assert text.endswith("\n")
        assert len(words) > 50_000
        assert words == sorted(set(words))
        assert all(re.fullmatch(r"[a-z]+", word) for word in words)
        assert [word for word in words if len(word) == 1] == ["a", "i"]
        common = {"dormitory", "window", "room", "dirty", "astronomer",
                  "moon", "starer", "as", "is", "us"}
        unwanted = {"wt", "esp", "cc", "dz", "kc", "ii", "xv", "rs", "ms"}
        assert common - set(words) == set()
        assert unwanted & set(words) == set()

    def test_licence_notice_ships_beside_it(self):
        notice = (pathlib.Path(vorpalyx.default_dictionary_path()).parent
                  / "english_words_LICENSE.txt").read_text(encoding="utf-8")
        assert notice.startswith(
            f"english_words.txt holds {len(self.bundled_words())} English "
            "words taken from SCOWL")
        assert "categories english-words and american-words at the\nsizes " \
               "10, 20, 35, 40, 50, 55 and 60" in notice
        # Debian's copyright file, then the notice of SCOWL's own README.
        assert "Copyright 2000-2011 by Kevin Atkinson" in notice
        assert "Copyright 2000-2018 by Kevin Atkinson" in notice
        assert "Permission to use, copy, modify, distribute and sell" in notice

    def test_generator_keeps_only_plain_words_of_the_chosen_files(
            self, tmp_path):
        options = self.fake_scowl(tmp_path, {
            "english-words.10": "b\na\nI\ni\nzebra\nZebra\nzebra's\n"
                                "\u00e9clair\n\nx-ray\n",
            "english-words.40": "rs\nus\nzebra\n",
            "american-words.60": "moon\n",
            "english-words.70": "rarely\n",
            "english-abbreviations.40": "wt\n",
            "american-upper.50": "moon\nmars\n",
            "special-roman-numerals.35": "xv\n",
        })

        assert self.generate(options).returncode == 0

        output = tmp_path / "out"
        words = (output / "english_words.txt").read_text(encoding="utf-8")
        assert words == "a\ni\nmoon\nus\nzebra\n"
        licence = (output / "english_words_LICENSE.txt").read_text(
            encoding="utf-8")
        assert licence.startswith(
            "english_words.txt holds 5 English words taken from SCOWL 9.9 ")
        assert licence.endswith(
            "\n\nExample licence text.\n\n" + "=" * 72
            + "\n\nCOPYRIGHT, SOURCES, and CREDITS:\n\nExample credits.\n")

    def test_generator_refuses_a_tree_without_one_of_its_files(self, tmp_path):
        options = self.fake_scowl(tmp_path, {})
        missing = tmp_path / "scowl" / "american-words.55"
        missing.unlink()

        completed = self.generate(options)

        assert (completed.returncode, completed.stdout) == (1, "")
        assert completed.stderr == (
            "make_bundled_dictionary.py: error: [Errno 2] No such file or "
            f"directory: '{missing}'\n")
        assert not (tmp_path / "out").exists()


class TestFailures:
    # A file made by `source`, or standard input holding its bytes (None:
    # closed).
    @pytest.mark.parametrize(
        ("source", "reason"),
        [
            (lambda path: None, "No such file or directory (os error 2)"),
            (lambda path: path.mkdir(), "Is a directory (os error 21)"),
            (lambda path: path.write_bytes(b"good\nbad\xff\n"),
             "stream did not contain valid UTF-8"),
            (None, "Bad file descriptor (os error 9)"),
            (b"good\nbad\xff\n", "stream did not contain valid UTF-8"),
            (b"surrogate\xed\xa0\x80\n", "stream did not contain valid UTF-8"),
        ],
        ids=["missing", "directory", "not-utf8", "closed-input", "not-utf8-input",
             "encoded-surrogate-input"],
    )
    def test_unreadable_dictionary_is_one_line_and_status_1(
            self, capsys, monkeypatch, tmp_path, source, reason):
        if callable(source):
            path = tmp_path / "words.txt"
            source(path)
            where = dictionary = str(path)
        else:
            if source is None:
                monkeypatch.setattr(sys, "stdin", None)
            else:
                feed_standard_input(monkeypatch, source)
            where, dictionary = "standard input", "-"
        assert run(capsys, "--dict", dictionary, "listen") == (
            1, "", f"vorpalyx: error: {where}: Failed to read dictionary: "
                   f"{reason}\n")

    # A byte that is not UTF-8 in the command line arrives as a lone
    # surrogate, which the solver refuses.
    @pytest.mark.parametrize(
        ("options", "argument", "position"),
        [
            ([], "PHRASE", 3),
            (["--must-start-with", "a\udcff"], "--must-start-with", 1),
            (["--can-only-start-with", "\udcff"], "--can-only-start-with", 0),
            (["--must-not-start-with", "\udcff"], "--must-not-start-with", 0),
            (["--contains", "ok", "--contains", "\udcff"], "--contains", 0),
            (["--word", "\udcff"], "--word", 0),
            (["--include", "\udcff"], "--include", 0),
            (["--exclude", "ok", "--exclude", "\udcff"], "--exclude", 0),
        ],
    )
    def test_text_refused_by_the_solver_is_named(
            self, capsys, word_file, options, argument, position):
        phrase = "abc\udcff" if argument == "PHRASE" else "listen"
        assert run(capsys, "--dict", word_file, *options, phrase) == (
            1, "", f"vorpalyx: error: argument {argument}: 'utf-8' codec can't "
                   f"encode character '\\udcff' in position {position}: "
                   "surrogates not allowed\n")

    # Names that no file can have, which only a caller of main can give.
    @pytest.mark.parametrize("name", ["a\0b", "\ud800"], ids=["nul", "surrogate"])
    @pytest.mark.parametrize(("options", "prefix"), [
        (["--dict", "NAME", PHRASE], "load_path(): "),
        (["--exclude-file", "NAME", PHRASE], ""),
        (["--batch", "NAME"], ""),
        (["--weights", "NAME", "--best", "1", PHRASE], "set_weights(): "),
    ])
    def test_file_name_that_cannot_be_opened_is_named(self, capsys, word_file, name,
                                                     options, prefix):
        reason = (f"{prefix}embedded null byte" if "\0" in name else "'utf-8' codec "
                  "can't encode character '\\ud800' in position 0: surrogates not allowed")
        argv = [name if option == "NAME" else option for option in options]
        assert run(capsys, "--dict", word_file, *argv) == (
            1, "", f"vorpalyx: error: argument {options[0]}: {reason}\n")

    @pytest.mark.parametrize(
        ("options", "message"),
        [
            ([], "the following arguments are required: PHRASE"),
            (["--max-words", "-1", "x"],
             "argument --max-words: expected a whole number from 0 to "
             "18446744073709551615, got '-1'"),
            (["--min-word-length", "2.5", "x"],
             "argument --min-word-length: expected a whole number from 0 to "
             "18446744073709551615, got '2.5'"),
            (["--max-solutions", str(2**64), "x"],
             "argument --max-solutions: expected a whole number from 0 to "
             f"18446744073709551615, got '{2**64}'"),
            (["--timeout", "soon", "x"],
             "argument --timeout: invalid float value: 'soon'"),
            (["--count", "--json", "x"],
             "argument --json: not allowed with argument --count"),
            (["--limit", "3", "x"], "unrecognized arguments: --limit"),
            (["--max", "3", "x"],
             "ambiguous option: --max could match --max-words, --max-solutions, "
             "--max-word-length"),
            (["--batch", "list.txt", "x"],
             "argument --batch: not allowed with PHRASE"),
            (["--jobs", "2", "x"], "argument --jobs: only allowed with --batch"),
            (["--batch", "list.txt", "--jobs", "0"],
             "argument --jobs: expected a whole number from 1 to "
             "18446744073709551615, got '0'"),
            (["--dict", "-", "--batch", "-"],
             "argument --batch: standard input cannot hold both the phrases "
             "and the dictionary (--dict -)"),
            (["--exclude-file", "-", "--batch", "-"],
             "argument --batch: standard input cannot hold both the phrases "
             "and the words to exclude (--exclude-file -)"),
            (["--exclude-file", "-", "--dict", "-", "x"],
             "argument --dict: standard input cannot hold both the dictionary "
             "and the words to exclude (--exclude-file -)"),
            (["--best", "3", "--rank", "x"],
             "argument --rank: not allowed with argument --best"),
            (["--rank", "--count", "x"],
             "argument --count: not allowed with --best or --rank"),
            (["--best", "2", "--batch", "list.txt"],
             "argument --batch: not allowed with --best or --rank"),
            (["--weights", "counts.tsv", "x"],
             "argument --weights: only allowed with --best or --rank"),
            (["--best", "-2", "x"],
             "argument --best: expected a whole number from 0 to "
             "18446744073709551615, got '-2'"),
            (["--words", "2", "--min-words", "1", "x"],
             "argument --words: not allowed with --max-words or --min-words"),
            (["--lengths", "5,0", "x"],
             "argument --lengths: expected word lengths of at least 1 such as "
             "5,4 or 5-4, got '5,0'"),
        ],
    )
    def test_usage_error_is_status_2(self, capsys, options, message):
        status, out, err = run(capsys, *options)
        assert (status, out) == (2, "")
        assert err.startswith("usage: vorpalyx ")
        assert err.endswith(f"\nvorpalyx: error: {message}\n")

    # Closed, print and argparse's usage would send them to standard output,
    # among the solutions; full, the status stays what it would have been.
    @pytest.mark.parametrize(("options", "status"), [
        (["!!"], 0), (["--exclude-file", "missing", PHRASE], 1),
        (["--max-words", "x", PHRASE], 2)])
    @pytest.mark.parametrize("closed", [True, False], ids=["closed", "full"])
    def test_messages_stay_out_of_the_output_when_standard_error_cannot_take_them(
            self, capsys, monkeypatch, word_file, options, status, closed):
        class Full(io.StringIO):
            def write(self, text: str) -> int:
                raise OSError(28, "No space left on device")

        monkeypatch.setattr(sys, "stderr", None if closed else Full())
        assert run(capsys, "--dict", word_file, *options) == (status, "", "")

    def test_interrupt_ends_quietly_with_status_130(self, capsys, monkeypatch,
                                                   word_file):
        class InterruptedLexicon:
            def load_path(self, path: str, fold: bool) -> None:
                pass

            def search(self, phrase: str, **constraints: object) -> None:
                raise KeyboardInterrupt

        monkeypatch.setattr(cli, "Lexicon", InterruptedLexicon)
        assert run(capsys, "--dict", word_file, PHRASE) == (130, "", "")

    def test_help_lists_every_option_with_examples(self, capsys):
        status, out, err = run(capsys, "--help")
        assert (status, err) == (0, "")
        for option in ["--max-words", "--min-word-length", "--must-start-with",
                       "--can-only-start-with", "--must-not-start-with",
                       "--contains", "--timeout", "--max-solutions", "--dict", "--no-fold",
                       "--word", "--count", "--json"]:
            assert option in out
        assert "\nexamples:\n  vorpalyx " in out


class TestRanking:
    def test_best_with_the_bundled_weights(self, capsys):
        assert run(capsys, "--best", "3", "dormitory window") == (0, (
            "-10.08  dormitory window\n"
            "-12.26  dirty room window\n"
            "-12.58  dirty in wormwood\n"), "")
        status, out, _ = run(capsys, "--best", "2", "--json", "dormitory window")
        assert (status, json.loads(out)) == (0, [
            {"score": -10.08, "words": ["dormitory", "window"]},
            {"score": -12.26, "words": ["dirty", "room", "window"]}])
        assert out == json.dumps(json.loads(out)) + "\n"

    @pytest.mark.parametrize("form", [[], ["--json"]])
    def test_rank_prints_everything_best_first_with_the_files_weights(
            self, capsys, word_file, tmp_path, form):
        counts = tmp_path / "counts.tsv"
        counts.write_text("listen\t1\nsilent\t5\nin\t40\nlets\t9\nles\t3\n"
                          "tin\t30\n", encoding="utf-8")
        ranked = vorpalyx.Lexicon.from_words(WORDS)
        ranked.set_weights(counts)
        expected = ranked.best(PHRASE, 10**6)
        status, out, err = run(capsys, "--dict", word_file, "--weights",
                               str(counts), "--rank", *form, PHRASE)
        assert (status, err) == (0, "")
        if form:
            assert json.loads(out) == [{"score": score, "words": words}
                                       for score, words in expected]
        else:
            assert out == "".join(f"{score:.2f}  {' '.join(words)}\n"
                                  for score, words in expected)
        assert expected[0] == (-1.25, ["silent"])  # log10(5 / 88)
        assert sorted(words for _, words in expected) == sorted(solve_directly())

    def test_a_bad_weights_file_is_one_line_and_status_1(self, capsys,
                                                         word_file, tmp_path):
        counts = tmp_path / "counts.tsv"
        counts.write_text("listen\t1\nsilent 5\n", encoding="utf-8")
        assert run(capsys, "--dict", word_file, "--weights", str(counts),
                   "--best", "1", PHRASE) == (
            1, "", f"vorpalyx: error: argument --weights: set_weights(): line 2 "
                   f"of {str(counts)!r}: expected word<TAB>count, got 'silent 5'\n")


def read_with_argparse(argv: list[str]) -> str | None:
    """What the argparse reading of `argv` gives, or None if it refuses."""
    try:
        with contextlib.redirect_stderr(io.StringIO()):
            return comparable(_arguments.parse_arguments_with_argparse(argv))
    except SystemExit:
        return None


def comparable(arguments: _arguments.Arguments) -> str:
    # By text, so that a NaN limit equals itself.
    return repr(sorted(vars(arguments).items()))


_TOKENS = st.sampled_from(
    [option[0] for option in _arguments.OPTIONS]
    + ["--max", "--dic", "--count=1", "--max-words=2", "--", "-", "-h", "-1",
       "--timeout=-1", "--jobs=0", "2", "0", "-0.5", "nan", "x y", "", "a=b",
       "--word=", "18446744073709551616"])


class TestParsing:
    # The usual command lines are read without argparse; whatever that
    # reading accepts, argparse must read the same way.
    @settings(max_examples=400, deadline=None)
    @given(st.lists(_TOKENS, max_size=7))
    def test_direct_reading_agrees_with_argparse(self, argv):
        direct = _arguments.parse_directly(argv)
        if direct is not None:
            assert comparable(direct) == read_with_argparse(argv)

    @pytest.mark.parametrize("argv", [
        ["listen"],
        ["--max-words", "2", "dormitory", "window", "--count"],
        ["--dict=-", "--contains", "ab", "--contains=c", "x", "--timeout=-1"],
        ["--batch", "-", "--jobs", "2", "--json", "--word", ""],
    ])
    def test_usual_command_lines_are_read_directly(self, argv):
        direct = _arguments.parse_directly(argv)
        assert direct is not None
        assert comparable(direct) == read_with_argparse(argv)

    def test_a_run_imports_only_what_it_needs(self, word_file):
        script = (
            "import sys\n"
            "from vorpalyx.cli import main\n"
            f"main(['--dict', {word_file!r}, '--max-words', '2', 'listen'])\n"
            "heavy = {'argparse', 're', 'json', 'pathlib', 'typing',\n"
            "         'collections', 'multiprocessing'}\n"
            "print(sorted(heavy & set(sys.modules)), file=sys.stderr)\n")
        completed = subprocess.run([sys.executable, "-c", script],
                                   capture_output=True, text=True)
        assert (completed.returncode, completed.stderr) == (0, "[]\n")


def permutation_dictionary(tmp_path: pathlib.Path) -> tuple[str, str]:
    """A dictionary and phrase with 518,400 solutions, 7 MB of text: every
    ordering of abcdef beside every ordering of ghijkl. That is more than a
    pipe takes even once the writer has widened it."""
    words = ["".join(order) for group in ("abcdef", "ghijkl")
             for order in itertools.permutations(group)]
    path = tmp_path / "permutations.txt"
    path.write_text("\n".join(words) + "\n", encoding="utf-8")
    return str(path), "abcdefghijkl"


def command(*argv: str) -> list[str]:
    return [sys.executable, "-m", "vorpalyx", *argv]


class TestProcess:
    # The dictionary read from the process's own standard input; a file is
    # read by the console script below.
    def test_module_runs_the_command(self):
        completed = subprocess.run(
            command("--dict", "-", "--max-words", "2", PHRASE),
            input="\n".join(WORDS).encode(), capture_output=True)
        assert (completed.returncode, completed.stderr) == (0, b"")
        assert completed.stdout.decode() == as_lines(solve_directly(max_words=2))
        assert completed.stdout.decode().startswith(
            "enlist\ninlets\nlisten\nsilent\ntinsel\n")

    def test_console_script_runs_the_command(self, word_file):
        script = pathlib.Path(sys.executable).parent / "vorpalyx"
        if not script.exists():
            pytest.skip("the package's console script is not installed here")
        completed = subprocess.run(
            [str(script), "--dict", word_file, "--count", PHRASE],
            capture_output=True, text=True)
        assert (completed.returncode, completed.stdout, completed.stderr) == (
            0, f"{len(solve_directly())}\n", "")

    # The locale's encoding (here one without œ) does not change the output.
    @pytest.mark.parametrize(("form", "expected"), [
        ([], "cœur\n"), (["--best", "1"], "-9.00  cœur\n")])
    def test_output_is_utf8_whatever_the_locale(self, tmp_path, form, expected):
        words = tmp_path / "words.txt"
        words.write_text("cœur\n", encoding="utf-8")
        completed = subprocess.run(command("--dict", str(words), *form, "coeur"),
                                   capture_output=True,
                                   env={**os.environ, "PYTHONIOENCODING": "latin-1"})
        assert (completed.returncode, completed.stdout.decode(), completed.stderr) == (
            0, expected, b"")

    def test_large_output_is_complete(self, tmp_path):
        dictionary, phrase = permutation_dictionary(tmp_path)
        completed = subprocess.run(command("--dict", dictionary, phrase),
                                   capture_output=True, text=True)
        solver = Solver()
        solver.load_dictionary_from_path(dictionary)
        assert completed.stdout == as_lines(solver.solve(phrase))
        assert len(completed.stdout.splitlines()) == 720 * 720

    # As in `vorpalyx ... | head -n 1`: the reader takes the start and goes.
    @pytest.mark.parametrize(("form", "start"), [
        ([], b"abcdef ghijkl\n"), (["--json"], b'[["abcdef", "ghijkl"], ')])
    def test_reader_that_stops_early_gets_a_quiet_end(self, tmp_path, form,
                                                      start):
        dictionary, phrase = permutation_dictionary(tmp_path)
        process = subprocess.Popen(command("--dict", dictionary, *form, phrase),
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        assert process.stdout is not None and process.stderr is not None
        first_bytes = process.stdout.read(100)
        process.stdout.close()
        err = process.stderr.read()
        process.stderr.close()
        assert process.wait(timeout=60) == 141
        assert len(first_bytes) == 100 and first_bytes.startswith(start)
        assert err == b""

    @pytest.mark.parametrize("size", ["small", "large", "batch"])
    def test_pipe_closed_before_any_output_gets_a_quiet_end(self, tmp_path,
                                                            size, word_file):
        if size == "small":
            argv = command("--dict", word_file, PHRASE)
        elif size == "batch":
            # Workers write the records: the one that meets the closed pipe
            # tells the parent.
            phrases = tmp_path / "phrases.txt"
            phrases.write_text(f"{PHRASE}\n" * 40)
            argv = command("--dict", word_file, "--batch", str(phrases), "--jobs", "2")
        else:
            argv = command("--dict", *permutation_dictionary(tmp_path))
        read_end, write_end = os.pipe()
        os.close(read_end)
        try:
            completed = subprocess.run(argv, stdout=write_end,
                                       stderr=subprocess.PIPE, timeout=60)
        finally:
            os.close(write_end)
        assert (completed.returncode, completed.stderr) == (141, b"")

    @pytest.mark.parametrize(("options", "reason"), [
        ([], "No space left on device (os error 28)"),
        (["--count"], "No space left on device (os error 28)"),
        (["--batch", "phrases.txt", "--jobs", "2"],
         "No space left on device (os error 28)"),
        (["closed"], "Bad file descriptor (os error 9)"),
        # Unbuffered, where argparse would drop the help it cannot write;
        # closed, where it would print it to standard error.
        (["--help"], "No space left on device (os error 28)"),
        (["closed", "--help"], "Bad file descriptor (os error 9)"),
    ])
    def test_output_that_cannot_be_written_is_one_line_and_status_1(
            self, tmp_path, word_file, options, reason):
        (tmp_path / "phrases.txt").write_text(f"{PHRASE}\n" * 40)
        closed = options[:1] == ["closed"]
        argv = command("--dict", word_file, *options[closed:])
        if "--batch" not in options:
            argv.append(PHRASE)
        with open(os.devnull if closed else "/dev/full", "wb") as full:
            completed = subprocess.run(
                argv, cwd=tmp_path, stdout=full, stderr=subprocess.PIPE,
                env={**os.environ, "PYTHONUNBUFFERED": "1"},
                preexec_fn=(lambda: os.close(1)) if closed else None, timeout=60)
        assert (completed.returncode, completed.stderr.decode()) == (
            1, f"vorpalyx: error: standard output: {reason}\n")

    # Unbuffered, a write that the file takes only in part (here at its size
    # limit, as on a disk that fills up) must not end in silence: the rest
    # is written or fails.
    @pytest.mark.parametrize("options", [
        ["--best", "1000", PHRASE], ["--rank", PHRASE], ["--leftover", "1", PHRASE],
        ["--batch", "phrases.txt", "--count", "--jobs", "1"],
        ["--batch", "phrases.txt", "--count", "--jobs", "2"],
    ])
    def test_output_cut_short_by_the_file_size_limit_is_status_1(
            self, tmp_path, word_file, options):
        import resource

        (tmp_path / "phrases.txt").write_text(f"{PHRASE}\n" * 3)
        output = tmp_path / "output.txt"
        with open(output, "wb") as file:
            completed = subprocess.run(
                command("--dict", word_file, *options), cwd=tmp_path, stdout=file,
                stderr=subprocess.PIPE, env={**os.environ, "PYTHONUNBUFFERED": "1"},
                preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (100, 100)),
                timeout=60)
        assert (completed.returncode, completed.stderr.decode(), output.stat().st_size) == (
            1, "vorpalyx: error: standard output: File too large (os error 27)\n", 100)

    # A standard output set non-blocking (by another process sharing it): a
    # write waits while the pipe is full, as the plain output's does.
    @pytest.mark.parametrize("options", [
        ["--best", "5000", "clint eastwood"], ["--rank", "--max-words", "3", "clint eastwood"],
        ["--leftover", "1", "--max-words", "3", "clint eastwood"],
        ["--batch", "-", "--max-words", "3", "--jobs", "1"],
        ["--batch", "-", "--max-words", "3", "--jobs", "2"],
    ])
    def test_output_waits_while_a_non_blocking_pipe_is_full(self, options):
        import fcntl
        import termios

        phrases = b"clint eastwoo?\ndormitory\n"
        expected = subprocess.run(command(*options), input=phrases, capture_output=True)
        assert (expected.returncode, expected.stderr) == (0, b"")
        read_end, write_end = os.pipe()
        fcntl.fcntl(write_end, fcntl.F_SETFL,
                    fcntl.fcntl(write_end, fcntl.F_GETFL) | os.O_NONBLOCK)
        try:
            process = subprocess.Popen(command(*options), stdin=subprocess.PIPE,
                                       stdout=write_end, stderr=subprocess.PIPE)
            os.close(write_end)
            assert process.stdin is not None
            process.stdin.write(phrases)
            process.stdin.close()
            # Read only once the pipe has filled (its pages are seldom all
            # full to the byte), or the command has ended.
            size = fcntl.fcntl(read_end, fcntl.F_GETPIPE_SZ)
            waiting = bytearray(4)
            while process.poll() is None:
                fcntl.ioctl(read_end, termios.FIONREAD, waiting)
                if int.from_bytes(waiting, sys.byteorder) >= size // 2:
                    break
                time.sleep(0.001)
            out = b"".join(iter(lambda: os.read(read_end, 1 << 20), b""))
        finally:
            os.close(read_end)
        assert process.stderr is not None
        assert (process.wait(timeout=60), process.stderr.read(), out) == (0, b"", expected.stdout)
        assert len(out) > size

    # A standard input set non-blocking, read before anything is written to
    # it: the command waits for the words or phrases.
    @pytest.mark.parametrize("options", [
        ["--dict", "-", "dormitory"], ["--exclude-file", "-", "--max-words", "2", "dormitory"],
        ["--batch", "-", "--max-words", "2", "--jobs", "1"],
        ["--batch", "-", "--max-words", "2", "--jobs", "2"],
    ])
    def test_input_waits_while_a_non_blocking_pipe_is_empty(self, options):
        words = b"dirty\nroom\ndormitory\n"
        expected = subprocess.run(command(*options), input=words, capture_output=True)
        assert (expected.returncode, expected.stderr) == (0, b"")
        read_end, write_end = os.pipe()
        os.set_blocking(read_end, False)
        try:
            process = subprocess.Popen(command(*options), stdin=read_end,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            os.close(read_end)
            # Written once the command waits for it (or has given up).
            while process.poll() is None:
                with open(f"/proc/{process.pid}/wchan") as waiting:
                    if "poll" in waiting.read():
                        break
                time.sleep(0.01)
            with contextlib.suppress(BrokenPipeError):
                os.write(write_end, words)
        finally:
            os.close(write_end)
        out, err = process.communicate(timeout=60)
        assert (process.returncode, err, out) == (0, b"", expected.stdout)

    # Inputs larger than the address space allowed: a sparse file of zeros,
    # named or on standard input.
    @pytest.mark.skipif(hasattr(ctypes.CDLL(None), "__asan_init"),
                        reason="AddressSanitizer's shadow memory cannot live under RLIMIT_AS")
    @pytest.mark.parametrize(("options", "where", "what"), [
        (["--dict", "HUGE", "x"], "HUGE", "dictionary"),
        (["--dict", "-", "x"], "standard input", "dictionary"),
        (["--exclude-file", "HUGE", "x"], "HUGE", "words to exclude"),
        (["--weights", "HUGE", "--best", "1", "x"], "HUGE", "weights"),
        (["--batch", "HUGE"], "HUGE", "phrases"),
    ])
    def test_input_too_large_for_memory_is_one_line_and_status_1(
            self, huge_file, options, where, what):
        import resource

        huge = huge_file
        argv = command(*(str(huge) if o == "HUGE" else o for o in options))
        with open(huge, "rb") as standard_input:
            completed = subprocess.run(
                argv, stdin=standard_input, capture_output=True, text=True, timeout=120,
                preexec_fn=lambda: resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30)))
        where = str(huge) if where == "HUGE" else where
        assert (completed.returncode, completed.stdout, completed.stderr) == (
            1, "", f"vorpalyx: error: {where}: Failed to read {what}: out of memory\n")

    # An input that never ends and never makes the read wait (/dev/zero):
    # Ctrl-C stops its reading, which memory would otherwise end.
    @pytest.mark.skipif(hasattr(ctypes.CDLL(None), "__asan_init"),
                        reason="AddressSanitizer's shadow memory cannot live under RLIMIT_AS")
    @pytest.mark.parametrize("options", [["--dict", "-"], ["--exclude-file", "/dev/zero"]])
    def test_interrupt_stops_reading_an_endless_input(self, options):
        import resource
        import signal

        with open("/dev/zero", "rb") as zeros:
            process = subprocess.Popen(
                command(*options, "x"), stdin=zeros, stdout=subprocess.PIPE,
                stderr=subprocess.PIPE, preexec_fn=lambda: (
                    resource.setrlimit(resource.RLIMIT_AS, (2 << 30, 2 << 30)),
                    signal.signal(signal.SIGINT, signal.SIG_DFL)))
        try:
            # Once it has read 64 MB.
            while process.poll() is None:
                with open(f"/proc/{process.pid}/io") as io_counts:
                    if int(io_counts.read().split()[1]) > 64 << 20:
                        break
            process.send_signal(signal.SIGINT)
            out, err = process.communicate(timeout=60)
        finally:
            process.kill()
            process.wait()
        assert (process.returncode, out, err) == (130, b"", b"")

    # A package that lacks a bundled file (a broken install) has the file
    # named, not standard output blamed; serve says so before it starts.
    # Weights cut short, as by a full disk, are named too.
    @pytest.mark.parametrize(("argv", "missing", "message"), [
        (["--best", "1", "dormitory"], "english_words.txt",
         "vorpalyx: error: {path}: Failed to read dictionary: {reason}\n"),
        (["--best", "1", "dormitory"], "english_words_weights.txt",
         "vorpalyx: error: {path}: Failed to read weights: {reason}\n"),
        (["serve"], "english_words.txt", "vorpalyx serve: error: {path}: {reason}\n"),
        (["serve"], "english_words_weights.txt", "vorpalyx serve: error: {path}: {reason}\n"),
        (["--best", "1", "dormitory"], "cut english_words_weights.txt",
         "vorpalyx: error: best(): the bundled weights '{path}' do not fit the bundled "
         "list: no weight for line 3\n"),
        (["serve"], "cut english_words_weights.txt",
         "vorpalyx serve: error: best(): the bundled weights '{path}' do not fit the "
         "bundled list: no weight for line 3\n"),
    ])
    def test_missing_bundled_file_is_named(self, tmp_path, argv, missing, message):
        if argv == ["serve"]:
            pytest.importorskip("uvicorn")
        package = tmp_path / "vorpalyx"
        shutil.copytree(pathlib.Path(vorpalyx.__file__).parent, package)
        cut, _, missing = missing.rpartition(" ")
        data = package / "data" / missing
        if cut:
            data.write_bytes(b"".join(data.read_bytes().splitlines(keepends=True)[:2]))
        else:
            data.unlink()
        path = os.pathsep.join([str(tmp_path), *filter(None, [os.environ.get("PYTHONPATH")])])
        completed = subprocess.run(command(*argv), capture_output=True, text=True,
                                   env={**os.environ, "PYTHONPATH": path}, timeout=60)
        assert (completed.returncode, completed.stdout, completed.stderr) == (
            1, "", message.format(path=data, reason="No such file or directory (os error 2)"))

    def test_bundled_files_found_beside_the_python_files(self, tmp_path):
        # As an editable install lays the package out: the compiled modules
        # in one place, the Python files and data/ in another.
        installed = pathlib.Path(vorpalyx.__file__).parent
        source, compiled = tmp_path / "source" / "vorpalyx", tmp_path / "compiled"
        shutil.copytree(installed, source, ignore=shutil.ignore_patterns("*.so"))
        compiled.mkdir()
        for library in installed.glob("*.so"):
            shutil.copy(library, compiled)
        script = f"""if True:
            import importlib.machinery, importlib.util, sys
            class Compiled:
                @staticmethod
                def find_spec(name, path=None, target=None):
                    if name in ("vorpalyx._engine", "vorpalyx.core"):
                        leaf = name.rpartition(".")[2]
                        return importlib.util.spec_from_file_location(
                            name, next(__import__("pathlib").Path({str(compiled)!r}).glob(leaf + ".*.so")))
            sys.meta_path.insert(0, Compiled)
            sys.path.insert(0, {str(source.parent)!r})
            import vorpalyx
            print(vorpalyx._engine.__file__.startswith({str(compiled)!r}),
                  vorpalyx.Lexicon.english().best("dormitory", 1)[0].words)
        """
        completed = subprocess.run([sys.executable, "-c", script], capture_output=True,
                                   text=True, timeout=60)
        assert (completed.stdout, completed.stderr) == ("True ['dormitory']\n", "")
