"""The dictionary methods of Solver and the conversions of their arguments."""

import ctypes
import errno
import os
import pathlib
import subprocess
import sys
import textwrap
from collections.abc import Callable, Iterator

import pytest

from vorpalyx.core import Solver

from dictionary_cases import (
    CAT_AND_DOG_FILES,
    CAT_AND_DOG_SEQUENCES,
    EVERY_SCALAR_VALUE,
    NOT_UTF8_FILES,
    ONE_WORD_LINES,
    STORED_FORMS,
)
from hostile import GetItemSequence, Holder, RaisingIteration, Sneaky, Text

HasWord = Callable[[Solver, str], bool]


def generator() -> Iterator[str]:
    yield "cat"


class TestLoadFromWords:
    # The errors an iteration raises are in test_hostile_inputs.py.
    @pytest.mark.parametrize("words", CAT_AND_DOG_SEQUENCES.values(), ids=CAT_AND_DOG_SEQUENCES)
    def test_accepted_sequences(self, solver: Solver, has_word: HasWord, words) -> None:
        assert solver.load_dictionary_from_words(words) is None
        assert has_word(solver, "cat")
        assert has_word(solver, "dog")
        assert solver.solve("tacgod", max_words=2) == [["cat", "dog"]]

    def test_iteration_protocol_decides_the_items(self, solver: Solver, has_word: HasWord) -> None:
        class Rewritten(list):
            def __iter__(self) -> Iterator[str]:
                yield from ["cat", "dog"]

        solver.load_dictionary_from_words(Rewritten(["emu"]))
        assert has_word(solver, "cat")
        assert has_word(solver, "dog")
        assert not has_word(solver, "emu")

    @pytest.mark.parametrize("words", [[], (), range(0), b"", GetItemSequence()])
    def test_empty_sequences_add_nothing(self, solver: Solver, words) -> None:
        assert solver.load_dictionary_from_words(words) is None
        assert solver.solve("a") == []

    def test_caller_list_is_not_kept(self, solver: Solver) -> None:
        words = ["cat"]
        solver.load_dictionary_from_words(words)
        words.append("dog")
        assert solver.solve("dog") == []


class TestAddWord:
    @pytest.mark.parametrize(("word", "stored"), STORED_FORMS)
    def test_stores_normalised(
        self, solver: Solver, has_word: HasWord, word: str, stored: str
    ) -> None:
        assert solver.add_word(word) is None
        assert has_word(solver, stored)


def letters(number: int) -> str:
    """A distinct word of letters for every number."""
    word = ""
    while True:
        number, digit = divmod(number, 26)
        word += chr(ord("a") + digit)
        if number == 0:
            return word


def write(directory: pathlib.Path, content: bytes, name: str = "words.txt") -> str:
    path = directory / name
    path.write_bytes(content)
    return str(path)


