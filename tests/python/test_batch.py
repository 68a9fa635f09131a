"""Tests of `vorpalyx --batch`: one JSON record per phrase in input order,
in this process or in forked workers, errors per phrase, and the ends of a
batch (a missing file, a worker that dies, Ctrl-C)."""

from __future__ import annotations

import contextlib
import io
import json
import os
import signal
import subprocess
import sys
import time

import pytest

from vorpalyx import Lexicon, _batch, _output, cli
from vorpalyx._arguments import parse_arguments
from vorpalyx.core import Solver

WORDS = ["listen", "silent", "enlist", "tin", "net", "nets", "lis", "les",
         "el", "tins", "lit", "ens", "st", "in", "is", "lent", "dirty", "room"]
# An empty line, a line of no letters, a line that is not UTF-8, and enough
# phrases that two workers take turns.
PHRASES = [b"listen", b"", b"dirty room", b"2 + 2", b"bad \xff", b"Room, Dirty"]
PHRASES += [b"lent", b"tins"] * 6


def expected_records(count_only: bool, **constraints: object) -> str:
    solver = Solver()
    solver.load_dictionary_from_words(WORDS)
    records = []
    for line in PHRASES:
        phrase = line.decode("utf-8", "surrogateescape")
        if b"\xff" in line:
            record: dict[str, object] = {
                "phrase": phrase,
                "error": "'utf-8' codec can't encode character '\\udcff' in "
                         "position 4: surrogates not allowed"}
        else:
            solutions = solver.solve(phrase, **constraints)
            record = {"phrase": phrase, "count": len(solutions)}
            if not count_only:
                record["solutions"] = solutions
        records.append(json.dumps(record) + "\n")
    return "".join(records)


@pytest.fixture
def files(tmp_path):
    words = tmp_path / "words.txt"
    words.write_text("\n".join(WORDS) + "\n")
    phrases = tmp_path / "phrases.txt"
    # With the byte order mark of some editors, which is not the phrase's.
    phrases.write_bytes(b"\xef\xbb\xbf" + b"\n".join(PHRASES) + b"\r\n")
    return str(words), str(phrases)


def run(capture, *argv: str) -> tuple[int, str, str]:
    status = cli.main(list(argv))
    captured = capture.readouterr()
    return status, captured.out, captured.err


# capfd gives standard output a descriptor, which workers write to; capsys
# gives none, and the phrases are solved in this process; an io.StringIO
# has no bytes beneath it either.
@pytest.mark.parametrize("jobs", ["1", "2"])
@pytest.mark.parametrize("form", [[], ["--count"]])
@pytest.mark.parametrize("capture", ["capfd", "capsys", "string-io"])
def test_one_record_per_line_in_input_order(request, files, jobs, form, capture):
    words, phrases = files
    argv = ["--dict", words, "--batch", phrases, "--jobs", jobs, "--max-words", "2", *form]
    if capture == "string-io":
        with contextlib.redirect_stdout(io.StringIO()) as out:
            ran = (cli.main(argv), out.getvalue(), "")
    else:
        ran = run(request.getfixturevalue(capture), *argv)
    assert ran == (0, expected_records(bool(form), max_words=2), "")


@pytest.mark.parametrize("capture", ["capfd", "capsys"])
def test_blanks_and_leftover_letters_come_with_each_solution(request, monkeypatch, files, capture):
    words, phrases = files
    with open(phrases, "wb") as stream:
        stream.write(b"lis?\n" * 20)
    # Written two solutions at a time, by workers too.
    monkeypatch.setattr(_output, "RANKED_SLICE", 2)
    assert run(request.getfixturevalue(capture), "--dict", words, "--batch", phrases, "--jobs", "2",
               "--leftover", "1", "--max-words", "1") == (
        0, ('{"phrase": "lis?", "count": 3, "solutions": ['
            '{"words": ["les"], "blanks": "e", "leftover": "i"}, '
            '{"words": ["lis"], "blanks": "", "leftover": "?"}, '
            '{"words": ["lit"], "blanks": "t", "leftover": "s"}]}\n') * 20, "")
    # Held in its compact form until its turn, and counted among the held
    # solutions, as a record without blanks is.
    arguments = parse_arguments(["--batch", "-", "--leftover", "1", "--max-words", "1"])
    assert len(_batch.solve_record(Lexicon.from_words(WORDS), arguments, "lis?").result) == 3


