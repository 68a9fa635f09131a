"""The JSON API and the page's files, through Starlette's test client, with
real worker processes on the bundled word list."""

from __future__ import annotations

import asyncio
import json
import os
import pathlib
import re
import signal
import threading
import time
from collections import OrderedDict

import pytest

pytest.importorskip("starlette")
from starlette.testclient import TestClient  # noqa: E402

from vorpalyx import Lexicon  # noqa: E402
from vorpalyx.server import capabilities, worker  # noqa: E402
from vorpalyx.server.app import SECURITY_HEADERS, STATIC, create_app  # noqa: E402
from vorpalyx.server.pool import WorkerPool  # noqa: E402
from vorpalyx.server.query import read_query  # noqa: E402

LONG_PHRASE = "william shakespeare"


@pytest.fixture(scope="module")
def lexicon() -> Lexicon:
    return Lexicon.english()


@pytest.fixture(scope="module")
def pool():
    pool = WorkerPool([], None, size=2)
    try:
        yield pool
    finally:
        pool.close()


@pytest.fixture(scope="module")
def client(pool):
    with TestClient(create_app(pool)) as test_client:
        yield test_client


def test_search_pages_through_the_whole_result(client, lexicon):
    expected = lexicon.search("dormitory window", max_words=3)
    pages = [client.post("/api/search", json={
        "phrase": "dormitory window", "max_words": 3, "offset": offset,
        "limit": 100}).json() for offset in (0, 100, len(expected) - 5)]
    assert [page["total"] for page in pages] == [len(expected)] * 3
    assert pages[0]["solutions"] == list(expected[:100])
    assert pages[1]["solutions"] == list(expected[100:200])
    assert pages[2]["solutions"] == list(expected[-5:])
    assert not any(page["partial"] for page in pages)


# Each value changes the result, so a constraint that is dropped or passed
# under another name shows up.
CONSTRAINT_CASES = {
    "max_words": 2, "min_word_length": 4, "must_start_with": "dw",
    "can_only_ever_start_with": "drw", "must_not_start_with": "m",
    "contains_patterns": ["room"], "max_solutions": 0, "timeout_seconds": -1,
    "min_words": 4, "max_word_length": 4, "lengths": [9, 6],
    "include": ["room"], "exclude": ["a", "i"], "distinct": True,
    "leftover": 1, "fold": False,
}


@pytest.mark.parametrize("name", capabilities.accepted_constraints())
def test_every_accepted_constraint_reaches_the_engine(client, lexicon, name):
    value = CONSTRAINT_CASES[name]
    # Only an accent tells folding from none.
    phrase = "dormitory wíndow" if name == "fold" else "dormitory window"
    search = client.post("/api/search", json={
        "phrase": phrase, name: value, "limit": 100}).json()
    count = client.post("/api/count", json={"phrase": phrase, name: value}).json()
    expected = lexicon.search(phrase, **{name: value})
    assert expected != lexicon.search(phrase)
    assert (search["total"], search["solutions"]) == (
        len(expected), list(expected[:100]))
    assert count["count"] == len(expected)


def test_the_page_is_offered_every_constraint_ranking_and_blanks(client):
    info = client.get("/api/info").json()
    assert (info["constraints"], info["ranking"], info["blanks"]) == (
        list(capabilities.CONSTRAINTS), True, True)
    # The page folds by the engine's table, which a browser cannot rebuild.
    assert (info["fold"]["ɓ"], info["fold"]["ß"], "α" in info["fold"]) == ("b", "ss", False)


@pytest.mark.parametrize("lengths", ["9,6", " 9-6 ", "9 6", [9, 6]])
def test_lengths_may_be_a_list_or_an_enumeration_as_typed(client, lexicon, lengths):
    answer = client.post("/api/search", json={
        "phrase": "dormitory window", "lengths": lengths, "limit": 100}).json()
    assert answer["solutions"] == list(lexicon.search("dormitory window",
                                                      lengths=[9, 6]))


def test_pins_accumulate_in_include_beside_the_other_constraints(client, lexicon):
    # As the page asks once two words are pinned and "No word twice" is on.
    keywords = {"include": ["dirty", "i"], "distinct": True, "leftover": 1,
                "min_words": 3}
    expected = lexicon.search("dormitory window", **keywords)
    answer = client.post("/api/search", json={
        "phrase": "dormitory window", "limit": 100, **keywords}).json()
    assert 0 < len(expected) < lexicon.count(
        "dormitory window", **{**keywords, "include": ["dirty"]})
    assert (answer["total"], answer["solutions"]) == (len(expected), list(expected[:100]))


