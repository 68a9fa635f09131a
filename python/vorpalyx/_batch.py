"""`vorpalyx --batch`: many phrases, one JSON object each, in input order.

Phrases are solved in worker processes forked once the dictionary is loaded,
so every worker holds the lexicon without loading it again (its pages stay
shared until written). The parent reads phrases only as they are needed,
hands each to whichever worker is free and keeps a few per worker in flight.
Workers write their records to standard output themselves, in turn: the
parent passes the turn to the worker holding the next record in input
order, which writes it and hands the turn back, so records never pass
through the parent and output streams while later phrases are solved.
Memory is bounded by the records in flight. With one job, or an output
without a descriptor of its own (which forked workers could not reach),
everything runs in this process.

A phrase that cannot be solved (a refused text, a result too large for
memory, a worker that died on it) gives a record with "error" in place of
the results, and the batch goes on. Ctrl-C and a closed output end every
worker at once.
"""

from __future__ import annotations

import errno
import io
import mmap
import os
import signal
import struct
import sys
from collections import deque

from vorpalyx._arguments import STANDARD_INPUT
from vorpalyx._output import json_string, write_bytes

TYPE_CHECKING = False
if TYPE_CHECKING:
    from collections.abc import Callable, Iterator
    from typing import BinaryIO

    from vorpalyx._engine import Anagrams, Lexicon
    from vorpalyx._arguments import Arguments

# Phrases in flight for each worker: enough that a worker never waits for the
# parent, few enough that the records waiting for their turn stay few.
_PHRASES_PER_WORKER = 256
# Phrases sent ahead to one worker, and their bytes, well inside the 64 KiB
# that a pipe holds: records wait for their turn while a worker solves
# further, so that a worker slowed by a hard phrase holds up the others
# seldom.
_QUEUED_PER_WORKER = 256
_QUEUED_BYTES = 32 << 10
# Phrases sent to one worker and not yet solved. Each run goes to the worker
# with the fewest of them, so a worker slowed by hard phrases is given fewer;
# the few left queued when the input ends are what one worker may still have
# to solve once the other has finished.
_UNSOLVED_PER_WORKER = 64
# While a worker holds the turn, the parent deals phrases to the others this
# often (milliseconds), so that their queues never run dry; up to eight times
# less often while they are full.
_DEAL_INTERVAL = 2
_LONGEST_DEAL_INTERVAL = 16
# The solutions that a worker holds for records waiting for their turn,
# beyond the first of them: about 64 MB.
_HELD_SOLUTIONS = 1 << 22
# Consecutive phrases sent to one worker.
_RUN = 16
_JOBS_PER_CORE = 4
_PHRASE_HEADER = struct.Struct("<I")


def _phrases(path: str) -> Iterator[str]:
    """The lines of the batch file, read as they are needed. Bytes that are
    not UTF-8 stay in the phrase as lone surrogates, which the search refuses
    for that phrase alone."""
    from vorpalyx.cli import Refused, reason, standard_input_bytes

    where = "standard input" if path == STANDARD_INPUT else path
    try:
        if path == STANDARD_INPUT:
            if sys.stdin is None:
                raise OSError(9, os.strerror(9))
            stream: BinaryIO = standard_input_bytes() or io.BytesIO(
                # A text stream without bytes beneath it (io.StringIO, say).
                sys.stdin.read().encode("utf-8", "surrogateescape"))
        else:
            stream = open(path, "rb")
    except OSError as error:
        raise Refused(f"{where}: Failed to read phrases: {reason(error)}") from error
    except ValueError as error:
        # A name that no file can have: with a NUL, or not encodable.
        raise Refused(f"argument --batch: {error}") from error
    try:
        for number, line in enumerate(stream):
            if number == 0:
                # The mark that some editors put at the start of a UTF-8 file.
                line = line.removeprefix(b"\xef\xbb\xbf")
            yield line.rstrip(b"\n").removesuffix(b"\r").decode(
                "utf-8", "surrogateescape")
    except (OSError, MemoryError) as error:
        raise Refused(f"{where}: Failed to read phrases: {reason(error)}") from error
    finally:
        if path != STANDARD_INPUT:
            stream.close()