@pytest.mark.parametrize("text_only", [False, True], ids=["bytes-beneath", "string-io"])
def test_phrases_from_standard_input(capsys, monkeypatch, files, text_only):
    words, phrases = files
    with open(phrases, "rb") as stream:
        data = stream.read()
    monkeypatch.setattr(sys, "stdin", io.StringIO(data.decode("utf-8", "surrogateescape"))
                        if text_only else io.TextIOWrapper(io.BytesIO(data)))
    assert run(capsys, "--dict", words, "--batch", "-") == (
        0, expected_records(False), "")


# Standard input is named as --dict and --exclude-file name it.
@pytest.mark.parametrize("source", ["missing", "closed-input"])
def test_unreadable_phrases_are_one_line_and_status_1(capsys, monkeypatch, files, tmp_path,
                                                      source):
    words, _ = files
    if source == "missing":
        where = path = str(tmp_path / "none.txt")
        reason = "No such file or directory (os error 2)"
    else:
        monkeypatch.setattr(sys, "stdin", None)
        where, path, reason = "standard input", "-", "Bad file descriptor (os error 9)"
    assert run(capsys, "--dict", words, "--batch", path) == (
        1, "", f"vorpalyx: error: {where}: Failed to read phrases: {reason}\n")


def test_a_worker_that_cannot_be_started_is_one_line_and_status_1(capfd, monkeypatch, files):
    words, phrases = files

    def refuse() -> int:
        raise BlockingIOError(11, os.strerror(11))

    monkeypatch.setattr(os, "fork", refuse)
    assert run(capfd, "--dict", words, "--batch", phrases, "--jobs", "2") == (
        1, "", "vorpalyx: error: cannot start a worker process: "
               f"{os.strerror(11)} (os error 11)\n")


def test_a_worker_that_dies_costs_only_its_phrase(capfd, monkeypatch, files):
    words, phrases = files
    solve_record = _batch.solve_record

    def die_on_dirty_room(lexicon, arguments, phrase):
        if phrase == "dirty room":
            os._exit(9)
        return solve_record(lexicon, arguments, phrase)

    # The workers are forked, so they inherit the patched function.
    monkeypatch.setattr(_batch, "solve_record", die_on_dirty_room)
    status, out, _ = run(capfd, "--dict", words, "--batch", phrases,
                         "--jobs", "2", "--count")
    records = expected_records(True).splitlines(keepends=True)
    records[2] = ('{"phrase": "dirty room", "error": "the worker process '
                  'solving this phrase ended unexpectedly (out of memory?)"}\n')
    assert (status, out) == (0, "".join(records))


def test_a_worker_that_dies_with_records_unwritten_costs_only_its_phrase(
        capfd, monkeypatch, files, tmp_path):
    # Slow phrases hold the turn while the parent deals on, so that phrases
    # are sent to a worker that has died with records still unwritten.
    words, _ = files
    phrases = ["listen" if index % 37 == 0 else "tins" for index in range(1500)]
    phrases[700] = "dirty room"
    path = tmp_path / "many.txt"
    path.write_text("\n".join(phrases) + "\n")
    solve_record = _batch.solve_record

    def slow_or_deadly(lexicon, arguments, phrase):
        if phrase == "listen":
            time.sleep(0.005)
        if phrase == "dirty room":
            os._exit(9)
        return solve_record(lexicon, arguments, phrase)

    monkeypatch.setattr(_batch, "solve_record", slow_or_deadly)
    status, out, _ = run(capfd, "--dict", words, "--batch", str(path),
                         "--jobs", "2", "--count")
    solver = Solver()
    solver.load_dictionary_from_words(WORDS)
    records = [json.dumps({"phrase": phrase, "count": len(solver.solve(phrase))}) + "\n"
               for phrase in phrases]
    records[700] = ('{"phrase": "dirty room", "error": "the worker process '
                    'solving this phrase ended unexpectedly (out of memory?)"}\n')
    assert (status, out) == (0, "".join(records))


