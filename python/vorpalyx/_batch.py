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

import array
import errno
import fcntl
import json
import os
import signal
import struct
import sys
import termios
from collections import deque

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Iterator
    from typing import BinaryIO

    from vorpalyx._engine import Lexicon
    from vorpalyx.cli import Arguments

# Phrases in flight for each worker: enough that a worker never waits for the
# parent, few enough that the records waiting for their turn stay few.
_PHRASES_PER_WORKER = 128
# Phrases sent ahead to one worker, and their bytes, well inside the 64 KiB
# that a pipe holds.
_QUEUED_PER_WORKER = 32
_QUEUED_BYTES = 32 << 10
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
        if "?" in phrase or arguments.leftover:
            # Each solution with the letters its blanks became and those it
            # left over, as --json gives them.
            out.write(json.dumps([result.details(i)._asdict() for i in range(count)]).encode())
        else:
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


def _widen_pipe(descriptor: int) -> None:
    # Room for a whole record or several: a pipe holds 64 KiB by default,
    # and an unprivileged process may grow it to 1 MiB.
    try:
        fcntl.fcntl(descriptor, fcntl.F_SETPIPE_SZ, 1 << 20)
    except OSError:
        pass


def _bytes_waiting(descriptor: int) -> int:
    waiting = array.array("i", [0])
    fcntl.ioctl(descriptor, termios.FIONREAD, waiting)
    return waiting[0]


def _write_all(descriptor: int, data: bytes | memoryview) -> None:
    view = memoryview(data)
    while view:
        view = view[os.write(descriptor, view):]


class _Worker:
    """A forked process that solves the phrases sent to it in the order sent;
    `pending` holds them until their records are read."""

    def __init__(self, lexicon: Lexicon, arguments: Arguments,
                 parent_descriptors: list[int]) -> None:
        task_read, self.task_write = os.pipe()
        self.result_read, result_write = os.pipe()
        self.pending: deque[tuple[int, str]] = deque()
        self.current: tuple[int, str] = (-1, "")  # the last one taken off
        self.queued_bytes = 0
        self.pid = os.fork()
        if self.pid == 0:
            status = 1
            try:
                os.close(self.task_write)
                os.close(self.result_read)
                for descriptor in parent_descriptors:
                    os.close(descriptor)
                _widen_pipe(result_write)
                status = _serve(lexicon, arguments, task_read, result_write)
            finally:
                os._exit(status)
        os.close(task_read)
        os.close(result_write)

    def can_take(self, phrase: str) -> bool:
        # Phrases wait in the task pipe while earlier ones are solved, so that
        # the worker never waits for the parent; never more than the pipe
        # holds, or the parent could block on a task while the worker blocks
        # on handing over a large record.
        size = len(phrase) * 4 + _PHRASE_HEADER.size
        return not self.pending or (len(self.pending) < _QUEUED_PER_WORKER and
                                    self.queued_bytes + size <= _QUEUED_BYTES)

    def send(self, sequence: int, phrase: str) -> bool:
        """Whether the phrase went out: False if the worker has died."""
        data = phrase.encode("utf-8", "surrogateescape")
        try:
            _write_all(self.task_write, _PHRASE_HEADER.pack(len(data)) + data)
        except BrokenPipeError:
            return False
        self.pending.append((sequence, phrase))
        self.queued_bytes += len(phrase) * 4 + _PHRASE_HEADER.size
        return True

    def copy_record(self, out: _Output) -> bool:
        """Copies the record of the first pending phrase to `out` as the
        worker writes it; False if the worker died before it was whole
        (nothing of it is written then)."""
        self.current = self.pending.popleft()
        self.queued_bytes -= len(self.current[1]) * 4 + _PHRASE_HEADER.size
        header = _read_exactly(self.result_read, _RECORD_HEADER.size)
        if header is None:
            return False
        return out.copy_from(self.result_read, _RECORD_HEADER.unpack(header)[0])

    def end(self, kill: bool) -> None:
        os.close(self.task_write)
        os.close(self.result_read)
        if kill:
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        os.waitpid(self.pid, 0)