SEARCHES_WITH_LETTERS = [
    ("dirty room", {}),
    ("dirty roo?", {"max_words": 2}),
    ("dirty ro?m", {"leftover": 2, "max_words": 2}),
    ("dirty ro??", {"max_words": 2, "order": "score"}),
]


@pytest.mark.parametrize(("phrase", "keywords"), SEARCHES_WITH_LETTERS)
def test_each_solution_comes_with_its_blanks_and_leftover_letters(
        client, lexicon, phrase, keywords):
    if "order" in keywords and not capabilities.can_rank():
        pytest.skip("no ranking in this build")
    result = lexicon.search(phrase, **keywords)
    details = [result.details(index) for index in range(20, 40)]
    answer = client.post("/api/search", json={
        "phrase": phrase, "offset": 20, "limit": 20, **keywords}).json()
    assert [answer["solutions"], answer["blanks"], answer["leftover"]] == [
        [list(entry.words) for entry in details],
        [entry.blanks for entry in details],
        [entry.leftover for entry in details]]
    # A solution without blanks or leftover letters has "" for them.
    assert any(answer["blanks"]) == ("?" in phrase)
    assert any(answer["leftover"]) == ("leftover" in keywords)


@pytest.mark.skipif(not capabilities.can_rank(), reason="no ranking in this build")
def test_best_and_ranked_search_agree_with_the_lexicon(client, lexicon):
    # Each entry of the best comes with its blanks and leftover letters.
    expected = lexicon.best("dirty ro?m", 10, leftover=1)
    ranked = client.post("/api/best", json={
        "phrase": "dirty ro?m", "k": 10, "leftover": 1}).json()["ranked"]
    assert ranked == [{"score": entry.score, "words": list(entry.words),
                       "blanks": entry.blanks, "leftover": entry.leftover}
                      for entry in expected]
    assert any(entry["blanks"] for entry in ranked)
    assert any(entry["leftover"] for entry in ranked)
    search = client.post("/api/search", json={
        "phrase": "dirty ro?m", "leftover": 1, "order": "score", "limit": 10}).json()
    assert search["solutions"] == [entry["words"] for entry in ranked]


def test_a_request_is_bounded_by_the_time_limit_and_says_it_is_partial(client):
    answer = client.post("/api/count", json={
        "phrase": LONG_PHRASE, "timeout_seconds": 0.05}).json()
    assert answer["partial"] is True
    assert 0 < answer["count"] < Lexicon.english().count(LONG_PHRASE)
    # A search leaves time for what follows it (here, ranking 26 searches'
    # solutions), so it may end well before its limit: partial all the same.
    search = client.post("/api/search", json={
        "phrase": "the quick brown fox jumps ?", "order": "score", "timeout_seconds": 0.5}).json()
    assert search["partial"] is True and search["total"] > 0


def test_a_short_request_is_answered_while_a_long_one_runs(client):
    # The long request runs into its 2 s limit; the short one, sent while it
    # runs, is answered in far less than that only by another process.
    long_answer = {}
    long_request = threading.Thread(target=lambda: long_answer.update(
        client.post("/api/count", json={"phrase": LONG_PHRASE + " and bacon"}).json()))
    long_request.start()
    time.sleep(0.2)
    started = time.monotonic()
    short = client.post("/api/count", json={"phrase": "dormitory"}).json()
    waited = time.monotonic() - started
    long_request.join()
    assert short["count"] == 70
    assert long_answer["partial"] is True
    assert waited < 1.0


