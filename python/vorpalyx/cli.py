"""The `vorpalyx` command: prints every anagram of a phrase.

Each constraint option maps onto one keyword of `Lexicon.search`; the command
adds dictionary selection, output forms and batches of phrases. Results are
written by `Anagrams.write`, natively and in large chunks, so the first line
goes out as soon as the search ends and no Python object is made per line.

Start-up matters for a command that often runs for a few milliseconds, so
only what a run needs is imported: the usual command lines are read without
argparse (see _arguments.py).
"""

from __future__ import annotations

import errno
import io
import os
import sys

from vorpalyx._arguments import PROGRAM, STANDARD_INPUT, Arguments, parse_arguments
from vorpalyx._dictionary import default_dictionary_path
from vorpalyx._engine import Lexicon, fold
from vorpalyx._output import (
    wait_until_ready,
    write,
    write_ranked,
    write_ranked_result,
    write_with_letters,
)

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Callable, Sequence
    from typing import IO, Any, AnyStr, BinaryIO

    from _typeshed import WriteableBuffer

EXIT_SUCCESS = 0
EXIT_FAILURE = 1
EXIT_USAGE = 2
# What a shell reports for a process killed by SIGINT or SIGPIPE (128 + the
# signal number), so scripts see the same status as from other tools.
EXIT_INTERRUPTED = 130
EXIT_BROKEN_PIPE = 141

_ASCII_LETTERS = frozenset("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ")


class Refused(Exception):
    """An input that the command cannot take; the message says which."""


def tell(line: str) -> None:
    """Writes a line to standard error. With standard error closed, print
    would write it to standard output, among the solutions; a standard error
    that cannot take the line (a full disk) is not the command failing."""
    if sys.stderr is not None:
        try:
            print(line, file=sys.stderr)
        except OSError:
            pass


def reason(error: OSError | UnicodeDecodeError | MemoryError) -> str:
    if isinstance(error, UnicodeDecodeError):
        return "stream did not contain valid UTF-8"
    if isinstance(error, MemoryError):
        return "out of memory"
    if error.errno:
        return f"{error.strerror} (os error {error.errno})"
    return str(error)


def _read_to_end(stream: IO[AnyStr]) -> AnyStr:
    """What is left of `stream`, read a megabyte at a time: a single read of
    an input that never ends (/dev/zero, `yes`) would take neither Ctrl-C
    nor a pause until memory ran out."""
    pieces: list[AnyStr] = []
    while piece := stream.read(1 << 20):
        pieces.append(piece)
    return piece.join(pieces)


class _WaitingReader(io.RawIOBase):
    """Reads a non-blocking descriptor as a blocking one: a read that finds
    nothing there yet waits for something, where a file object would give
    None or end a line early."""

    def __init__(self, descriptor: int) -> None:
        self._descriptor = descriptor

    def readable(self) -> bool:
        return True

    def readinto(self, buffer: WriteableBuffer, /) -> int:
        while True:
            try:
                return os.readv(self._descriptor, [buffer])
            except BlockingIOError:
                wait_until_ready(self._descriptor, writing=False)


def standard_input_bytes() -> BinaryIO | None:
    """The bytes of standard input; None for a text stream without bytes
    beneath it (io.StringIO, say). Another process sharing its descriptor
    (a terminal, say) may have made it non-blocking; it is read through a
    reader that waits then."""
    stream: BinaryIO | None = getattr(sys.stdin, "buffer", None)
    try:
        if stream is None or os.get_blocking(stream.fileno()):
            return stream
    except (AttributeError, OSError, ValueError):
        return stream
    return io.BufferedReader(_WaitingReader(stream.fileno()))


def _read_standard_input(what: str) -> str:
    try:
        if sys.stdin is None:
            raise OSError(errno.EBADF, os.strerror(errno.EBADF))
        stream = standard_input_bytes()
        # A text stream without bytes beneath it (io.StringIO, say) is read
        # as text.
        if stream is None:
            text: str = _read_to_end(sys.stdin)
            return text
        return _read_to_end(stream).decode("utf-8")
    except (OSError, UnicodeDecodeError, MemoryError) as error:
        raise Refused(f"standard input: Failed to read {what}: "
                      f"{reason(error)}") from error


