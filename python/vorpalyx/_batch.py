"""`vorpalyx --batch`: many phrases, one JSON object each, in input order.

Phrases are solved in worker processes forked once the dictionary is loaded,
so every worker holds the lexicon without loading it again (its pages stay
shared until written). The parent reads phrases only as they are needed,
hands each to whichever worker is free, keeps a few per worker in flight and
writes each record as soon as every record before it is written: output
streams while later phrases are solved, and memory is bounded by the records
in flight. With one job everything runs in this process and each record goes
straight to standard output.

A phrase that cannot be solved (a refused text, a result too large for
memory, a worker that died on it) gives a record with "error" in place of
the results, and the batch goes on. Ctrl-C and a closed output end every
worker at once.
"""

from __future__ import annotations

import json
import os
import select
import signal
import struct
import sys
from collections import deque

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Iterator
    from typing import BinaryIO

    from vorpalyx._engine import Lexicon
    from vorpalyx.cli import Arguments

# Phrases in flight for each worker: enough that a worker never waits for the
# parent, few enough that the records waiting for their turn stay few.
_PHRASES_PER_WORKER = 8
_QUEUED_PER_WORKER = 2
_PHRASE_HEADER = struct.Struct("<I")
_RECORD_HEADER = struct.Struct("<Q")


def _phrases(path: str) -> Iterator[str]:
    """The lines of the batch file, read as they are needed. Bytes that are
    not UTF-8 stay in the phrase as lone surrogates, which the search refuses
    for that phrase alone."""
    from vorpalyx.cli import STANDARD_INPUT, Refused, reason

    try:
        if path == STANDARD_INPUT:
            if sys.stdin is None:
                raise OSError(9, os.strerror(9))
            stream: BinaryIO = sys.stdin.buffer
        else:
            stream = open(path, "rb")
    except OSError as error:
        raise Refused(f"{path}: Failed to read phrases: {reason(error)}") from error
    try:
        for line in stream:
            yield line.rstrip(b"\n").removesuffix(b"\r").decode(
                "utf-8", "surrogateescape")
    except OSError as error:
        raise Refused(f"{path}: Failed to read phrases: {reason(error)}") from error
    finally:
        if path != STANDARD_INPUT:
            stream.close()


def _quoted(text: str) -> bytes:
    return json.dumps(text).encode()


def error_record(phrase: str, message: str) -> bytes:
    return b'{"phrase": %s, "error": %s}\n' % (_quoted(phrase), _quoted(message))


def write_record(lexicon: Lexicon, arguments: Arguments, phrase: str,
                 out: BinaryIO) -> None:
    """Writes the JSON line of one phrase to `out`."""
    from vorpalyx.cli import constraints, refusal_text

    try:
        phrase.encode("utf-8")
        if arguments.count:
            count = lexicon.count(phrase, threads=1, **constraints(arguments))
        else:
            result = lexicon.search(phrase, threads=1, **constraints(arguments))
            count = len(result)
    except (ValueError, OverflowError, MemoryError) as error:
        out.write(error_record(phrase, refusal_text(error, phrase, arguments,
                                                  name_phrase=False)))
        return
    out.write(b'{"phrase": %s, "count": %d' % (_quoted(phrase), count))
    if not arguments.count:
        out.write(b', "solutions": ')
        result.write(out, format="json")
    out.write(b"}\n")


def _read_exactly(descriptor: int, size: int) -> bytes | None:
    """`size` bytes from `descriptor`, or None at its end."""
    chunks = []
    while size:
        chunk = os.read(descriptor, min(size, 1 << 20))
        if not chunk:
            return None
        chunks.append(chunk)
        size -= len(chunk)
    return b"".join(chunks)


def _write_all(descriptor: int, data: bytes | memoryview) -> None:
    view = memoryview(data)
    while view:
        view = view[os.write(descriptor, view):]