@pytest.mark.parametrize(("body", "more_body", "then", "status", "message"), [
    # As the page leaves a question when the phrase changes: the body sent,
    # then the connection closed before the answer.
    (json.dumps({"phrase": LONG_PHRASE}).encode(), False, "leaves", 499,
     "the client stopped waiting for the answer"),
    (b'{"phrase": "wil', True, "leaves", 499,
     "the client left before sending the whole request"),
    (b'{"phrase": "wil', True, "waits", 408,
     "the request body took more than 0.2 seconds to arrive"),
])
def test_a_request_whose_client_leaves_or_stalls_is_not_solved(pool, body, more_body, then,
                                                              status, message):
    messages = iter([{"type": "http.request", "body": body, "more_body": more_body}])
    sent = []

    async def receive():
        message = next(messages, None)
        if message is None and then == "waits":
            await asyncio.sleep(5)
        return message or {"type": "http.disconnect"}

    async def send(message):
        sent.append(message)

    scope = {"type": "http", "method": "POST", "path": "/api/count",
             "query_string": b"", "headers": [
                 (b"host", b"127.0.0.1"), (b"content-type", b"application/json")]}
    asyncio.run(create_app(pool, body_seconds=0.2)(scope, receive, send))
    assert (sent[0]["status"], json.loads(sent[1]["body"])) == (
        status, {"error": message})


def test_a_worker_that_dies_is_replaced(client, pool):
    answers = []
    request = threading.Thread(target=lambda: answers.append(
        client.post("/api/count", json={"phrase": LONG_PHRASE + " and bacon"})))
    request.start()
    time.sleep(0.3)
    for process_id in pool.process_ids():
        os.kill(process_id, signal.SIGKILL)
    request.join()
    [answer] = answers
    assert (answer.status_code, answer.json()) == (503, {
        "error": "the worker process solving this request ended unexpectedly "
                 "(out of memory?)"})
    assert client.post("/api/count", json={"phrase": "dormitory"}).json()["count"] == 70


def test_a_worker_that_cannot_start_again_leaves_the_others_answering(tmp_path):
    words = tmp_path / "words.txt"
    words.write_text("dirty\nroom\n")
    pool = WorkerPool([str(words)], None, size=2)
    try:
        with TestClient(create_app(pool)) as own_client:
            words.unlink()
            os.kill(pool.process_ids()[0], signal.SIGKILL)
            answers = [own_client.post("/api/count", json={"phrase": "dirty room"})
                       for _ in range(3)]
    finally:
        pool.close()
    assert (answers[0].status_code, answers[0].json()) == (503, {
        "error": "a worker process ended and a new one could not start: can "
                 "the server's word lists still be read?"})
    assert [(answer.status_code, answer.json()["count"]) for answer in answers[1:]] == [
        (200, 1), (200, 1)]


def test_pages_of_a_partial_result_wait_for_the_worker_that_holds_it():
    # Worker 0 counts while worker 1 searches, then counts too; another
    # worker's search of the next page would stop elsewhere, so the page
    # waits for worker 1 and comes from the result it keeps.
    search = {"phrase": "william shakespeare and francis bacon", "timeout_seconds": 0.3,
              "limit": 5}
    count = {"phrase": "william shakespeare and francis bacon", "timeout_seconds": 1.5}

    async def ask() -> list[dict[str, object]]:
        later = asyncio.create_task(pool.solve(read_query("count", count)))
        await asyncio.sleep(0.05)
        first = await pool.solve(read_query("search", search))
        busy = asyncio.create_task(pool.solve(read_query("count", count)))
        await asyncio.sleep(0.05)
        second = await pool.solve(read_query("search", {**search, "offset": 5}))
        await asyncio.gather(later, busy)
        return [first, second]

    pool = WorkerPool([], None, size=2)
    try:
        first, second = asyncio.run(ask())
    finally:
        pool.close()
    assert first["partial"] is True and second["total"] == first["total"]


@pytest.mark.parametrize("method", ["search", "count", "best"])
def test_a_worker_solves_on_one_thread(monkeypatch, method):
    threads = []

    class Recorder:
        def __getattr__(self, name):
            answer = Lexicon().search("x") if name == "search" else []
            return lambda *arguments, **keywords: threads.append(keywords.get("threads")) or answer

    monkeypatch.setattr(worker, "_lexicon", Recorder())
    monkeypatch.setattr(worker, "_kept", OrderedDict())
    query = read_query(method, {"phrase": "dormitory", "leftover": 1})
    WorkerPool._call(query.key(), query)()
    assert threads == [1]


@pytest.mark.skipif(capabilities.can_rank(), reason="this build ranks")
def test_best_says_ranking_is_unavailable(client):
    answer = client.post("/api/best", json={"phrase": "dormitory"})
    assert (answer.status_code, answer.json()) == (
        404, {"error": "ranking is not available in this build of vorpalyx"})