def load_lexicon(arguments: Arguments) -> Lexicon:
    ranking = arguments.best is not None or arguments.rank
    # The bundled list with its weights, which only a ranking reads.
    bundled_with_weights = ranking and not arguments.dictionaries
    bundled = default_dictionary_path()
    try:
        lexicon = Lexicon.english() if bundled_with_weights else Lexicon()
    except OSError as error:
        raise Refused(f"{error.filename or bundled}: Failed to read dictionary: "
                      f"{reason(error)}") from error
    folds = not arguments.no_fold
    for path in [] if bundled_with_weights else arguments.dictionaries or [bundled]:
        if path == STANDARD_INPUT:
            # Lines split at "\n" only, as in a file; a "\r" left at a line's
            # end is not a letter, so normalisation drops it.
            lexicon.load_words(_read_standard_input("dictionary").split("\n"), fold=folds)
            continue
        try:
            # The bundled list is plain a-z, which folding leaves alone.
            lexicon.load_path(path, fold=folds and path != bundled)
        except (OSError, UnicodeDecodeError, MemoryError) as error:
            raise Refused(f"{path}: Failed to read dictionary: "
                          f"{reason(error)}") from error
        except ValueError as error:
            # A name that no file can have: with a NUL, or not encodable.
            raise Refused(f"argument --dict: {error}") from error
    if arguments.words:
        try:
            lexicon.load_words(arguments.words, fold=folds)
        except ValueError as error:
            raise Refused(f"argument --word: {error}") from error
    if arguments.weights is not None:
        try:
            lexicon.set_weights(arguments.weights)
        except (OSError, UnicodeDecodeError, MemoryError) as error:
            raise Refused(f"{arguments.weights}: Failed to read weights: "
                          f"{reason(error)}") from error
        except ValueError as error:
            raise Refused(f"argument --weights: {error}") from error
    return lexicon


def read_excluded_words(arguments: Arguments) -> None:
    """Adds the words of the --exclude-file files to arguments.exclude."""
    for path in arguments.exclude_files or []:
        try:
            if path == STANDARD_INPUT:
                text = _read_standard_input("words to exclude")
            else:
                with open(path, encoding="utf-8") as file:
                    text = _read_to_end(file)
        except (OSError, UnicodeDecodeError, MemoryError) as error:
            raise Refused(f"{path}: Failed to read words to exclude: "
                          f"{reason(error)}") from error
        except ValueError as error:
            raise Refused(f"argument --exclude-file: {error}") from error
        arguments.exclude = [*(arguments.exclude or ()), *text.split("\n")]
    arguments.exclude_files = None


def constraints(arguments: Arguments) -> dict[str, Any]:
    """The keywords of Lexicon.search and Lexicon.count that the options
    give."""
    exactly = arguments.word_count
    return {
        "must_start_with": arguments.must_start_with,
        "can_only_ever_start_with": arguments.can_only_start_with,
        "must_not_start_with": arguments.must_not_start_with,
        "max_words": arguments.max_words if exactly is None else exactly,
        "min_word_length": arguments.min_word_length,
        "timeout_seconds": arguments.timeout,
        "max_solutions": arguments.max_solutions,
        "contains_patterns": arguments.contains,
        "max_word_length": arguments.max_word_length,
        "min_words": arguments.min_words if exactly is None else exactly,
        "lengths": arguments.lengths,
        "include": arguments.include,
        "exclude": arguments.exclude,
        "distinct": arguments.distinct or None,
        "leftover": arguments.leftover,
        "fold": not arguments.no_fold,
    }


def letter_counts(text: str) -> dict[str, int]:
    letters = text.lower()
    return {letter: letters.count(letter) for letter in set(letters) if letter in _ASCII_LETTERS}


