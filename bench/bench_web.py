"""Figures of `vorpalyx serve` on this machine, with the bundled word list:

1. keystroke to updated results for "clint eastwood" in headless Chromium:
   from the keydown of the final "d" to the page showing that phrase's
   results, first with a query no worker has solved yet and then repeated
   (the worker keeps the result);
2. 200 concurrent search requests on loopback, in bursts, of phrases as
   people type them and then of phrases that run into the time limit: how
   many were answered, median and 99th percentile latency, and the resident
   memory of the server and its workers (sampled during the bursts, and
   after each).

Needs the web extra, selenium and Debian's chromium and chromium-driver.
Run: .venv/bin/python bench/bench_web.py [--keystrokes N] [--bursts N]
"""

from __future__ import annotations

import argparse
import asyncio
import json
import os
import random
import statistics
import sys
import threading
import time
from pathlib import Path
from urllib.parse import urlsplit

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "python"))

from serving import running_server  # noqa: E402

from vorpalyx import default_dictionary_path  # noqa: E402

PHRASE = "clint eastwood"
CONCURRENT = 200

# Records, in the page, the time of the next keydown and the time the
# results of `target` are shown after it.
WATCH = """
const target = arguments[0];
window.benchmark = {};
document.getElementById("phrase").addEventListener("keydown",
  () => { window.benchmark.pressed = performance.now(); }, { once: true });
const summary = document.getElementById("summary");
const observer = new MutationObserver(() => {
  if (summary.dataset.phrase === target && summary.dataset.total !== undefined
      && window.benchmark.pressed !== undefined) {
    window.benchmark.shown = performance.now();
    observer.disconnect();
  }
});
observer.observe(summary, { attributes: true, childList: true, subtree: true });
"""


def browser():  # type: ignore[no-untyped-def]
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu",
                     "--disable-dev-shm-usage", "--window-size=412,915"):
        options.add_argument(argument)
    return webdriver.Chrome(options=options,
                            service=Service("/usr/bin/chromedriver"))


def keystroke_figures(address: str, samples: int) -> None:
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait

    driver = browser()
    try:
        driver.get(address)
        phrase = driver.find_element(By.ID, "phrase")
        driver.find_element(By.CSS_SELECTOR, "#constraints-panel summary").click()
        cap = driver.find_element(By.ID, "constraint-max_solutions")
        fresh, repeated = [], []
        for sample in range(samples):
            for figures, new_query in ((fresh, True), (repeated, False)):
                if new_query:
                    # A cap no search reaches: the same solutions, but a
                    # query that no worker has kept.
                    cap.clear()
                    cap.send_keys(str(10**9 + sample))
                phrase.clear()
                phrase.send_keys(PHRASE[:-1])
                WebDriverWait(driver, 20, poll_frequency=0.02).until(
                    lambda d: d.execute_script(
                        "const s = document.getElementById('summary');"
                        "return s.dataset.phrase === arguments[0] &&"
                        " s.dataset.total !== undefined;", PHRASE[:-1]))
                time.sleep(0.1)
                driver.execute_script(WATCH, PHRASE)
                phrase.send_keys(PHRASE[-1])
                timing = WebDriverWait(driver, 20, poll_frequency=0.01).until(
                    lambda d: d.execute_script(
                        "return window.benchmark.shown && window.benchmark;"))
                figures.append(timing["shown"] - timing["pressed"])
    finally:
        driver.quit()
    for name, figures in (("new query", fresh), ("repeated query", repeated)):
        print(f"keystroke to updated results, {PHRASE!r}, {name}: median "
              f"{statistics.median(figures):.1f} ms, best {min(figures):.1f} ms,"
              f" worst {max(figures):.1f} ms over {len(figures)} keystrokes "
              "(target: median <= 100 ms)")