class _Worker:
    """A forked process that solves the phrases sent to it one at a time, in
    the order sent; `pending` holds them until their records are read."""

    def __init__(self, lexicon: Lexicon, arguments: Arguments,
                 parent_descriptors: list[int]) -> None:
        task_read, self.task_write = os.pipe()
        self.result_read, result_write = os.pipe()
        self.pending: deque[tuple[int, str]] = deque()
        self.pid = os.fork()
        if self.pid == 0:
            status = 1
            try:
                os.close(self.task_write)
                os.close(self.result_read)
                for descriptor in parent_descriptors:
                    os.close(descriptor)
                status = _serve(lexicon, arguments, task_read, result_write)
            finally:
                os._exit(status)
        os.close(task_read)
        os.close(result_write)

    def can_take(self, phrase: str) -> bool:
        # A second phrase waits in the pipe while the first is solved, so
        # that the worker never waits for the parent; only one that fits in
        # the pipe at once, or the parent could block on it while the worker
        # blocks on handing over a large record.
        return not self.pending or (
            len(phrase) * 4 + _PHRASE_HEADER.size <= select.PIPE_BUF)

    def send(self, sequence: int, phrase: str) -> bool:
        """Whether the phrase went out: False if the worker has died."""
        data = phrase.encode("utf-8", "surrogateescape")
        try:
            _write_all(self.task_write, _PHRASE_HEADER.pack(len(data)) + data)
        except BrokenPipeError:
            return False
        self.pending.append((sequence, phrase))
        return True

    def receive(self) -> bytes | None:
        """The record of the first pending phrase, or None if the worker
        died."""
        header = _read_exactly(self.result_read, _RECORD_HEADER.size)
        if header is None:
            return None
        return _read_exactly(self.result_read, _RECORD_HEADER.unpack(header)[0])

    def end(self, kill: bool) -> None:
        os.close(self.task_write)
        os.close(self.result_read)
        if kill:
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        os.waitpid(self.pid, 0)


def _serve(lexicon: Lexicon, arguments: Arguments, task_read: int,
           result_write: int) -> int:
    import io

    # Ctrl-C reaches every process of the terminal's group; the parent alone
    # answers it, by ending the workers.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    while True:
        header = _read_exactly(task_read, _PHRASE_HEADER.size)
        if header is None:
            return 0
        data = _read_exactly(task_read, _PHRASE_HEADER.unpack(header)[0])
        if data is None:
            return 0
        record = io.BytesIO()
        record.write(bytes(_RECORD_HEADER.size))
        write_record(lexicon, arguments,
                     data.decode("utf-8", "surrogateescape"), record)
        record.seek(0)
        record.write(_RECORD_HEADER.pack(record.getbuffer().nbytes
                                         - _RECORD_HEADER.size))
        _write_all(result_write, record.getbuffer())


def _solve_in_workers(lexicon: Lexicon, arguments: Arguments,
                      phrases: Iterator[str], jobs: int, out: BinaryIO) -> None:
    workers: list[_Worker] = []
    finished: dict[int, bytes] = {}
    # Phrases sent to a worker that died on an earlier one, to send again.
    unsent: deque[tuple[int, str]] = deque()
    numbered = enumerate(phrases)
    written = 0
    completed = False
    try:
        for _ in range(jobs):
            workers.append(_Worker(lexicon, arguments, _descriptors(workers)))
        while True:
            while written in finished:
                out.write(finished.pop(written))
                written += 1
            out.flush()
            for worker in list(workers):
                while len(worker.pending) < _QUEUED_PER_WORKER:
                    if not unsent:
                        task = next(numbered, None)
                        if task is None:
                            break
                        unsent.append(task)
                    sequence, phrase = unsent[0]
                    if (sequence - written >= jobs * _PHRASES_PER_WORKER
                            or not worker.can_take(phrase)):
                        break
                    unsent.popleft()
                    while not worker.send(sequence, phrase):
                        # It died while idle, so not of this phrase.
                        worker = _replace(workers, worker, lexicon, arguments)
            busy = [worker for worker in workers if worker.pending]
            if not busy:
                completed = True
                return
            ready, _, _ = select.select(
                [worker.result_read for worker in busy], [], [])
            for worker in busy:
                if worker.result_read not in ready:
                    continue
                sequence, phrase = worker.pending.popleft()
                record = worker.receive()
                if record is None:
                    record = error_record(
                        phrase, "the worker process solving this phrase "
                        "ended unexpectedly (out of memory?)")
                    unsent.extendleft(reversed(worker.pending))
                    _replace(workers, worker, lexicon, arguments)
                finished[sequence] = record
    finally:
        for worker in workers:
            worker.end(kill=not completed)


def _replace(workers: list[_Worker], dead: _Worker, lexicon: Lexicon,
             arguments: Arguments) -> _Worker:
    dead.end(kill=True)
    workers.remove(dead)
    worker = _Worker(lexicon, arguments, _descriptors(workers))
    workers.append(worker)
    return worker


def _descriptors(workers: list[_Worker]) -> list[int]:
    return [descriptor for worker in workers
            for descriptor in (worker.task_write, worker.result_read)]


def solve_batch(lexicon: Lexicon, arguments: Arguments) -> None:
    assert arguments.batch is not None
    jobs = arguments.jobs or os.process_cpu_count() or 1
    # Nothing buffered may be written twice by the workers' copies.
    sys.stdout.flush()
    out: BinaryIO = sys.stdout.buffer
    phrases = _phrases(arguments.batch)
    if jobs == 1:
        for phrase in phrases:
            write_record(lexicon, arguments, phrase, out)
            out.flush()
    else:
        _solve_in_workers(lexicon, arguments, phrases, jobs, out)
    out.flush()