def why_nothing(lexicon: Lexicon, phrase: str, arguments: Arguments) -> str | None:
    """Why the phrase can have no solution under --include or --lengths, in
    a line for standard error; None when it may have some."""
    def letters(text: str) -> str:
        if arguments.no_fold:
            return "".join(c for c in text.lower() if c in _ASCII_LETTERS)
        return fold(text)

    blanks = phrase.count("?")
    phrase = letters(phrase.replace("?", "")) + "?" * blanks
    available = letter_counts(phrase)
    if not all(map(letters, arguments.include or ())):
        # The search refuses an included word without letters, saying so.
        return None
    for word in arguments.include or ():
        stored = letters(word)
        if stored not in lexicon:
            return f"--include {word!r} is not in the dictionary"
        for letter, count in letter_counts(stored).items():
            # A blank stands in for a letter the phrase lacks.
            blanks -= max(0, count - available.get(letter, 0))
            available[letter] = max(0, available.get(letter, 0) - count)
        if blanks < 0:
            return f"the phrase has not the letters of --include {word!r}"
    if arguments.lengths:
        most = sum(letter_counts(phrase).values()) + phrase.count("?")
        total = sum(arguments.lengths)
        fewest = most - (arguments.leftover or 0)
        if not fewest <= total <= most:
            spelled = ",".join(map(str, arguments.lengths))
            return (f"--lengths {spelled} add up to {total} letters, "
                    f"the phrase has {most}")
    return _contradiction(arguments, letters)


def _contradiction(arguments: Arguments, letters: Callable[[str], str]) -> str | None:
    """Which two options contradict each other, if any: a least above a
    most, or word lengths or included words that a bound rules out."""
    def named(option: str, value: int | None) -> tuple[str, int] | None:
        return None if value is None else (f"{option} {value}", value)

    exactly = named("--words", arguments.word_count)
    fewest_words = exactly or named("--min-words", arguments.min_words)
    most_words = exactly or named("--max-words", arguments.max_words)
    shortest = named("--min-word-length", arguments.min_word_length)
    longest = named("--max-word-length", arguments.max_word_length)
    for low, high in ((fewest_words, most_words), (shortest, longest)):
        if low and high and low[1] > high[1]:
            return f"{low[0]} is more than {high[0]}"
    counted: list[tuple[str, int, list[int]]] = []
    if arguments.lengths:
        counted.append((f"--lengths {','.join(map(str, arguments.lengths))}",
                        len(arguments.lengths), arguments.lengths))
    if arguments.include:
        counted.append(("--include", len(arguments.include),
                        [len(letters(word)) for word in arguments.include]))
    def many(count: int, what: str) -> str:
        return f"{count} {what}" + ("" if count == 1 else "s")

    for what, words, lengths in counted:
        if most_words and words > most_words[1]:
            return f"{what} gives {many(words, 'word')}, more than {most_words[0]}"
        if fewest_words and words < fewest_words[1] and what != "--include":
            return f"{what} gives {many(words, 'word')}, fewer than {fewest_words[0]}"
        if longest and max(lengths) > longest[1]:
            return (f"{what} has a word of {many(max(lengths), 'letter')}, "
                    f"more than {longest[0]}")
        if shortest and min(lengths) < shortest[1]:
            return (f"{what} has a word of {many(min(lengths), 'letter')}, "
                    f"fewer than {shortest[0]}")
    return None


_PYTHON_ADVICE = ("bound it with max_solutions or timeout_seconds, "
                  "or count the solutions with vorpalyx.Lexicon.count")
_COMMAND_ADVICE = "bound it with --max-solutions or --timeout, or count them with --count"


def refusal_text(error: Exception, phrase: str, arguments: Arguments,
                 name_phrase: bool = True) -> str:
    """The one-line message for an argument that the engine refused,
    naming the option whose text could not be encoded (the phrase as
    PHRASE when `name_phrase`)."""
    if isinstance(error, MemoryError):
        # The engine's advice names the Python arguments; here, the options.
        return (str(error).replace(_PYTHON_ADVICE, _COMMAND_ADVICE)
                or "out of memory")
    if isinstance(error, UnicodeEncodeError):
        if error.object == phrase:
            return f"argument PHRASE: {error}" if name_phrase else str(error)
        texts = [
            ("--must-start-with", arguments.must_start_with),
            ("--can-only-start-with", arguments.can_only_start_with),
            ("--must-not-start-with", arguments.must_not_start_with),
        ] + [(name, text) for name, given in (
            ("--contains", arguments.contains), ("--include", arguments.include),
            ("--exclude", arguments.exclude)) for text in given or []]
        for name, text in texts:
            if text == error.object:
                return f"argument {name}: {error}"
    return str(error)


def has_letters(phrase: str, folds: bool = True) -> bool:
    if _ASCII_LETTERS.isdisjoint(phrase):
        return folds and not phrase.isascii() and bool(fold(phrase))
    return True