def load_phrases(count: int, words_each: int) -> list[str]:
    """Distinct phrases of words of 4 to 7 letters: two make phrases as
    people type them (8 to 14 letters: "clint eastwood" has 13), three make
    phrases of millions of solutions, whose searches the time limit ends."""
    with open(default_dictionary_path(), encoding="utf-8") as words:
        pool = [word for word in map(str.strip, words)
                if 4 <= len(word) <= 7 and word.isalpha()]
    chooser = random.Random(16 + words_each)
    return [" ".join(chooser.sample(pool, words_each)) for _ in range(count)]


async def one_request(host: str, port: int, phrase: str) -> tuple[int, float]:
    body = json.dumps({"phrase": phrase, "limit": 20}).encode()
    started = time.perf_counter()
    reader, writer = await asyncio.open_connection(host, port)
    writer.write(b"POST /api/search HTTP/1.1\r\nHost: %s\r\n"
                 b"Content-Type: application/json\r\nContent-Length: %d\r\n"
                 b"Connection: close\r\n\r\n%s" % (host.encode(), len(body), body))
    await writer.drain()
    response = await reader.read()
    writer.close()
    elapsed = time.perf_counter() - started
    status = int(response.split(b" ", 2)[1]) if response else 0
    return status, elapsed


def resident_kib(group: int) -> int:
    total = 0
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            if os.getpgid(int(pid)) != group:
                continue
            with open(f"/proc/{pid}/status") as status:
                for line in status:
                    if line.startswith("VmRSS:"):
                        total += int(line.split()[1])
        except (OSError, ValueError):
            continue
    return total


def load_figures(address: str, group: int, bursts: int, words_each: int) -> None:
    parts = urlsplit(address)
    host, port = parts.hostname, parts.port
    assert host is not None and port is not None
    phrases = load_phrases(CONCURRENT * bursts, words_each)
    print(f"{CONCURRENT} concurrent requests of {words_each} words each, "
          f"{bursts} burst(s); server and workers at rest: "
          f"{resident_kib(group) / 1024:.0f} MiB resident")
    peak = 0
    sampling = True

    def sample() -> None:
        nonlocal peak
        while sampling:
            peak = max(peak, resident_kib(group))
            time.sleep(0.05)

    sampler = threading.Thread(target=sample)
    sampler.start()
    try:
        for burst in range(bursts):
            chunk = phrases[burst * CONCURRENT:(burst + 1) * CONCURRENT]

            async def run(chunk: list[str] = chunk) -> list[tuple[int, float]]:
                return await asyncio.gather(*(one_request(host, port, phrase)
                                              for phrase in chunk))
            started = time.perf_counter()
            answers = asyncio.run(run())
            wall = time.perf_counter() - started
            latencies = sorted(elapsed * 1000 for _, elapsed in answers)
            answered = sum(status == 200 for status, _ in answers)
            p99 = latencies[int(0.99 * (len(latencies) - 1))]
            print(f"burst {burst + 1}: {answered}/{CONCURRENT} answered with 200 "
                  f"in {wall:.2f} s; latency median {statistics.median(latencies):.0f} ms,"
                  f" p99 {p99:.0f} ms; resident after: "
                  f"{resident_kib(group) / 1024:.0f} MiB")
    finally:
        sampling = False
        sampler.join()
    print(f"peak resident memory of server and workers during the bursts: "
          f"{peak / 1024:.0f} MiB")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--keystrokes", type=int, default=15)
    parser.add_argument("--bursts", type=int, default=3)
    parser.add_argument("--heavy-bursts", type=int, default=1)
    arguments = parser.parse_args()
    with running_server("--port", "0") as (process, address):
        print(f"server: {address} (pid {process.pid})")
        keystroke_figures(address, arguments.keystrokes)
        load_figures(address, process.pid, arguments.bursts, 2)
        if arguments.heavy_bursts:
            load_figures(address, process.pid, arguments.heavy_bursts, 3)


if __name__ == "__main__":
    main()