class TestLoadFromPath:
    @pytest.mark.parametrize(
        "content",
        [*CAT_AND_DOG_FILES.values(), EVERY_SCALAR_VALUE],
        ids=[*CAT_AND_DOG_FILES, "every-scalar-value"],
    )
    def test_loads_each_line(
        self, solver: Solver, has_word: HasWord, tmp_path, content: bytes
    ) -> None:
        assert solver.load_dictionary_from_path(write(tmp_path, content)) is None
        assert has_word(solver, "cat")
        assert has_word(solver, "dog")
        assert solver.solve("tacgod", max_words=2) == [["cat", "dog"]]

    def test_a_line_is_one_word(self, solver: Solver, has_word: HasWord, tmp_path) -> None:
        solver.load_dictionary_from_path(write(tmp_path, ONE_WORD_LINES))
        assert has_word(solver, "icecream")
        assert has_word(solver, "abcd")
        assert has_word(solver, "xy")
        assert solver.solve("ice") == []
        assert solver.solve("ab") == []

    def test_file_larger_than_one_read(self, solver: Solver, has_word: HasWord, tmp_path) -> None:
        # Words and a two-byte character straddle every 64 KiB boundary.
        lines = [f"{'é' * (index % 3)}{letters(index)}" for index in range(60_000)]
        solver.load_dictionary_from_path(write(tmp_path, "\n".join(lines).encode()))
        for index in [0, 1, 12_345, 30_000, 59_999]:
            assert has_word(solver, letters(index))

    def test_stream_without_size(self, solver: Solver, has_word: HasWord, tmp_path) -> None:
        fifo = tmp_path / "words.fifo"
        os.mkfifo(fifo)
        writer = subprocess.Popen(["sh", "-c", 'printf "cat\\r\\ndog" > "$0"', str(fifo)])
        try:
            solver.load_dictionary_from_path(str(fifo))
        finally:
            writer.wait(10)
        assert has_word(solver, "cat")
        assert has_word(solver, "dog")

    def test_empty_file(self, solver: Solver, tmp_path) -> None:
        assert solver.load_dictionary_from_path(write(tmp_path, b"")) is None
        assert solver.solve("a") == []

    def test_relative_path_from_working_directory(
        self, solver: Solver, has_word: HasWord, tmp_path, monkeypatch
    ) -> None:
        (tmp_path / "sub").mkdir()
        write(tmp_path / "sub", b"cat\n")
        monkeypatch.chdir(tmp_path)
        solver.load_dictionary_from_path(Text("sub/words.txt"))
        assert has_word(solver, "cat")

    def test_loads_of_every_kind_make_a_union(
        self, solver: Solver, has_word: HasWord, tmp_path
    ) -> None:
        solver.load_dictionary_from_path(write(tmp_path, b"cat\n", "one.txt"))
        solver.load_dictionary_from_path(write(tmp_path, b"dog\n", "two.txt"))
        solver.load_dictionary_from_words(["emu"])
        solver.add_word("yak")
        solver.load_dictionary_from_words(["dog"])  # a word twice is still one word
        assert all(has_word(solver, word) for word in ["cat", "dog", "emu", "yak"])
        assert solver.solve("tacgodemu", max_words=3) == [["cat", "dog", "emu"]]

    @pytest.mark.parametrize(
        ("make_path", "detail"),
        [
            (lambda d: str(d / "missing.txt"), f"{os.strerror(errno.ENOENT)} (os error 2)"),
            (lambda d: "missing-relative.txt", f"{os.strerror(errno.ENOENT)} (os error 2)"),
            (lambda d: "", f"{os.strerror(errno.ENOENT)} (os error 2)"),
            (lambda d: str(d), f"{os.strerror(errno.EISDIR)} (os error 21)"),
            (lambda d: write(d, b"x") + "/below", f"{os.strerror(errno.ENOTDIR)} (os error 20)"),
            (lambda d: str(d / "a\0b"), "file name contained an unexpected NUL byte"),
            (lambda d: "\0", "file name contained an unexpected NUL byte"),
            *[(lambda d, content=content: write(d, content), "stream did not contain valid UTF-8")
              for content in NOT_UTF8_FILES],
        ],
        ids=[
            "missing",
            "missing-relative",
            "empty",
            "directory",
            "not-a-directory",
            "nul",
            "only-nul",
            *[f"not-utf8-{index}" for index in range(len(NOT_UTF8_FILES))],
        ],
    )
    def test_read_errors(
        self, solver: Solver, assert_usable, tmp_path, monkeypatch, make_path, detail: str
    ) -> None:
        monkeypatch.chdir(tmp_path)
        solver.add_word("emu")
        with pytest.raises(OSError) as caught:
            solver.load_dictionary_from_path(make_path(tmp_path))
        error = caught.value
        assert type(error) is OSError
        assert error.args == (f"Failed to read dictionary: {detail}",)
        assert error.errno is None
        assert error.strerror is None
        assert error.filename is None
        # Nothing of a file that cannot be read is kept, not even its first lines.
        assert solver.solve("act") == []
        assert solver.solve("emu") == [["emu"]]
        assert_usable(solver)

    @pytest.mark.skipif(
        hasattr(ctypes.CDLL(None), "__asan_init"),
        reason="AddressSanitizer's shadow memory cannot live under RLIMIT_AS",
    )
    def test_file_too_large_for_memory(self, huge_file) -> None:
        # A sparse file far larger than the address space allowed: the read
        # fails for lack of memory, and the file is closed all the same.
        path = huge_file
        script = textwrap.dedent(
            f"""
            import os, resource
            from vorpalyx.core import Solver
            _, hard = resource.getrlimit(resource.RLIMIT_AS)
            limit = 8 << 30 if hard == resource.RLIM_INFINITY else min(8 << 30, hard)
            resource.setrlimit(resource.RLIMIT_AS, (limit, hard))
            solver = Solver()
            solver.add_word("emu")
            before = len(os.listdir("/proc/self/fd"))
            for _ in range(3):
                try:
                    solver.load_dictionary_from_path({str(path)!r})
                except MemoryError:
                    pass
            print(before, len(os.listdir("/proc/self/fd")), solver.solve("emu"))
            """
        )
        completed = subprocess.run(
            [sys.executable, "-c", script], capture_output=True, text=True, timeout=60
        )
        assert completed.returncode == 0, completed.stderr
        before, after, result = completed.stdout.split(maxsplit=2)
        assert after == before
        assert result.strip() == "[['emu']]"


