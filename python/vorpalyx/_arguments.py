"""The command line of `vorpalyx`: its options, read in one of two ways.

One table of options serves both readings. The usual command lines (whole
option names, `--name value` or `--name=value`, the PHRASE arguments
together) are read here directly; argparse (with `re` behind it) is imported
only for --help, for usage errors and for the rarer spellings it accepts
(abbreviated options, a `--` separator, values that look like options). The
two agree on every command line the direct reading accepts.
"""

from __future__ import annotations

TYPE_CHECKING = False
if TYPE_CHECKING:
    import argparse
    from collections.abc import Sequence
    from typing import Any, NoReturn

    from _typeshed import SupportsWrite

PROGRAM = "vorpalyx"
LARGEST_COUNT = 2**64 - 1
STANDARD_INPUT = "-"

EXAMPLES = """\
examples:
  vorpalyx astronomer
  vorpalyx --max-words 3 --min-word-length 4 "dormitory window"
  vorpalyx --must-start-with dw --max-words 2 "dormitory window"
  vorpalyx --contains room --max-solutions 10 "dormitory window"
  vorpalyx --dict my_words.txt --word vorpal --word snicker "a phrase"
  vorpalyx --dict /usr/share/dict/french --max-words 2 "Côte d'Azur"
  printf 'dirty\\nroom\\n' | vorpalyx --dict - dormitory
  vorpalyx --count "astronomer"
  vorpalyx --json --max-words 1 listen
  vorpalyx --best 10 "dormitory window"
  vorpalyx --lengths 5,4 --include room "dormitory"
  vorpalyx --words 2 --distinct --exclude a "dormitory window"
  vorpalyx --best 5 "dormitor?"          # ? is a blank, any one letter
  vorpalyx --leftover 1 --max-words 2 "dormitory window"
  vorpalyx --rank --max-words 2 --weights counts.tsv "a phrase"
  vorpalyx --batch phrases.txt --max-words 3 --jobs 2 > anagrams.jsonl
  vorpalyx serve        # a web page on this machine; vorpalyx -- serve solves "serve"

Words and the phrase are folded to the letters a-z: capitals to lower case,
accents dropped (é is e, ß is ss), spaces, digits and punctuation skipped;
words are shown as the dictionary spells them. With --no-fold only the letters
a-z count and a phrase with another letter has no solutions. A phrase without
any letter gets a note on standard error instead. Up to three '?' in the
phrase are blanks (quote them in the shell). Solutions come fewest words
first, then those whose shortest word is longer, then in byte order word by
word (under --lengths, by the words in enumeration order).

Exit status: 0 on success (also when there is no solution), 1 when a
dictionary cannot be read, an argument is refused or the output cannot be
written, 2 on usage errors, 130 when interrupted, 141 when the reader of the
output went away.
"""

# How an option's value is read: a whole number from 0 (or 1) up, a number
# of seconds, a text (the last one given counts), texts (each one counts),
# or a flag that takes no value.
COUNT, POSITIVE, SECONDS, TEXT, TEXTS, FLAG, LENGTHS = (
    "count", "positive", "seconds", "text", "texts", "flag", "lengths")