def _quoted(text: str) -> bytes:
    return json_string(text).encode()


def error_record(phrase: str, message: str) -> bytes:
    return b'{"phrase": %s, "error": %s}\n' % (_quoted(phrase), _quoted(message))


class Record:
    """One phrase's JSON line, solved and waiting to be written: `head`, then
    the solutions of `result` (with the letters of their blanks and leftover
    when `letters`), then `tail`."""

    __slots__ = ("head", "result", "tail", "letters")

    def __init__(self, head: bytes, result: Anagrams | None = None,
                 tail: bytes = b"", letters: bool = False) -> None:
        self.head = head
        self.result = result
        self.tail = tail
        self.letters = letters

    def write(self, out: BinaryIO) -> None:
        write_bytes(out, self.head)
        if self.result is not None and self.letters:
            _write_with_letters(self.result, out)
        elif self.result is not None:
            self.result.write(out, format="json")
        write_bytes(out, self.tail)
        out.flush()


def _write_with_letters(result: Anagrams, out: BinaryIO) -> None:
    """The solutions as --json gives them with blanks or leftover letters,
    a slice at a time, so that memory holds the Python objects of one."""
    from vorpalyx._output import json_item, slices

    write_bytes(out, b"[")
    for start, part in slices(result):
        items = ", ".join(json_item(d.words, (d.blanks, d.leftover))
                          for d in map(part.details, range(len(part))))
        write_bytes(out, ((", " if start and items else "") + items).encode())
    write_bytes(out, b"]")


def solve_record(lexicon: Lexicon, arguments: Arguments, phrase: str) -> Record:
    """The record of one phrase."""
    from vorpalyx.cli import constraints, refusal_text

    try:
        phrase.encode("utf-8")
        if arguments.count:
            count = lexicon.count(phrase, threads=1, **constraints(arguments))
        else:
            result = lexicon.search(phrase, threads=1, **constraints(arguments))
            count = len(result)
    except (ValueError, OverflowError, MemoryError) as error:
        return Record(error_record(phrase, refusal_text(error, phrase, arguments,
                                                        name_phrase=False)))
    head = b'{"phrase": %s, "count": %d' % (_quoted(phrase), count)
    if arguments.count:
        return Record(head + b"}\n")
    head += b', "solutions": '
    # With blanks or leftover, each solution with the letters its blanks
    # became and those it left over; held compact, as any result, until its
    # turn.
    return Record(head, result, b"}\n", "?" in phrase or bool(arguments.leftover))


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


def _write_all(descriptor: int, data: bytes) -> None:
    view = memoryview(data)
    while view:
        view = view[os.write(descriptor, view):]


def _task_bytes(phrase: str) -> int:
    """The most bytes that `phrase` takes in a worker's task pipe."""
    return len(phrase) * 4 + _PHRASE_HEADER.size


class _WorkerLost(Exception):
    """A worker ended while writing a record, which is then cut short."""


