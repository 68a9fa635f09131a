"""The worker processes that solve requests.

A search holds its thread for its whole run, so requests are solved in a few
processes, each loading the lexicon once, and the event loop only waits for
their answers. Each process takes one request at a time. A request goes to
the process that last solved the same query when that one is free (it keeps
the result, so the next page costs no search), else to the least busy one.
A process that dies, or overruns its time limit by far and is killed, is
replaced by a new one (which loads the lexicon while the server waits).
"""

from __future__ import annotations

import asyncio
import multiprocessing
import os
import signal
from collections.abc import Awaitable, Callable
from concurrent.futures import ProcessPoolExecutor
from concurrent.futures.process import BrokenProcessPool
from functools import partial
from multiprocessing.connection import Connection

from vorpalyx.server import worker
from vorpalyx.server.query import Query, Refused

# Past the request's own limit, the time a process gets to answer before it
# is taken for stuck.
GRACE_SECONDS = 10.0
MAX_WAITING = 1000


def _context() -> multiprocessing.context.BaseContext:
    # Processes fork from a clean server process that has imported only the
    # worker's module: neither the caller's threads nor a re-run of its main
    # script (which spawning does) come along.
    context = multiprocessing.get_context("forkserver")
    context.set_forkserver_preload([worker.__name__])
    return context


# The writing end stays in the server for its life and is never written to:
# a worker reads the other end to learn that the server has gone.
_server_alive: tuple[Connection, Connection] | None = None


def _server_alive_reader() -> Connection:
    global _server_alive
    if _server_alive is None:
        _server_alive = multiprocessing.Pipe(duplex=False)
    return _server_alive[0]


def default_size() -> int:
    return min(4, max(2, os.process_cpu_count() or 1))


class _Process:
    def __init__(self, dictionaries: list[str], weights: str | None) -> None:
        self.executor = ProcessPoolExecutor(
            max_workers=1, mp_context=_context(),
            initializer=worker.start,
            initargs=(dictionaries, weights, _server_alive_reader()))
        try:
            self.pid = self.executor.submit(worker.process_id).result()
        except BaseException:
            self.executor.shutdown(wait=True, cancel_futures=True)
            raise

    def kill(self) -> None:
        try:
            os.kill(self.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        self.executor.shutdown(wait=True, cancel_futures=True)


class WorkerPool:
    def __init__(self, dictionaries: list[str], weights: str | None,
                 size: int | None = None) -> None:
        self._dictionaries = dictionaries
        self._weights = weights
        # None for a slot whose process could not be started again.
        self._processes: list[_Process | None] = [
            _Process(dictionaries, weights)
            for _ in range(size or default_size())]
        # By slot, which a replaced process keeps: the requests that wait
        # for it or run on it, and the turn they take.
        self._waiting = [0] * len(self._processes)
        self._turns = [asyncio.Lock() for _ in self._processes]
        self._last_solver: dict[tuple[object, ...], int] = {}
        # Searches whose kept result is partial: another worker's search
        # would find other solutions, so their pages wait for the one that
        # holds it.
        self._partial: set[tuple[object, ...]] = set()

    def process_ids(self) -> list[int]:
        return [process.pid for process in self._processes
                if process is not None]

    def _choose(self, key: tuple[object, ...]) -> int:
        preferred = self._last_solver.get(key)
        if (preferred is not None and self._processes[preferred] is not None
                and (not self._waiting[preferred] or key in self._partial)):
            return preferred
        # A slot without a process is tried again only when all are so.
        slots = [index for index, process in enumerate(self._processes)
                 if process is not None] or range(len(self._processes))
        return min(slots, key=lambda index: self._waiting[index])

    async def solve(self, query: Query,
                    gone: Callable[[], Awaitable[bool]] | None = None
                    ) -> dict[str, object]:
        """The answer of a worker to `query`; raises Refused. `gone` tells
        whether the client has stopped waiting for it."""
        if sum(self._waiting) >= MAX_WAITING:
            raise Refused("the server is busy; try again shortly", 503)
        key = query.key()
        index = self._choose(key)
        self._waiting[index] += 1
        try:
            async with self._turns[index]:
                # The page asks anew at every keystroke and drops the
                # question it no longer wants; solving those in turn would
                # keep the latest one waiting behind them.
                if gone is not None and await gone():
                    raise Refused("the client stopped waiting for the "
                                  "answer", 499)
                if self._last_solver.get(key) != index:
                    self._partial.discard(key)
                self._last_solver[key] = index
                if len(self._last_solver) > 4 * MAX_WAITING:
                    self._last_solver.clear()
                    self._partial.clear()
                call = self._call(key, query)
                loop = asyncio.get_running_loop()
                process = self._processes[index]
                if process is None:
                    process = self._replace(index)
                try:
                    future = loop.run_in_executor(process.executor, call)
                except BrokenProcessPool:
                    # It died while idle, so not of this request.
                    future = loop.run_in_executor(
                        self._replace(index).executor, call)
                limit = float(query.keywords["timeout_seconds"])
                try:
                    answer: dict[str, object] = await asyncio.wait_for(
                        future, max(limit, 0) + GRACE_SECONDS)
                    if query.method == "search" and answer["partial"]:
                        self._partial.add(key)
                    elif query.method == "search":
                        self._partial.discard(key)
                    return answer
                except TimeoutError:
                    self._replace(index)
                    raise Refused("the solver did not answer in time", 503) \
                        from None
                except BrokenProcessPool:
                    self._replace(index)
                    raise Refused("the worker process solving this request "
                                  "ended unexpectedly (out of memory?)", 503) \
                        from None
                except (TypeError, ValueError, OverflowError) as error:
                    raise Refused(str(error)) from None
                except MemoryError as error:
                    raise Refused(str(error) or "out of memory", 422) \
                        from None
        finally:
            self._waiting[index] -= 1

    @staticmethod
    def _call(key: tuple[object, ...], query: Query):  # type: ignore[no-untyped-def]
        if query.method == "search":
            return partial(worker.search, key, query.phrase, query.keywords,
                           query.offset, query.limit)
        if query.method == "count":
            return partial(worker.count, query.phrase, query.keywords)
        return partial(worker.best, query.phrase, query.k, query.keywords)

    def _replace(self, index: int) -> _Process:
        """A new process in the slot; raises Refused when none starts (its
        files cannot be read any more, say)."""
        old = self._processes[index]
        self._processes[index] = None
        if old is not None:
            old.kill()
        try:
            new = _Process(self._dictionaries, self._weights)
        except BrokenProcessPool:
            raise Refused("a worker process ended and a new one could not "
                          "start: can the server's word lists still be "
                          "read?", 503) from None
        self._processes[index] = new
        return new

    def close(self) -> None:
        for process in self._processes:
            if process is not None:
                process.executor.shutdown(wait=True, cancel_futures=True)