class _Output:
    """Standard output, written through its descriptor when it has one:
    records then go from a worker's pipe to it inside the kernel."""

    def __init__(self, out: BinaryIO) -> None:
        self.out = out
        out.flush()
        try:
            self.descriptor: int | None = out.fileno()
        except (AttributeError, OSError, ValueError):
            self.descriptor = None
        self.splice = self.descriptor is not None

    def write(self, data: bytes) -> None:
        if self.descriptor is None:
            self.out.write(data)
        else:
            _write_all(self.descriptor, data)

    def copy_from(self, source: int, size: int) -> bool:
        # Spliced only when the whole record is in the pipe already, so that
        # a worker that dies midway leaves nothing half written; else, or
        # when the descriptor takes no splice (a file opened to append, say),
        # read whole first.
        if self.splice and _bytes_waiting(source) >= size:
            assert self.descriptor is not None
            moved = 0
            try:
                while moved < size:
                    moved += os.splice(source, self.descriptor, size - moved)
                return True
            except OSError as error:
                if error.errno != errno.EINVAL or moved:
                    raise
                self.splice = False
        record = _read_exactly(source, size)
        if record is None:
            return False
        self.write(record)
        return True

    def flush(self) -> None:
        if self.descriptor is None:
            self.out.flush()


def _serve(lexicon: Lexicon, arguments: Arguments, task_read: int,
           result_write: int) -> int:
    import io
    import queue
    import threading

    # Ctrl-C reaches every process of the terminal's group; the parent alone
    # answers it, by ending the workers.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    # The parent takes records in input order only, so one may wait in the
    # pipe while later phrases are solved here: a thread of its own hands
    # records over, and solving stops only once a queue's worth is waiting.
    records: queue.Queue[io.BytesIO | None] = queue.Queue(_QUEUED_PER_WORKER)

    def hand_over() -> None:
        while (record := records.get()) is not None:
            _write_all(result_write, record.getbuffer())

    writer = threading.Thread(target=hand_over, daemon=True)
    writer.start()
    try:
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
            records.put(record)
    finally:
        records.put(None)
        writer.join()


def _solve_in_workers(lexicon: Lexicon, arguments: Arguments,
                      phrases: Iterator[str], jobs: int, out: BinaryIO) -> None:
    """Records are taken strictly in input order, each from the worker that
    solved it; the others meanwhile solve what is queued for them, up to a
    pipe's worth of records ahead."""
    output = _Output(out)
    workers: list[_Worker] = []
    owners: dict[int, _Worker] = {}

    # Phrases queued behind one that killed their worker, to send again.
    unsent: deque[tuple[int, str]] = deque()
    numbered = enumerate(phrases)
    written = 0
    completed = False
    try:
        for _ in range(jobs):
            workers.append(_Worker(lexicon, arguments, _descriptors(workers)))
        while True:
            while True:
                if not unsent:
                    task = next(numbered, None)
                    if task is None:
                        break
                    unsent.append(task)
                sequence, phrase = unsent[0]
                if sequence - written >= jobs * _PHRASES_PER_WORKER:
                    break
                worker = min(workers, key=lambda worker: len(worker.pending))
                if not worker.can_take(phrase):
                    break
                unsent.popleft()
                while not worker.send(sequence, phrase):
                    # It died while idle, so not of this phrase.
                    worker = _replace(workers, worker, lexicon, arguments)
                owners[sequence] = worker
            if written not in owners:
                completed = True
                return
            worker = owners.pop(written)
            if not worker.copy_record(output):
                # The worker died, perhaps of a later phrase, with records
                # still unwritten: those queued behind this one go to the
                # others, and this one is solved alone, so that only the
                # phrase that kills a worker by itself is given up.
                unsent.extendleft(reversed(worker.pending))
                for sequence, _ in worker.pending:
                    del owners[sequence]
                _replace(workers, worker, lexicon, arguments)
                _solve_alone(lexicon, arguments, written, worker.current[1],
                             workers, output)
            written += 1
            output.flush()
    finally:
        for worker in workers:
            worker.end(kill=not completed)


def _solve_alone(lexicon: Lexicon, arguments: Arguments, sequence: int,
                 phrase: str, workers: list[_Worker], output: _Output) -> None:
    alone = _Worker(lexicon, arguments, _descriptors(workers))
    try:
        if not (alone.send(sequence, phrase) and alone.copy_record(output)):
            output.write(error_record(
                phrase, "the worker process solving this phrase ended "
                "unexpectedly (out of memory?)"))
    finally:
        alone.end(kill=True)


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
