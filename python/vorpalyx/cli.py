"""The `vorpalyx` command: prints every anagram of a phrase.

Each option maps onto one argument of `Solver.solve`; the command adds only
dictionary selection and output formatting. Output is written in chunks of
whole lines, so a result of millions of solutions neither builds one huge
string nor makes one write call per line.
"""

from __future__ import annotations

import argparse
import errno
import json
import os
import string
import sys
from collections.abc import Sequence
from typing import TextIO

from vorpalyx._dictionary import default_dictionary_path
from vorpalyx.core import Solver

PROGRAM = "vorpalyx"

EXIT_SUCCESS = 0
EXIT_FAILURE = 1
EXIT_USAGE = 2
# What a shell reports for a process killed by SIGINT or SIGPIPE (128 + the
# signal number), so scripts see the same status as from other tools.
EXIT_INTERRUPTED = 130
EXIT_BROKEN_PIPE = 141

LARGEST_COUNT = 2**64 - 1
SOLUTIONS_PER_WRITE = 4096
STANDARD_INPUT = "-"

EXAMPLES = """\
examples:
  vorpalyx astronomer
  vorpalyx --max-words 3 --min-word-length 4 "dormitory window"
  vorpalyx --must-start-with dw --max-words 2 "dormitory window"
  vorpalyx --contains room --max-solutions 10 "dormitory window"
  vorpalyx --dict my_words.txt --word vorpal --word snicker "a phrase"
  printf 'dirty\nroom\n' | vorpalyx --dict - dormitory
  vorpalyx --count "astronomer"
  vorpalyx --json --max-words 1 listen

Only the letters a-z count: capitals are folded to lower case and spaces,
digits and punctuation in the phrase are skipped; a phrase with an accented
letter has no solutions, and one without any of the letters a-z gets a note
on standard error instead. Solutions come fewest words first, then those whose
shortest word is longer, then in alphabetical order word by word.

Exit status: 0 on success (also when there is no solution), 1 when a
dictionary cannot be read or an argument is refused, 2 on usage errors.
"""


def _count(text: str) -> int:
    """An argparse type for the whole numbers that solve accepts."""
    try:
        value = int(text, 10)
    except ValueError:
        value = -1
    if not 0 <= value <= LARGEST_COUNT:
        raise argparse.ArgumentTypeError(
            f"expected a whole number from 0 to {LARGEST_COUNT}, got {text!r}")
    return value


def build_parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog=PROGRAM,
        description="Print every combination of dictionary words that uses "
        "exactly the letters\nof PHRASE, one solution per line.",
        epilog=EXAMPLES,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument(
        "phrase", nargs="+", metavar="PHRASE",
        help="the text to rearrange; several arguments are joined by spaces")

    constraints = parser.add_argument_group("constraints")
    constraints.add_argument(
        "--max-words", type=_count, metavar="N",
        help="use at most N words")
    constraints.add_argument(
        "--min-word-length", type=_count, metavar="N",
        help="use only words of at least N letters")
    constraints.add_argument(
        "--must-start-with", metavar="LETTERS",
        help="for each letter, at least as many words as it occurs in "
        "LETTERS start with it ('aab': two words start with a, one with b)")
    constraints.add_argument(
        "--can-only-start-with", metavar="LETTERS",
        help="every word starts with one of LETTERS")
    constraints.add_argument(
        "--must-not-start-with", metavar="LETTERS",
        help="no word starts with any of LETTERS")
    constraints.add_argument(
        "--contains", action="append", metavar="TEXT",
        help="some word contains the letters of TEXT in a row; repeat it "
        "for several texts, which must all be found")
    constraints.add_argument(
        "--timeout", type=float, metavar="SECONDS",
        help="bound the solve to about SECONDS: the search stops early "
        "enough to sort what it found in time (printing comes on top)")
    constraints.add_argument(
        "--max-solutions", type=_count, metavar="N",
        help="stop searching once N solutions are found")

    dictionary = parser.add_argument_group("dictionary")
    dictionary.add_argument(
        "--dict", action="append", metavar="FILE", dest="dictionaries",
        help="load the words of FILE (UTF-8, one word per line), or of "
        "standard input when FILE is -; repeat it for several files; without "
        "it the bundled English list is used")
    dictionary.add_argument(
        "--word", action="append", metavar="WORD", dest="words",
        help="add WORD to the dictionary; repeat it for several words")

    output = parser.add_argument_group("output").add_mutually_exclusive_group()
    output.add_argument(
        "--count", action="store_true",
        help="print only the number of solutions")
    output.add_argument(
        "--json", action="store_true",
        help="print one JSON array holding each solution as an array of words")
    return parser


class _Refused(Exception):
    """An input that the solver cannot take; the message says which."""


