"""`vorpalyx serve` as a command: its address, Ctrl-C, and what it refuses."""

from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
import time
import urllib.request

import pytest

pytest.importorskip("uvicorn")

from serving import running_server  # noqa: E402

from vorpalyx import Lexicon, cli  # noqa: E402


# Ctrl-C reaches the whole group; a server killed alone (by the kernel for
# memory, say) cannot end its workers, which then end by themselves.
@pytest.mark.parametrize(("stop", "status"), [
    (lambda pid: os.killpg(pid, signal.SIGINT), 0),
    (lambda pid: os.kill(pid, signal.SIGKILL), -signal.SIGKILL)],
    ids=["ctrl-c", "server-killed"])
def test_it_serves_until_stopped_and_then_leaves_no_process(tmp_path, stop, status):
    words = tmp_path / "words.txt"
    words.write_text("dirty\nroom\n")
    with running_server("--port", "0", "--dict", str(words)) as (process, address):
        request = urllib.request.Request(
            address + "api/search", data=b'{"phrase": "dormitory"}',
            headers={"content-type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as response:
            assert json.load(response)["solutions"] == [["dirty", "room"]]
        stop(process.pid)
        assert process.wait(timeout=20) == status
        # Before reading standard error, which workers left behind hold.
        assert group_ends(process.pid)
        if status == 0:
            # A killed server's semaphores are freed by multiprocessing's
            # resource tracker, which says so.
            assert process.stderr.read() == ""


def group_ends(group: int) -> bool:
    # The workers' helpers end when they see the server gone, and the init
    # process reaps them soon after.
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        try:
            os.killpg(group, 0)
        except ProcessLookupError:
            return True
        time.sleep(0.1)
    return False


@pytest.mark.parametrize(("options", "status", "message"), [
    (["--dict", "missing.txt"], 1,
     "vorpalyx serve: error: {tmp}/missing.txt: No such file or directory "
     "(os error 2)\n"),
    (["--port", "65536"], 2, "argument --port: expected a port number from 0 "
     "to 65535, got '65536'\n"),
    # A digit that is no decimal one ('²').
    (["--port", "8\u00b2"], 2, "argument --port: expected a port number from 0 "
     "to 65535, got '8\u00b2'\n"),
    # The file at fault is named, the weights as such.
    (["--dict", "words.txt", "--dict", "latin1.txt"], 1,
     "vorpalyx serve: error: {tmp}/latin1.txt: stream did not contain valid UTF-8\n"),
    # Read once here, a pipe would leave the workers an empty list or none.
    (["--dict", "words.txt", "--dict", "fifo"], 1,
     "vorpalyx serve: error: {tmp}/fifo: a pipe, not a file (each worker reads it again)\n"),
    (["--dict", "words.txt", "--weights", "fifo"], 1,
     "vorpalyx serve: error: {tmp}/fifo: a pipe, not a file (each worker reads it again)\n"),
    (["--dict", "words.txt", "--weights", "counts.tsv"], 1,
     "vorpalyx serve: error: argument --weights: set_weights(): line 1 of "
     "'{tmp}/counts.tsv': expected word<TAB>count, got 'room 5'\n"),
    # Not every interface, as the socket would take it.
    (["--host", ""], 2, "argument --host: expected an address, got ''\n"),
    (["--host", "192.0.2.1"], 1, "vorpalyx serve: error: cannot listen on "
     "192.0.2.1 port 0: Cannot assign requested address (os error 99)\n"),
    # A name that no host can have, as one with a byte that is not UTF-8.
    (["--host", "a\0b"], 1, "vorpalyx serve: error: cannot listen on "
     "a\0b port 0: host name must not contain null character\n"),
    (["--weights", "weights.txt"], 2,
     "argument --weights: ranking is not available in this build of vorpalyx\n"),
])
def test_refusals(capsys, monkeypatch, tmp_path, options, status, message):
    if options[0] == "--weights" and hasattr(Lexicon, "set_weights"):
        pytest.skip("this build ranks")
    monkeypatch.chdir(tmp_path)
    (tmp_path / "words.txt").write_text("room\n")
    (tmp_path / "latin1.txt").write_bytes(b"caf\xe9\n")
    (tmp_path / "counts.tsv").write_text("room 5\n")
    os.mkfifo(tmp_path / "fifo")
    assert cli.main(["serve", *options]) == status
    assert capsys.readouterr().err.endswith(message.format(tmp=tmp_path))


# Closed, uvicorn's logging would fail on it with a traceback.
@pytest.mark.parametrize("output", ["full", "full unbuffered", "closed"])
@pytest.mark.parametrize("options", [["--port", "0"], ["--help"]])
def test_output_that_cannot_be_written_is_one_line_and_status_1(options, output):
    environment = {name: value for name, value in os.environ.items()
                   if name != "PYTHONUNBUFFERED"}
    if output == "full unbuffered":
        environment["PYTHONUNBUFFERED"] = "1"
    closed = output == "closed"
    with open(os.devnull if closed else "/dev/full", "wb") as full:
        completed = subprocess.run(
            [sys.executable, "-m", "vorpalyx", "serve", *options], stdout=full,
            stderr=subprocess.PIPE, text=True, env=environment, timeout=60,
            preexec_fn=(lambda: os.close(1)) if closed else None)
    reason = ("Bad file descriptor (os error 9)" if closed
              else "No space left on device (os error 28)")
    assert (completed.returncode, completed.stderr) == (
        1, f"vorpalyx serve: error: standard output: {reason}\n")


def test_serve_after_double_dash_is_a_phrase(capsys):
    assert cli.main(["--", "serve"]) == 0
    expected = Lexicon.english().search("serve")
    assert capsys.readouterr().out == "".join(
        " ".join(words) + "\n" for words in expected)