# (option, destination, kind, metavar, group, help)
OPTIONS = (
    ("--max-words", "max_words", COUNT, "N", "constraints",
     "use at most N words"),
    ("--min-word-length", "min_word_length", COUNT, "N", "constraints",
     "use only words of at least N letters"),
    ("--must-start-with", "must_start_with", TEXT, "LETTERS", "constraints",
     "for each letter, at least as many words as it occurs in LETTERS start "
     "with it ('aab': two words start with a, one with b)"),
    ("--can-only-start-with", "can_only_start_with", TEXT, "LETTERS",
     "constraints", "every word starts with one of LETTERS"),
    ("--must-not-start-with", "must_not_start_with", TEXT, "LETTERS",
     "constraints", "no word starts with any of LETTERS"),
    ("--contains", "contains", TEXTS, "TEXT", "constraints",
     "some word contains the letters of TEXT in a row; repeat it for several "
     "texts, which must all be found"),
    ("--timeout", "timeout", SECONDS, "SECONDS", "constraints",
     "bound the solve to about SECONDS: the search stops early enough to "
     "sort what it found in time (printing comes on top)"),
    ("--max-solutions", "max_solutions", COUNT, "N", "constraints",
     "stop searching once N solutions are found"),
    ("--max-word-length", "max_word_length", POSITIVE, "N", "constraints",
     "use only words of at most N letters"),
    ("--min-words", "min_words", COUNT, "N", "constraints",
     "use at least N words"),
    ("--words", "word_count", POSITIVE, "N", "constraints",
     "use exactly N words (--min-words N --max-words N)"),
    ("--lengths", "lengths", LENGTHS, "N,N,...", "constraints",
     "use words of exactly these lengths, a crossword enumeration such as "
     "5,4 (or 5-4, or '5 4'); each solution gives its words in that order"),
    ("--include", "include", TEXTS, "WORD", "constraints",
     "every solution holds WORD (its letters come from the phrase first); "
     "repeat it for several words, or for one word several times"),
    ("--exclude", "exclude", TEXTS, "WORD", "constraints",
     "never use WORD; repeat it for several words"),
    ("--exclude-file", "exclude_files", TEXTS, "FILE", "constraints",
     "never use the words of FILE (UTF-8, one word per line)"),
    ("--distinct", "distinct", FLAG, None, "constraints",
     "use no word more than once in a solution"),
    ("--leftover", "leftover", COUNT, "N", "constraints",
     "allow up to N letters of the phrase to stay unused; each solution "
     "shows them after its words, as in 'dirty room (-o)'"),
    ("--dict", "dictionaries", TEXTS, "FILE", "dictionary",
     "load the words of FILE (UTF-8, one word per line), or of standard "
     "input when FILE is -; repeat it for several files; without it the "
     "bundled English list is used"),
    ("--word", "words", TEXTS, "WORD", "dictionary",
     "add WORD to the dictionary; repeat it for several words"),
    ("--no-fold", "no_fold", FLAG, None, "dictionary",
     "keep only the letters a-z of the dictionary's words and of the phrase "
     "instead of folding accented letters to them (é to e, ß to ss)"),
    ("--count", "count", FLAG, None, "output",
     "print only the number of solutions"),
    ("--json", "json", FLAG, None, "output",
     "print one JSON array holding each solution as an array of words"),
    ("--best", "best", COUNT, "K", "ranking",
     "print only the K best solutions, best first, one per line with its "
     "score first: the sum of its words' weights, base-10 logarithms of how "
     "common they are (the bundled list comes with English weights; without "
     "weights, fewer words rank first)"),
    ("--rank", "rank", FLAG, None, "ranking",
     "print every solution best first, each with its score first, as --best "
     "does"),
    ("--weights", "weights", TEXT, "FILE", "ranking",
     "with --best or --rank, take the weights from FILE, lines of "
     "word<TAB>count (a word's weight is log10(count / total)); words it "
     "does not name get a floor below its rarest"),
    ("--batch", "batch", TEXT, "FILE", "batch",
     "solve every line of FILE (- for standard input) as a phrase of its own "
     "and print one JSON object per phrase, in input order (JSON Lines): "
     '{"phrase": ..., "count": ..., "solutions": [...]}, without "solutions" '
     'under --count, with "error" instead when the phrase cannot be solved'),
    ("--jobs", "jobs", POSITIVE, "N", "batch",
     "solve the phrases of --batch in N worker processes (default: one per "
     "core; at most four per core)"),
)
_OPTION_BY_FLAG = {option[0]: option for option in OPTIONS}
# Options of which at most one may be given.
_EXCLUSIVE = ("count", "json")


def _whole_number(text: str, smallest: int) -> int | None:
    try:
        value = int(text, 10)
    except ValueError:
        return None
    return value if smallest <= value <= LARGEST_COUNT else None