def _solve_one(lexicon: Lexicon, arguments: Arguments) -> None:
    phrase = " ".join(arguments.phrase)
    try:
        # A phrase is encoded before its letters are looked at, so that one
        # that cannot be is refused whatever it holds.
        phrase.encode("utf-8")
        if not has_letters(phrase, not arguments.no_fold) and "?" not in phrase:
            lexicon.count(phrase, **constraints(arguments))
            tell(f"{PROGRAM}: note: no letters in the phrase")
            return
        # Told once the search has taken the phrase: a refusal is the one
        # line then.
        nothing = why_nothing(lexicon, phrase, arguments)
        with_letters = "?" in phrase or bool(arguments.leftover)
        if arguments.count:
            count = lexicon.count(phrase, **constraints(arguments))
        elif arguments.best is not None:
            best = lexicon.best(phrase, arguments.best, **constraints(arguments))
        else:
            result = lexicon.search(
                phrase, order="score" if arguments.rank else "standard",
                **constraints(arguments))
    except (ValueError, OverflowError, MemoryError) as error:
        raise Refused(refusal_text(error, phrase, arguments)) from error
    except OSError as error:
        # The bundled weights are read by the first ranking; this is not
        # the output failing.
        if error.filename is None:
            raise Refused(reason(error)) from error
        raise Refused(f"{error.filename}: Failed to read weights: "
                      f"{reason(error)}") from error
    if nothing is not None:
        tell(f"{PROGRAM}: note: no solutions: {nothing}")
    if arguments.best is not None:
        if arguments.json:
            write("[")
        write_ranked([ranked.score for ranked in best],
                      [ranked.words for ranked in best], arguments.json,
                      letters=[(r.blanks, r.leftover) for r in best] if with_letters else None)
        if arguments.json:
            write("]\n")
    elif arguments.rank:
        write_ranked_result(result, arguments.json, with_letters)
    elif arguments.count:
        write(f"{count}\n")
    elif with_letters:
        write_with_letters(result, arguments.json)
    elif arguments.json:
        result.write(sys.stdout, format="json")
        write("\n")
    else:
        result.write(sys.stdout)
    # A result cut to --max-solutions is what was asked for; one cut by
    # the time limit may lack solutions, which the output cannot show.
    if (arguments.best is None and not arguments.count and result.partial
            and (arguments.max_solutions is None or len(result) < arguments.max_solutions)):
        tell(f"{PROGRAM}: note: the time limit stopped the search; solutions may be missing")


def _write_utf8() -> None:
    """Has standard output write UTF-8, as the command's output is, whatever
    encoding the locale gives it (one that may lack letters of the words)."""
    import codecs

    encoding = getattr(sys.stdout, "encoding", None)
    if (isinstance(encoding, str) and codecs.lookup(encoding).name != "utf-8"
            and hasattr(sys.stdout, "reconfigure")):
        sys.stdout.reconfigure(encoding="utf-8")


def _run(argv: Sequence[str]) -> int:
    try:
        arguments = parse_arguments(argv)
    except SystemExit as exit_request:
        # argparse exits with 0 after --help and with 2 on a usage error.
        code = exit_request.code
        return code if isinstance(code, int) else EXIT_USAGE
    try:
        lexicon = load_lexicon(arguments)
        read_excluded_words(arguments)
        if sys.stdout is None:
            raise OSError(errno.EBADF, os.strerror(errno.EBADF))
        _write_utf8()
        if arguments.batch is not None:
            from vorpalyx._batch import solve_batch

            solve_batch(lexicon, arguments)
        else:
            _solve_one(lexicon, arguments)
    except Refused as refusal:
        tell(f"{PROGRAM}: error: {refusal}")
        return EXIT_FAILURE
    return EXIT_SUCCESS


def discard_further_output() -> None:
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
    argv = sys.argv[1:] if argv is None else argv
    if argv and argv[0] == "serve":
        from vorpalyx.server.command import main as serve

        return serve(argv[1:])
    try:
        status = _run(argv)
        if sys.stdout is not None:
            sys.stdout.flush()
        return status
    except BrokenPipeError:
        discard_further_output()
        return EXIT_BROKEN_PIPE
    except OSError as error:
        # Writing the output failed (a full disk, say); what is still
        # buffered cannot be written either.
        discard_further_output()
        tell(f"{PROGRAM}: error: standard output: {reason(error)}")
        return EXIT_FAILURE
    except KeyboardInterrupt:
        return EXIT_INTERRUPTED