def test_a_worker_that_dies_while_writing_ends_the_batch(capfd, monkeypatch, files):
    words, phrases = files
    write = _batch.Record.write

    def die_in_dirty_room(record, out):
        if record.head.startswith(b'{"phrase": "dirty room"'):
            out.write(b'{"phrase": "dirty')
            out.flush()
            os._exit(9)
        write(record, out)

    monkeypatch.setattr(_batch.Record, "write", die_in_dirty_room)
    status, out, err = run(capfd, "--dict", words, "--batch", phrases,
                           "--jobs", "2", "--count")
    written = "".join(expected_records(True).splitlines(keepends=True)[:2])
    assert (status, out, err) == (
        1, written + '{"phrase": "dirty',
        "vorpalyx: error: a worker process ended while writing the record of "
        "'dirty room'\n")


@pytest.mark.parametrize("batch", [False, True], ids=["phrase", "batch"])
def test_interrupt_ends_every_process_with_status_130(tmp_path, batch):
    # Searches that run far longer than the test: every word of one letter
    # or two, and phrases of 60 letters.
    letters = "abcdefghijklmnopqrstuvwxyz"
    words = tmp_path / "words.txt"
    words.write_text("\n".join([*letters, *(a + b for a in letters for b in letters)]))
    phrase = letters * 2 + letters[:8]
    if batch:
        (tmp_path / "phrases.txt").write_text(f"{phrase}\n" * 20)
        options = ["--batch", str(tmp_path / "phrases.txt"), "--jobs", "2"]
    else:
        options = [phrase]
    # A shell starts background commands with SIGINT ignored, which Python
    # then keeps; the command gets it as a terminal would give it.
    process = subprocess.Popen(
        [sys.executable, "-m", "vorpalyx", "--dict", str(words), "--count",
         *options], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
        start_new_session=True,
        preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
    try:
        time.sleep(1.5)
        assert process.poll() is None
        os.killpg(process.pid, signal.SIGINT)
        out, err = process.communicate(timeout=30)
        assert (process.returncode, out, err) == (130, b"", b"")
        with pytest.raises(ProcessLookupError):
            os.killpg(process.pid, 0)
    finally:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait()


def test_workers_end_when_the_parent_is_killed(tmp_path):
    # Phrases that run far longer than the test, as above; a parent killed
    # outright (by the kernel for memory, or `timeout`) cannot end its
    # workers, which must not go on solving.
    letters = "abcdefghijklmnopqrstuvwxyz"
    words = tmp_path / "words.txt"
    words.write_text("\n".join([*letters, *(a + b for a in letters for b in letters)]))
    (tmp_path / "phrases.txt").write_text(f"{letters * 2}\n" * 20)
    process = subprocess.Popen(
        [sys.executable, "-m", "vorpalyx", "--dict", str(words), "--count",
         "--batch", str(tmp_path / "phrases.txt"), "--jobs", "2"],
        stdout=subprocess.DEVNULL, start_new_session=True)

    def running(pid: int) -> bool:
        try:
            with open(f"/proc/{pid}/stat") as stat:
                return stat.read().rpartition(")")[2].split()[0] != "Z"
        except FileNotFoundError:
            return False

    try:
        children = f"/proc/{process.pid}/task/{process.pid}/children"
        if not os.path.exists(children):
            pytest.skip("the kernel does not list a process's children")
        workers: list[int] = []
        while len(workers) < 2 and process.poll() is None:
            time.sleep(0.05)
            with open(children) as listed:
                workers = [int(pid) for pid in listed.read().split()]
        process.kill()
        process.wait()
        deadline = time.monotonic() + 60
        while any(map(running, workers)) and time.monotonic() < deadline:
            time.sleep(0.05)
        assert [pid for pid in workers if running(pid)] == []
    finally:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def test_jobs_are_at_most_four_per_core(capfd, monkeypatch, files):
    words, phrases = files
    monkeypatch.setattr(os, "process_cpu_count", lambda: 1)
    started = []

    class Counted(_batch._Worker):
        def __init__(self, *arguments) -> None:
            started.append(self)
            # Stops a build that would start a worker for each of the jobs.
            assert len(started) <= 4
            super().__init__(*arguments)

    monkeypatch.setattr(_batch, "_Worker", Counted)
    assert run(capfd, "--dict", words, "--batch", phrases, "--jobs", str(2**64 - 1),
               "--count") == (0, expected_records(True), "")
    assert len(started) == 4