def _read_value(kind: str, text: str) -> object:
    """The value of an option of `kind` given as `text`; raises ValueError
    with argparse's message when it is not one."""
    if kind in (COUNT, POSITIVE):
        smallest = 1 if kind == POSITIVE else 0
        value = _whole_number(text, smallest)
        if value is None:
            raise ValueError(f"expected a whole number from {smallest} to "
                             f"{LARGEST_COUNT}, got {text!r}")
        return value
    if kind == SECONDS:
        try:
            return float(text)
        except ValueError:
            raise ValueError(f"invalid float value: {text!r}") from None
    if kind == LENGTHS:
        pieces = text.replace(",", " ").replace("-", " ").split()
        lengths = [_whole_number(piece, 1) for piece in pieces]
        if not lengths or None in lengths:
            raise ValueError(f"expected word lengths of at least 1 such as "
                             f"5,4 or 5-4, got {text!r}")
        return lengths
    return text


class Arguments:
    """The parsed command line: one attribute per option destination, and
    `phrase`, the list of PHRASE arguments."""

    def __init__(self, values: dict[str, object]) -> None:
        self.__dict__.update(values)

    phrase: list[str]
    max_words: int | None
    min_word_length: int | None
    must_start_with: str | None
    can_only_start_with: str | None
    must_not_start_with: str | None
    contains: list[str] | None
    timeout: float | None
    max_solutions: int | None
    max_word_length: int | None
    min_words: int | None
    word_count: int | None
    lengths: list[int] | None
    include: list[str] | None
    exclude: list[str] | None
    exclude_files: list[str] | None
    distinct: bool
    leftover: int | None
    dictionaries: list[str] | None
    words: list[str] | None
    no_fold: bool
    count: bool
    json: bool
    best: int | None
    rank: bool
    weights: str | None
    batch: str | None
    jobs: int | None


def _defaults() -> dict[str, object]:
    values: dict[str, object] = {
        option[1]: (False if option[2] == FLAG else None) for option in OPTIONS}
    values["phrase"] = []
    return values


def _usage_problem(values: dict[str, object]) -> str | None:
    """What is wrong with options that each parsed well, for parser.error."""
    if values["batch"] is None and not values["phrase"]:
        return "the following arguments are required: PHRASE"
    if values["batch"] is not None and values["phrase"]:
        return "argument --batch: not allowed with PHRASE"
    if values["jobs"] is not None and values["batch"] is None:
        return "argument --jobs: only allowed with --batch"
    ranking = values["best"] is not None or values["rank"]
    if values["best"] is not None and values["rank"]:
        return "argument --rank: not allowed with argument --best"
    if ranking and values["count"]:
        return "argument --count: not allowed with --best or --rank"
    if ranking and values["batch"] is not None:
        return "argument --batch: not allowed with --best or --rank"
    if values["weights"] is not None and not ranking:
        return "argument --weights: only allowed with --best or --rank"
    if values["word_count"] is not None and (
            values["max_words"] is not None or values["min_words"] is not None):
        return "argument --words: not allowed with --max-words or --min-words"
    # Standard input is read to its end by the first of them that reads it.
    readers = [(name, what) for name, what, given in (
        ("--batch", "the phrases", [values["batch"]]),
        ("--dict", "the dictionary", values["dictionaries"]),
        ("--exclude-file", "the words to exclude", values["exclude_files"]),
    ) if isinstance(given, list) and STANDARD_INPUT in given]
    if len(readers) > 1:
        (name, what), (other_name, other_what) = readers[:2]
        return (f"argument {name}: standard input cannot hold both {what} "
                f"and {other_what} ({other_name} -)")
    return None


def parse_directly(argv: Sequence[str]) -> Arguments | None:
    """Reads the usual forms of a command line (whole option names, `--name
    value` or `--name=value`, the PHRASE arguments together), or gives None
    for anything else, which argparse then reads or refuses."""
    values = _defaults()
    phrase: list[str] = []
    phrase_ended = False
    index = 0
    while index < len(argv):
        token = argv[index]
        index += 1
        if not token.startswith("-"):
            if phrase_ended:
                return None
            phrase.append(token)
            continue
        if phrase:
            phrase_ended = True
        name, equals, attached = token.partition("=")
        option = _OPTION_BY_FLAG.get(name)
        if option is None:
            return None
        _, destination, kind, _, _, _ = option
        if kind == FLAG:
            if equals:
                return None
            values[destination] = True
            continue
        if not equals:
            if index == len(argv):
                return None
            attached = argv[index]
            index += 1
            if attached.startswith("-") and attached != STANDARD_INPUT:
                return None
        try:
            value = _read_value(kind, attached)
        except ValueError:
            return None
        if kind == TEXTS:
            values[destination] = [*(values[destination] or ()), value]  # type: ignore[misc]
        else:
            values[destination] = value
    values["phrase"] = phrase
    if all(values[name] for name in _EXCLUSIVE) or _usage_problem(values):
        return None
    return Arguments(values)