NOT_A_STR = "'{}' object cannot be converted to 'PyString'"
# method -> (argument name, [(value, message after "argument 'name': ")]).
WRONG_TYPES: dict[str, tuple[str, list[tuple[object, str]]]] = {
    "load_dictionary_from_words": ("words", [
        ("cat", "Can't extract `str` to `Vec`"),
        (Text("cat"), "Can't extract `str` to `Vec`"),
        (Sneaky("cat"), "Can't extract `str` to `Vec`"),
        ({"cat"}, "'set' object cannot be converted to 'Sequence'"),
        (frozenset(), "'frozenset' object cannot be converted to 'Sequence'"),
        ({"cat": 1}, "'dict' object cannot be converted to 'Sequence'"),
        ({}.keys(), "'dict_keys' object cannot be converted to 'Sequence'"),
        (generator(), "'generator' object cannot be converted to 'Sequence'"),
        (iter(["cat"]), "'list_iterator' object cannot be converted to 'Sequence'"),
        (None, "'NoneType' object cannot be converted to 'Sequence'"),
        (3, "'int' object cannot be converted to 'Sequence'"),
        (Holder.Nested(), "'Holder.Nested' object cannot be converted to 'Sequence'"),
        (["cat", 3], "'int' object cannot be converted to 'PyString'"),
        (["cat", None], "'NoneType' object cannot be converted to 'PyString'"),
        (["cat", b"dog"], "'bytes' object cannot be converted to 'PyString'"),
        ([["cat"]], "'list' object cannot be converted to 'PyString'"),
        (range(3), "'int' object cannot be converted to 'PyString'"),
        (b"cat", "'int' object cannot be converted to 'PyString'"),
        (GetItemSequence("cat", Holder.Nested()),
         "'Holder.Nested' object cannot be converted to 'PyString'"),
        (RaisingIteration(TypeError("broken"), "cat"), "broken"),
    ]),
    "add_word": ("word", [(value, NOT_A_STR.format(name)) for value, name in [
        (5, "int"), (None, "NoneType"), (b"cat", "bytes"), (["cat"], "list"),
        (pathlib.Path("cat"), "PosixPath"), (Holder.Nested(), "Holder.Nested")]]),
    "load_dictionary_from_path": ("path", [(value, NOT_A_STR.format(name)) for value, name in [
        (pathlib.Path("words.txt"), "PosixPath"), (b"words.txt", "bytes"), (None, "NoneType"),
        (3, "int")]]),
}


@pytest.mark.parametrize(
    ("method", "value", "message"),
    [(method, *case) for method, (_, cases) in WRONG_TYPES.items() for case in cases],
    # A Sneaky str cannot name itself.
    ids=lambda value: "Sneaky" if isinstance(value, Sneaky) else None,
)
def test_wrong_types(
    solver: Solver, assert_usable, tmp_path, monkeypatch, method: str, value, message: str
) -> None:
    # A path taken as bytes or os.PathLike would find this file of 'cat'.
    monkeypatch.chdir(tmp_path)
    write(tmp_path, b"cat\n")
    with pytest.raises(TypeError) as caught:
        getattr(solver, method)(value)
    assert type(caught.value) is TypeError
    assert str(caught.value) == f"argument '{WRONG_TYPES[method][0]}': {message}"
    assert caught.value.__cause__ is None
    assert solver.solve("act") == []
    assert_usable(solver)
