"""pytest plugin of the sanitizer stage: fails the run when LeakSanitizer
finds memory that vorpalyx's own code allocated and lost.

The interpreter is not built with the sanitizers and keeps much of its memory
until the process dies, so a leak check at exit would report CPython's own
allocations. Instead, once the session is over, this plugin asks the
preloaded runtime for a leak check while the interpreter is still alive and
keeps only the leaks whose allocation stack passes through the extension
module (its C++ frames are built with frame pointers, so they show up). Python
objects that the module leaks are the business of tests/python/test_leaks.py.
"""

from __future__ import annotations

import ctypes
import gc
import os
import re
import sys
import tempfile

import pytest

_OUR_FRAME = re.compile(r"\bvorpalyx::|/vorpalyx/(core|_engine)\.cpython")


def _leak_report() -> str | None:
    """The text of a recoverable leak check, or None without LeakSanitizer."""
    check = getattr(ctypes.CDLL(None), "__lsan_do_recoverable_leak_check", None)
    if check is None:
        return None
    gc.collect()
    # The check reports to standard error, taken here into a file. It may
    # also die there (a thread it cannot stop, say) with exit status 1 and
    # nothing else shown: the file then holds why.
    path = os.path.join(tempfile.gettempdir(), f"vorpalyx-lsan-{os.getpid()}.txt")
    print(f"lsan_gate: leak check, reported into {path}", file=sys.stderr)
    sys.stderr.flush()
    saved_stderr = os.dup(2)
    with open(path, "w+b") as report:
        os.dup2(report.fileno(), 2)
        try:
            check()
        finally:
            os.dup2(saved_stderr, 2)
            os.close(saved_stderr)
        report.seek(0)
        text = report.read().decode(errors="replace")
    os.unlink(path)
    return text


def _our_leaks(report: str) -> list[str]:
    blocks = re.split(r"\n\s*\n", report)
    return [
        block.strip()
        for block in blocks
        if re.match(r"\s*(Direct|Indirect) leak of", block) and _OUR_FRAME.search(block)
    ]


@pytest.hookimpl(trylast=True)
def pytest_sessionfinish(session: pytest.Session, exitstatus: int) -> None:
    report = _leak_report()
    if report is None:
        session.config.get_terminal_writer().line(
            "lsan_gate: no LeakSanitizer runtime in this process", red=True
        )
        session.exitstatus = pytest.ExitCode.INTERNAL_ERROR
        return
    leaks = _our_leaks(report)
    writer = session.config.get_terminal_writer()
    if not leaks:
        writer.line("lsan_gate: no leaks from vorpalyx code", green=True)
        return
    writer.line(f"lsan_gate: {len(leaks)} leak(s) from vorpalyx code:", red=True)
    for leak in leaks:
        writer.line(leak)
    session.exitstatus = pytest.ExitCode.TESTS_FAILED
