"""How the command writes solutions that it holds as Python objects: with
their scores (--best, --rank), and with the letters their blanks became or
they left over. Plain results go out through Anagrams.write instead."""

from __future__ import annotations

import os
import sys

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Iterator, Sequence
    from typing import Any, BinaryIO

# Solutions made into Python objects at once, so that memory holds one slice.
RANKED_SLICE = 1 << 16


def write_bytes(out: BinaryIO, data: bytes) -> None:
    """Writes all of `data` to `out`: to its descriptor when it has one (after
    flushing it), as Anagrams.write does. A file object would lose the rest
    of a short write when unbuffered (python -u, PYTHONUNBUFFERED; a disk that
    fills up, a reader that goes away) and fail when a non-blocking
    descriptor is full; here the writing goes on, or fails with the error
    that stopped it."""
    try:
        descriptor = out.fileno()
    except (AttributeError, OSError, ValueError):
        out.write(data)
        return
    out.flush()
    view = memoryview(data)
    while view:
        try:
            view = view[os.write(descriptor, view):]
        except BlockingIOError:
            wait_until_ready(descriptor, writing=True)


def wait_until_ready(descriptor: int, writing: bool) -> None:
    """Waits until a non-blocking `descriptor` can be written to (or read
    from) without blocking."""
    import select

    ready = select.poll()
    ready.register(descriptor, select.POLLOUT if writing else select.POLLIN)
    ready.poll()


def write(text: str) -> None:
    """Writes `text` to standard output (see write_bytes)."""
    stream = sys.stdout
    buffer = getattr(stream, "buffer", None)
    if buffer is None:
        stream.write(text)
        return
    stream.flush()
    write_bytes(buffer, text.encode(stream.encoding, stream.errors or "strict"))


def letters_text(blanks: str, leftover: str) -> str:
    """What follows a solution's words: " [+w]" for the letters its blanks
    became, " (-o)" for those it left over."""
    return (f" [+{blanks}]" if blanks else "") + (f" (-{leftover})" if leftover else "")


def json_string(text: str) -> str:
    """`text` as json.dumps writes it, without importing json (and re) first."""
    try:
        from _json import encode_basestring_ascii
    except ImportError:  # an interpreter without json's accelerator
        import json

        return json.dumps(text)
    return encode_basestring_ascii(text)


def json_word(word: str) -> str:
    return f'"{word}"' if word.isascii() else json_string(word)


def json_item(words: list[str], letters: tuple[str, str] | None = None,
              score: float | None = None) -> str:
    """One solution as json.dumps writes {"score": ..., "words": [...],
    "blanks": ..., "leftover": ...}, with the parts it is given."""
    fields = [] if score is None else [f'"score": {score!r}']
    fields.append(f'"words": [{", ".join(map(json_word, words))}]')
    if letters is not None:
        fields += [f'"blanks": "{letters[0]}"', f'"leftover": "{letters[1]}"']
    return "{" + ", ".join(fields) + "}"


def write_json_items(items: list[str], after_another: bool) -> None:
    """Items of a JSON array, the first after ", " when `after_another`."""
    text = ", ".join(items)
    write(", " + text if after_another and items else text)


def write_ranked(scores: Sequence[float], solutions: Sequence[list[str]], as_json: bool,
                 after_another: bool = False,
                 letters: Sequence[tuple[str, str]] | None = None) -> None:
    """Writes solutions with their scores: "-12.26  dirty room window" lines,
    or (`as_json`) the items of a JSON array, {"score": -12.26, "words":
    [...]} as json.dumps gives them. With `letters`, each solution's blanks
    and leftover letters too."""
    pairs = letters if letters is not None else [None] * len(scores)
    if as_json:
        write_json_items([json_item(words, pair, score) for score, words, pair
                          in zip(scores, solutions, pairs, strict=True)], after_another)
        return
    write("".join(f"{score:.2f}  {' '.join(words)}{letters_text(*pair or ('', ''))}\n"
                             for score, words, pair in zip(scores, solutions, pairs, strict=True)))


def slices(result: Any) -> Iterator[tuple[int, Any]]:
    """The result a slice at a time, so that memory holds only one slice of
    Python objects."""
    for start in range(0, len(result), RANKED_SLICE):
        yield start, result[start:start + RANKED_SLICE]


def write_ranked_result(result: Any, as_json: bool, with_letters: bool) -> None:
    if as_json:
        write("[")
    for start, part in slices(result):
        letters = None
        if with_letters:
            letters = [part.details(i)[1:] for i in range(len(part))]
        write_ranked(part.scores(), part, as_json, after_another=start > 0, letters=letters)
    if as_json:
        write("]\n")


def write_with_letters(result: Any, as_json: bool) -> None:
    """Writes each solution with the letters its blanks became and those it
    left over: "dirty room [+w]" lines, or a JSON array of {"words": [...],
    "blanks": ..., "leftover": ...} objects."""
    if as_json:
        write("[")
    for start, part in slices(result):
        details = [part.details(i) for i in range(len(part))]
        if as_json:
            write_json_items([json_item(d.words, (d.blanks, d.leftover)) for d in details],
                             start > 0)
        else:
            write("".join(f"{' '.join(d.words)}{letters_text(d.blanks, d.leftover)}\n"
                                     for d in details))
    if as_json:
        write("]\n")