class _Worker:
    """A forked process that solves the phrases sent to it in the order sent
    and writes each record when given the turn; `pending` holds the phrases
    until their records are written."""

    def __init__(self, lexicon: Lexicon, arguments: Arguments,
                 parent_descriptors: list[int]) -> None:
        self.pending: deque[tuple[int, str]] = deque()
        self.queued_bytes = 0
        self.sent = 0
        # Died with records unwritten: its next turn finds out which.
        self.lost = False
        try:
            task_read, self.task_write = os.pipe()
            turn_read, self.turn_write = os.pipe()
            self.reply_read, reply_write = os.pipe()
            # Shared with the worker: the records it has begun and finished
            # writing, for the parent to read once it has died.
            self.progress = mmap.mmap(-1, _PROGRESS.size)
            self.pid = os.fork()
        except OSError as error:
            from vorpalyx.cli import Refused, reason

            raise Refused(f"cannot start a worker process: {reason(error)}") from error
        if self.pid == 0:
            status = 1
            try:
                for descriptor in (self.task_write, self.turn_write,
                                   self.reply_read, *parent_descriptors):
                    os.close(descriptor)
                status = _serve(lexicon, arguments, task_read, turn_read,
                                reply_write, self.progress)
            finally:
                os._exit(status)
        for descriptor in (task_read, turn_read, reply_write):
            os.close(descriptor)

    def descriptors(self) -> tuple[int, int, int]:
        return self.task_write, self.turn_write, self.reply_read

    def can_take(self, sequence: int, phrase: str) -> bool:
        # Phrases wait in the task pipe while earlier ones are solved, so that
        # the worker never waits for the parent; never more than the pipe
        # holds, so that sending one never blocks. A worker writes its records
        # in the order sent, so it takes only phrases after those it holds (a
        # phrase sent again after its worker died may come before them).
        if self.lost:
            return False
        if not self.pending:
            return True
        return (self.pending[-1][0] < sequence
                and len(self.pending) < _QUEUED_PER_WORKER
                and self.unsolved() < _UNSOLVED_PER_WORKER
                and self.queued_bytes + _task_bytes(phrase) <= _QUEUED_BYTES)

    def unsolved(self) -> int:
        solved: int = _PROGRESS.unpack(self.progress)[2]
        return self.sent - solved

    def send(self, sequence: int, phrase: str) -> bool:
        """Whether the phrase went out: False if the worker has died."""
        data = phrase.encode("utf-8", "surrogateescape")
        try:
            _write_all(self.task_write, _PHRASE_HEADER.pack(len(data)) + data)
        except BrokenPipeError:
            return False
        self.pending.append((sequence, phrase))
        self.queued_bytes += _task_bytes(phrase)
        self.sent += 1
        return True

    def write_records(self, records: int,
                      while_waiting: Callable[[], int | None] | None = None) -> int:
        """Has the worker write the records of its first `records` pending
        phrases, each as soon as it is solved, and waits until it has,
        calling `while_waiting` every so often meanwhile (it returns how
        many phrases it sent, or None when no more can go before the turn
        ends); the number written, fewer if the worker died. Raises the
        error that stopped the writing."""
        begun, finished, _ = _PROGRESS.unpack(self.progress)
        try:
            _write_all(self.turn_write, _TURN.pack(records))
            if while_waiting is not None:
                import select

                replied = select.poll()
                replied.register(self.reply_read, select.POLLIN)
                interval: int | None = _DEAL_INTERVAL
                while not replied.poll(interval):
                    dealt = while_waiting()
                    if dealt is None:
                        interval = None
                    elif dealt:
                        interval = _DEAL_INTERVAL
                    elif interval is not None:
                        interval = min(2 * interval, _LONGEST_DEAL_INTERVAL)
            reply = _read_exactly(self.reply_read, 1)
        except BrokenPipeError:
            reply = None
        if reply == _FAILED:
            failure = _read_exactly(self.reply_read, _FAILURE.size)
            if failure is not None:
                code = _FAILURE.unpack(failure)[0]
                raise OSError(code, os.strerror(code))
        if reply == _WRITTEN:
            written = records
        else:
            now_begun, now_finished, _ = _PROGRESS.unpack(self.progress)
            if now_begun != now_finished:
                raise _WorkerLost(self.pending[now_finished - finished][1])
            written = now_finished - finished
        for _ in range(written):
            _, phrase = self.pending.popleft()
            self.queued_bytes -= _task_bytes(phrase)
        return written

    def end(self, kill: bool) -> None:
        for descriptor in self.descriptors():
            os.close(descriptor)
        self.progress.close()
        if kill:
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        os.waitpid(self.pid, 0)


# A turn is a number of records to write; the worker replies once they are
# written, or once writing failed (with the error number).
_TURN = struct.Struct("<I")
_WRITTEN = b"d"
_FAILED = b"f"
_FAILURE = struct.Struct("<i")
# Records begun and finished, phrases solved.
_PROGRESS = struct.Struct("<QQQ")