def new_parser(**options: Any) -> argparse.ArgumentParser:
    """An argparse parser whose help, when standard output cannot take it,
    raises the OSError: argparse drops it, so that with an unbuffered
    standard output nothing would be printed and the status would be 0;
    with standard output closed, it would print the help to standard
    error."""
    import argparse
    import errno
    import os
    import re
    import sys

    class Parser(argparse.ArgumentParser):
        def __init__(self, **options: Any) -> None:
            super().__init__(**options)
            # argparse takes "-1" and "-.5" for values, but "-1e5", "-1." and
            # "-inf" for options, which left --timeout without its value.
            # Every negative number that float() reads is a value; no option
            # of this command looks like one.
            self._negative_number_matcher = re.compile(
                r"^-(?:(?:\d+\.?\d*|\.\d+)(?:e[-+]?\d+)?|inf|infinity|nan)$",
                re.IGNORECASE)

        def print_help(self, file: SupportsWrite[str] | None = None) -> None:
            if file is None and sys.stdout is None:
                raise OSError(errno.EBADF, os.strerror(errno.EBADF))
            super().print_help(file)

        def error(self, message: str) -> NoReturn:
            # print_usage takes a missing standard error for standard output,
            # where the usage would go among the solutions.
            if sys.stderr is None:
                self.exit(2)
            super().error(message)

        def _print_message(self, message: str,
                           file: SupportsWrite[str] | None = None) -> None:
            if message and file is not None and file is sys.stdout:
                file.write(message)
            else:
                super()._print_message(message, file)

    return Parser(**options)


def build_parser() -> argparse.ArgumentParser:
    import argparse

    def typed(kind: str):  # type: ignore[no-untyped-def]
        def read(text: str) -> object:
            try:
                return _read_value(kind, text)
            except ValueError as error:
                raise argparse.ArgumentTypeError(str(error)) from None
        read.__name__ = kind
        return read

    parser = new_parser(
        prog=PROGRAM,
        description="Print every combination of dictionary words that uses "
        "exactly the letters\nof PHRASE, one solution per line.",
        epilog=EXAMPLES,
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    parser.add_argument(
        "phrase", nargs="*", metavar="PHRASE",
        help="the text to rearrange; several arguments are joined by spaces")
    groups = {
        "constraints": parser.add_argument_group("constraints"),
        "dictionary": parser.add_argument_group("dictionary"),
        "output": parser.add_argument_group("output")
        .add_mutually_exclusive_group(),
        "ranking": parser.add_argument_group("best first"),
        "batch": parser.add_argument_group("many phrases"),
    }
    for flag, destination, kind, metavar, group, help_text in OPTIONS:
        if kind == FLAG:
            groups[group].add_argument(flag, dest=destination,
                                       action="store_true", help=help_text)
        else:
            groups[group].add_argument(
                flag, dest=destination, type=typed(kind), metavar=metavar,
                action="append" if kind == TEXTS else "store", help=help_text)
    return parser


def parse_arguments(argv: Sequence[str]) -> Arguments:
    """The parsed command line; raises SystemExit as argparse does for
    --help and usage errors."""
    return parse_directly(argv) or parse_arguments_with_argparse(argv)


def parse_arguments_with_argparse(argv: Sequence[str]) -> Arguments:
    parser = build_parser()
    values = vars(parser.parse_args(argv))
    problem = _usage_problem(values)
    if problem:
        parser.error(problem)
    return Arguments(values)