def _load_standard_input(solver: Solver) -> None:
    # Read here rather than by the engine, which opens files by name. Lines
    # split at "\n" only, as in a file; a "\r" left at a line's end is not a
    # letter, so normalisation drops it.
    try:
        if sys.stdin is None:
            raise OSError(errno.EBADF, os.strerror(errno.EBADF))
        text = sys.stdin.buffer.read().decode("utf-8")
    except OSError as error:
        reason = (f"{error.strerror} (os error {error.errno})" if error.errno
                  else str(error))
        raise _Refused(
            f"standard input: Failed to read dictionary: {reason}") from error
    except UnicodeDecodeError as error:
        raise _Refused("standard input: Failed to read dictionary: stream did "
                       "not contain valid UTF-8") from error
    solver.load_dictionary_from_words(text.split("\n"))


def _load_dictionary(solver: Solver, arguments: argparse.Namespace) -> None:
    for path in arguments.dictionaries or [default_dictionary_path()]:
        if path == STANDARD_INPUT:
            _load_standard_input(solver)
            continue
        try:
            solver.load_dictionary_from_path(path)
        except (OSError, ValueError) as error:
            raise _Refused(f"{path}: {error}") from error
    if arguments.words:
        try:
            solver.load_dictionary_from_words(arguments.words)
        except ValueError as error:
            raise _Refused(f"argument --word: {error}") from error


def _solve(solver: Solver, phrase: str,
           arguments: argparse.Namespace) -> list[list[str]]:
    try:
        return solver.solve(
            phrase,
            must_start_with=arguments.must_start_with,
            can_only_ever_start_with=arguments.can_only_start_with,
            must_not_start_with=arguments.must_not_start_with,
            max_words=arguments.max_words,
            min_word_length=arguments.min_word_length,
            timeout_seconds=arguments.timeout,
            max_solutions=arguments.max_solutions,
            contains_patterns=arguments.contains,
        )
    except (ValueError, OverflowError) as error:
        raise _Refused(
            _name_refused_text(error, phrase, arguments) + str(error)
        ) from error
    except MemoryError as error:
        raise _Refused(str(error) or "out of memory") from error


def _name_refused_text(error: Exception, phrase: str,
                       arguments: argparse.Namespace) -> str:
    """'argument X: ' for the option whose text could not be encoded."""
    if not isinstance(error, UnicodeEncodeError):
        return ""
    texts = [
        ("PHRASE", phrase),
        ("--must-start-with", arguments.must_start_with),
        ("--can-only-start-with", arguments.can_only_start_with),
        ("--must-not-start-with", arguments.must_not_start_with),
    ] + [("--contains", text) for text in arguments.contains or []]
    for name, text in texts:
        if text == error.object:
            return f"argument {name}: "
    return ""


def _write_lines(solutions: list[list[str]], out: TextIO) -> None:
    for start in range(0, len(solutions), SOLUTIONS_PER_WRITE):
        chunk = solutions[start:start + SOLUTIONS_PER_WRITE]
        out.write("\n".join(map(" ".join, chunk)) + "\n")


def _write_json(solutions: list[list[str]], out: TextIO) -> None:
    out.write("[")
    for start in range(0, len(solutions), SOLUTIONS_PER_WRITE):
        chunk = json.dumps(solutions[start:start + SOLUTIONS_PER_WRITE])
        # Each chunk's own brackets are dropped: the chunks together are the
        # elements of the one array.
        out.write((", " if start else "") + chunk[1:-1])
    out.write("]\n")


def _run(argv: Sequence[str] | None) -> int:
    parser = build_parser()
    try:
        arguments = parser.parse_args(argv)
    except SystemExit as exit_request:
        # argparse exits with 0 after --help and with 2 on a usage error.
        code = exit_request.code
        return code if isinstance(code, int) else EXIT_USAGE

    solver = Solver()
    phrase = " ".join(arguments.phrase)
    try:
        _load_dictionary(solver, arguments)
        solutions = _solve(solver, phrase, arguments)
    except _Refused as refusal:
        print(f"{PROGRAM}: error: {refusal}", file=sys.stderr)
        return EXIT_FAILURE

    if not any(letter in string.ascii_letters for letter in phrase):
        print(f"{PROGRAM}: note: no letters in the phrase", file=sys.stderr)
        return EXIT_SUCCESS
    if arguments.count:
        sys.stdout.write(f"{len(solutions)}\n")
    elif arguments.json:
        _write_json(solutions, sys.stdout)
    else:
        _write_lines(solutions, sys.stdout)
    return EXIT_SUCCESS


def _discard_further_output() -> None:
    # The reader has gone. Pointing standard output at the null device lets
    # the interpreter's last flush at exit succeed instead of failing again
    # with a second BrokenPipeError and its "Exception ignored" message.
    try:
        descriptor = sys.stdout.fileno()
    except (AttributeError, OSError, ValueError):
        return
    null_device = os.open(os.devnull, os.O_WRONLY)
    try:
        os.dup2(null_device, descriptor)
    finally:
        os.close(null_device)


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command with `argv` (default: sys.argv[1:]); returns the
    exit status."""
    try:
        status = _run(argv)
        sys.stdout.flush()
        return status
    except BrokenPipeError:
        _discard_further_output()
        return EXIT_BROKEN_PIPE
    except KeyboardInterrupt:
        return EXIT_INTERRUPTED