@pytest.mark.parametrize(("method", "body", "status", "message"), [
    ("search", {"phrase": "x", "max_words": "3"}, 400,
     "search() argument 'max_words' must be int or None, not str"),
    ("count", {"phrase": "x", "max_solutions": 10**30}, 400,
     "count() argument 'max_solutions' must be at most 18446744073709551615, "
     "not 1000000000000000000000000000000"),
    ("search", {"phrase": "x", "contains_patterns": "room"}, 400,
     "search() argument 'contains_patterns' must be an iterable of str, not str"),
    ("search", {"phrase": 7}, 400, "search() argument 'phrase' must be str, not int"),
    ("count", {}, 400, "count() missing required argument 'phrase'"),
    ("search", {"phrase": "x", "threads": 2}, 400,
     "'threads' is chosen by the server, not by a request"),
    ("search", {"phrase": "x", "dictionary": "/etc/passwd"}, 400,
     "search() got an unexpected keyword argument 'dictionary'"),
    ("count", {"phrase": "x", "offset": 1}, 400,
     "count() got an unexpected keyword argument 'offset'"),
    ("search", {"phrase": "x", "limit": 101}, 400,
     "'limit' must be a whole number from 1 to 100, not 101"),
    ("search", {"phrase": "x", "offset": True}, 400,
     "'offset' must be a whole number from 0 to 9223372036854775807, not true"),
    ("search", {"phrase": "x" * 201}, 400, "'phrase' is longer than 200 characters"),
    ("search", {"phrase": "x", "contains_patterns": ["y" * 65]}, 400,
     "'contains_patterns' is longer than 64 characters"),
    ("search", {"phrase": "x", "contains_patterns": ["y"] * 33}, 400,
     "'contains_patterns' has more than 32 items"),
    ("search", {"phrase": "x", "contains_patterns": [["y"]]}, 400,
     "'contains_patterns' must not hold lists or objects"),
    ("search", {"phrase": "x", "lengths": "5,x"}, 400,
     "'lengths' must be word lengths such as [5, 4] or \"5,4\", not \"5,x\""),
    ("count", {"phrase": "x", "lengths": "5-0"}, 400,
     "count() argument 'lengths' must be at least 1, not 0"),
    ("search", {"phrase": "x", "lengths": [5, None]}, 400,
     "search() argument 'lengths' must hold only int, not NoneType"),
    ("search", {"phrase": "x", "include": ["!!"]}, 400,
     "search() argument 'include' holds a word without letters: '!!'"),
    ("best", {"phrase": "x", "exclude": "a"}, 400,
     "best() argument 'exclude' must be an iterable of str, not str"),
    ("count", {"phrase": "x", "distinct": 1}, 400,
     "count() argument 'distinct' must be bool, not int"),
    ("search", {"phrase": "x", "leftover": -1}, 400,
     "search() argument 'leftover' must be at least 0, not -1"),
    ("count", {"phrase": "x", "min_words": -1}, 400,
     "count() argument 'min_words' must be at least 0, not -1"),
    ("search", {"phrase": "x", "max_word_length": 0}, 400,
     "search() argument 'max_word_length' must be at least 1, not 0"),
    ("search", {"phrase": "a?b?c?d?"}, 400,
     "search() argument 'phrase' has 4 blanks ('?'); at most 3 are allowed"),
    ("search", {"phrase": "x", "exclude": ["a"] * 33}, 400,
     "'exclude' has more than 32 items"),
    ("search", {"phrase": "x", "exclude": {"a" * 65: 1}}, 400,
     "'exclude' is longer than 64 characters"),
    ("search", {"phrase": "x", "include": ["y" * 65]}, 400,
     "'include' is longer than 64 characters"),
])
def test_refusals_are_json_with_the_python_message(client, method, body, status,
                                                   message):
    answer = client.post(f"/api/{method}", json=body)
    assert (answer.status_code, answer.json()) == (status, {"error": message})