def _serve(lexicon: Lexicon, arguments: Arguments, tasks: int, turns: int,
           replies: int, progress: mmap.mmap) -> int:
    """Solves the phrases of `tasks` in turn and writes their records when
    `turns` asks for them; returns the exit status once `tasks` ends."""
    import select

    # A turn asked for goes before a phrase to solve.
    turns_only = select.poll()
    turns_only.register(turns, select.POLLIN)
    turns_or_tasks = select.poll()
    turns_or_tasks.register(turns, select.POLLIN)
    turns_or_tasks.register(tasks, select.POLLIN)
    # Ctrl-C reaches every process of the terminal's group; the parent alone
    # answers it, by ending the workers.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    import threading

    threading.Thread(target=_end_with_parent, args=(turns,), daemon=True).start()
    out = sys.stdout.buffer
    # Records are written in input order only, so they wait here for their
    # turn while later phrases are solved, until many are held: by count, or
    # by solutions once one is held, so that memory stays bounded.
    solved: deque[Record] = deque()
    held_solutions = 0
    turn_left = 0  # records the parent has asked for and not yet had
    begun = finished = solved_count = 0
    tasks_open = True
    while True:
        while turn_left and solved:
            record = solved.popleft()
            if record.result is not None:
                held_solutions -= len(record.result)
            begun += 1
            _PROGRESS.pack_into(progress, 0, begun, finished, solved_count)
            try:
                record.write(out)
            except OSError as error:
                _write_all(replies, _FAILED + _FAILURE.pack(error.errno or errno.EIO))
                return 1
            finished += 1
            _PROGRESS.pack_into(progress, 0, begun, finished, solved_count)
            turn_left -= 1
            if turn_left == 0:
                _write_all(replies, _WRITTEN)
        if not tasks_open and not solved:
            return 0
        may_solve = tasks_open and (not solved or (
            len(solved) < _QUEUED_PER_WORKER and held_solutions < _HELD_SOLUTIONS))
        ready = {descriptor for descriptor, _ in
                 (turns_or_tasks if may_solve else turns_only).poll()}
        if turns in ready:
            turn = _read_exactly(turns, _TURN.size)
            if turn is None:
                return 0
            turn_left += _TURN.unpack(turn)[0]
            continue
        header = _read_exactly(tasks, _PHRASE_HEADER.size)
        data = header and _read_exactly(tasks, _PHRASE_HEADER.unpack(header)[0])
        if data is None:
            tasks_open = False
            continue
        record = solve_record(lexicon, arguments, data.decode("utf-8", "surrogateescape"))
        if record.result is not None:
            held_solutions += len(record.result)
        solved.append(record)
        solved_count += 1
        _PROGRESS.pack_into(progress, 0, begun, finished, solved_count)


def _end_with_parent(turns: int) -> None:
    """Ends this worker once the parent has gone without ending it (killed,
    say), rather than at the end of a phrase that may take hours: only the
    parent holds the writing end of `turns`, so the pipe hangs up when the
    parent ends, or closes it once every record is written."""
    import select

    hung_up = select.poll()
    # No events asked for: poll reports a hang-up all the same.
    hung_up.register(turns, 0)
    hung_up.poll()
    os._exit(1)


