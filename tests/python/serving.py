"""Runs `vorpalyx serve` as the user would, in a process group of its own
(as a terminal's job), for the tests that need a real server."""

from __future__ import annotations

import contextlib
import os
import re
import signal
import subprocess
import sys
from collections.abc import Iterator

ADDRESS_LINE = re.compile(
    r"Serving vorpalyx on (http://127\.0\.0\.1:\d+/) \(Ctrl-C stops it\)\n")


@contextlib.contextmanager
def running_server(*options: str) -> Iterator[tuple[subprocess.Popen[str], str]]:
    """The server process and the address it printed."""
    process = subprocess.Popen(
        [sys.executable, "-m", "vorpalyx", "serve", *options],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
        start_new_session=True)
    try:
        line = process.stdout.readline()  # type: ignore[union-attr]
        match = ADDRESS_LINE.fullmatch(line)
        assert match, (line, process.stderr.read() if process.poll() is not None else "")  # type: ignore[union-attr]
        yield process, match[1]
    finally:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        process.stdout.close()  # type: ignore[union-attr]
        process.stderr.close()  # type: ignore[union-attr]