@pytest.mark.parametrize(("body", "headers", "status", "message"), [
    (b"{not json", {}, 400, "the request body is not valid JSON: Expecting "
     "property name enclosed in double quotes: line 1 column 2 (char 1)"),
    (b'{"phrase": "x", "timeout_seconds": NaN}', {}, 400,
     "the request body is not valid JSON: NaN is not a JSON number"),
    (b'{"phrase": "x", "timeout_seconds": 1e999}', {}, 400,
     "the request body is not valid JSON: 1e999 is not a finite number"),
    (b'{"phrase": "x", "max_words": 1' + b"0" * 5000 + b"}", {}, 400, None),
    (b"[" * 100_000, {}, 413, "the request body is larger than 16384 bytes"),
    (b"[" * 8000 + b"]" * 8000, {}, 400, "the request body must be a JSON object"),
    (b'["phrase"]', {}, 400, "the request body must be a JSON object"),
    (b'{"phrase": "x", "\\ud800": 1}', {}, 400,
     "search() got an unexpected keyword argument '\\ud800'"),
    (b'{"phrase": "x"}', {"content-type": "text/plain"}, 415,
     "the request must be JSON (Content-Type: application/json)"),
])
def test_malformed_bodies_are_refused(client, body, headers, status, message):
    answer = client.post("/api/search", content=body, headers={
        "content-type": "application/json", **headers})
    assert answer.status_code == status
    if message is None:
        assert answer.json()["error"].startswith("the request body is not valid JSON")
    else:
        assert answer.json() == {"error": message}


@pytest.mark.parametrize("content_type", [
    "application/json", "Application/JSON", "application/json; charset=UTF-8"])
def test_any_spelling_of_the_json_media_type_is_taken(client, content_type):
    answer = client.post("/api/count", content=b'{"phrase": "dormitory"}',
                         headers={"content-type": content_type})
    assert (answer.status_code, answer.json()["count"]) == (200, 70)


@pytest.mark.parametrize(("method", "path", "status", "allowed"), [
    ("GET", "/api/search", 405, {"POST"}), ("PUT", "/api/count", 405, {"POST"}),
    ("POST", "/api/info", 405, {"GET", "HEAD"}),
    ("GET", "/api/nothing", 404, None), ("GET", "/static/../query.py", 404, None),
])
def test_other_paths_and_methods_are_json_refusals(client, method, path, status,
                                                   allowed):
    answer = client.request(method, path)
    assert answer.status_code == status
    assert set(answer.json()) == {"error"}
    allow = answer.headers.get("allow")
    assert (allow and set(allow.split(", "))) == allowed


@pytest.mark.parametrize(("host", "status"), [
    ("127.0.0.1:8000", 200), ("localhost", 200), ("127.0.0.2", 200),
    ("[::1]:8000", 200), ("attacker.example:8000", 421), ("", 421),
    ("127.0.0.1.attacker.example", 421),
])
def test_a_loopback_server_answers_only_requests_addressed_to_it(pool, host, status):
    with TestClient(create_app(pool, loopback_only=True)) as loopback_client:
        answer = loopback_client.get("/api/info", headers={"host": host})
    assert answer.status_code == status
    # A refusal, too, is not to be sniffed as anything but JSON.
    assert {name: answer.headers.get(name) for name in SECURITY_HEADERS} == SECURITY_HEADERS
    if status == 421:
        assert answer.json() == {"error": "this server answers only requests "
                                 "addressed to this machine (Host: 127.0.0.1, "
                                 "localhost or [::1])"}


def test_the_page_and_its_files_come_from_this_server_alone(client):
    page = client.get("/")
    assert page.status_code == 200
    assert page.headers["content-security-policy"].startswith("default-src 'self'")
    # Asked for again at each load, so that a new version of the package is
    # not run with the page of an old one that the browser kept.
    assert page.headers["cache-control"] == "no-cache"
    for name in ("index.html", "page.css", "page.js"):
        text = (STATIC / name).read_text()
        assert not re.search(r"(https?:)?//[a-z]", text.replace("\n//", "\n")), name
        served = client.get(f"/static/{name}")
        assert (served.text, served.headers["cache-control"]) == (text, "no-cache")
        assert client.get(f"/static/{name}", headers={
            "if-none-match": served.headers["etag"]}).status_code == 304


def test_the_static_files_are_in_the_wheel_package():
    from vorpalyx.server import app

    installed = pathlib.Path(app.__file__).with_name("static")
    assert sorted(path.name for path in installed.iterdir()) == [
        "index.html", "page.css", "page.js"]