def _solve_in_workers(lexicon: Lexicon, arguments: Arguments,
                      phrases: Iterator[str], jobs: int, out: BinaryIO) -> None:
    """Records are written strictly in input order, each by the worker that
    solved it; the others meanwhile solve what is queued for them."""
    from vorpalyx.cli import Refused

    workers: list[_Worker] = []
    owners: dict[int, _Worker] = {}

    # Phrases queued behind one that killed their worker, to send again.
    unsent: deque[tuple[int, str]] = deque()
    numbered = enumerate(phrases)
    written = 0
    # Consecutive phrases go to one worker, so that the turn passes between
    # workers once a run and not once a record.
    filling: _Worker | None = None
    filled = 0
    ended = False  # every phrase read
    completed = False

    def deal(holding_turn: _Worker | None = None) -> int | None:
        """Sends phrases to the workers (but `holding_turn`) while they have
        room and the records in flight are few; returns how many, or None
        when no more can go before a turn ends: every phrase is out, or
        enough records wait for theirs."""
        nonlocal filling, filled, ended
        sent = 0
        while True:
            # Phrases are read a few runs ahead, so that the last ones are
            # known as such and dealt out one at a time: the workers then
            # end together.
            while not ended and len(unsent) <= jobs * _RUN:
                task = next(numbered, None)
                if task is None:
                    ended = True
                else:
                    unsent.append(task)
            if not unsent:
                return None
            sequence, phrase = unsent[0]
            if sequence - written >= jobs * _PHRASES_PER_WORKER:
                return None
            run = 1 if ended and len(unsent) <= jobs * _RUN else _RUN
            if (filling not in workers or filling is holding_turn
                    or filled >= run or not filling.can_take(sequence, phrase)):
                # The next run goes to the worker with the least left to
                # solve; on a tie, to the next in rotation.
                start = workers.index(filling) + 1 if filling in workers else 0
                able = [worker for worker in workers[start:] + workers[:start]
                        if worker is not holding_turn
                        and worker.can_take(sequence, phrase)]
                if not able:
                    return sent
                filling = min(able, key=_Worker.unsolved)
                filled = 0
            if not filling.send(sequence, phrase):
                if filling.pending:
                    filling.lost = True
                else:
                    # It died while idle, so not of a phrase of its own.
                    _replace(workers, filling, lexicon, arguments)
                filling = None
                continue
            unsent.popleft()
            filled += 1
            sent += 1
            owners[sequence] = filling

    try:
        for _ in range(jobs):
            workers.append(_Worker(lexicon, arguments, _descriptors(workers)))
        while True:
            deal()
            if written not in owners:
                completed = True
                return
            # The turn covers every record that the worker holds from here
            # on, up to one that another worker holds.
            worker = owners[written]
            records = 1
            while owners.get(written + records) is worker:
                records += 1
            try:
                taken = worker.write_records(records, lambda: deal(worker))
            except _WorkerLost as lost:
                raise Refused("a worker process ended while writing the record "
                              f"of {lost.args[0]!r}") from None
            for _ in range(taken):
                del owners[written]
                written += 1
            if taken < records:
                # The worker died, perhaps of a later phrase, with records
                # still unwritten: those queued behind the next go to the
                # others, and the next is solved alone, so that only the
                # phrase that kills a worker by itself is given up.
                _, phrase = worker.pending.popleft()
                unsent.extendleft(reversed(worker.pending))
                for sequence, _ in worker.pending:
                    del owners[sequence]
                del owners[written]
                _replace(workers, worker, lexicon, arguments)
                _solve_alone(lexicon, arguments, phrase, workers, out)
                written += 1
    finally:
        for worker in workers:
            worker.end(kill=not completed)


def _solve_alone(lexicon: Lexicon, arguments: Arguments, phrase: str,
                 workers: list[_Worker], out: BinaryIO) -> None:
    alone = _Worker(lexicon, arguments, _descriptors(workers))
    try:
        if not (alone.send(0, phrase) and alone.write_records(1)):
            write_bytes(out, error_record(
                phrase, "the worker process solving this phrase ended "
                "unexpectedly (out of memory?)"))
            out.flush()
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
    return [descriptor for worker in workers for descriptor in worker.descriptors()]


def _has_descriptor(out: BinaryIO) -> bool:
    try:
        out.fileno()
    except (AttributeError, OSError, ValueError):
        return False
    return True


def solve_batch(lexicon: Lexicon, arguments: Arguments) -> None:
    assert arguments.batch is not None
    cores = os.process_cpu_count() or 1
    # More workers than a few per core only take turns on the cores, and a
    # huge --jobs would start processes until the system had none left.
    jobs = min(arguments.jobs or cores, _JOBS_PER_CORE * cores)
    # Nothing buffered may be written twice by the workers' copies.
    sys.stdout.flush()
    phrases = _phrases(arguments.batch)
    out: BinaryIO | None = getattr(sys.stdout, "buffer", None)
    if out is None:
        # A text stream without bytes beneath it (io.StringIO, say): each
        # record is made as bytes and written as text.
        for phrase in phrases:
            record = io.BytesIO()
            solve_record(lexicon, arguments, phrase).write(record)
            sys.stdout.write(record.getvalue().decode("utf-8"))
        return
    if jobs > 1 and _has_descriptor(out):
        _solve_in_workers(lexicon, arguments, phrases, jobs, out)
    else:
        for phrase in phrases:
            solve_record(lexicon, arguments, phrase).write(out)
    out.flush()
