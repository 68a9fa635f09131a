"""Time and memory of Solver.load_dictionary_from_path on Debian's word lists.

Each run loads one list into a fresh Solver in a fresh process, so the memory
figures are those of the dictionary alone: the growth of the resident set
(VmRSS) across the load, and the growth of its peak (VmHWM, reset just before
the load), which also counts the file's text while it is held. The medians of
the runs are printed against the targets.

    .venv/bin/python bench/bench_dictionary_load.py [--runs N]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
from dataclasses import dataclass

MEBIBYTE = 1024 * 1024


@dataclass(frozen=True)
class WordList:
    label: str
    path: str
    package: str
    max_seconds: float
    max_rss_growth: int | None  # bytes


WORD_LISTS = [
    WordList("wamerican", "/usr/share/dict/american-english", "wamerican", 0.040, 8 * MEBIBYTE),
    WordList(
        "wamerican-insane",
        "/usr/share/dict/american-english-insane",
        "wamerican-insane",
        0.300,
        None,
    ),
]

# Runs in the child process; prints one JSON object.
CHILD = r"""
import json, sys, time
from vorpalyx.core import Solver

def status(field):
    with open("/proc/self/status") as lines:
        for line in lines:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise LookupError(field)

solver = Solver()
try:
    with open("/proc/self/clear_refs", "w") as clear:
        clear.write("5")  # resets VmHWM to the current VmRSS
    peak_reset = True
except OSError:
    peak_reset = False
rss_before = status("VmRSS")
peak_before = status("VmHWM")
start = time.perf_counter()
solver.load_dictionary_from_path(sys.argv[1])
seconds = time.perf_counter() - start
print(json.dumps({
    "seconds": seconds,
    "rss_growth": status("VmRSS") - rss_before,
    "peak_growth": status("VmHWM") - peak_before if peak_reset else None,
    "words_found": solver.solve("listen", max_words=1) != [],
}))
"""


def run_once(path: str) -> dict:
    completed = subprocess.run(
        [sys.executable, "-c", CHILD, path], capture_output=True, text=True, check=True
    )
    return json.loads(completed.stdout)


def megabytes(size: float) -> str:
    return f"{size / MEBIBYTE:.2f} MB"


def verdict(ok: bool) -> str:
    return "ok" if ok else "MISSED"


def bench(word_list: WordList, runs: int) -> bool:
    if not os.path.exists(word_list.path):
        print(
            f"{word_list.label}: {word_list.path} is missing; install it with "
            f"'apt-get install {word_list.package}' (or 'apt-get install wamerican "
            "wamerican-insane' for both)"
        )
        return True
    with open(word_list.path, "rb") as file:
        content = file.read()
    results = [run_once(word_list.path) for _ in range(runs)]
    if not all(result["words_found"] for result in results):
        print(f"{word_list.label}: the loaded dictionary does not solve 'listen'")
        return False
    seconds = statistics.median(result["seconds"] for result in results)
    rss_growth = statistics.median(result["rss_growth"] for result in results)
    peaks = [result["peak_growth"] for result in results if result["peak_growth"] is not None]

    time_ok = seconds <= word_list.max_seconds
    print(
        f"{word_list.label}: {content.count(b'\n')} lines, {megabytes(len(content))} "
        f"({runs} runs, each a fresh process)"
    )
    print(
        f"  load time   median {seconds * 1000:8.2f} ms   "
        f"(min {min(r['seconds'] for r in results) * 1000:.2f}, "
        f"max {max(r['seconds'] for r in results) * 1000:.2f})   "
        f"target <= {word_list.max_seconds * 1000:.0f} ms: {verdict(time_ok)}"
    )
    rss_ok = word_list.max_rss_growth is None or rss_growth <= word_list.max_rss_growth
    target = (
        f"   target <= {megabytes(word_list.max_rss_growth)}: {verdict(rss_ok)}"
        if word_list.max_rss_growth is not None
        else ""
    )
    print(f"  VmRSS growth median {megabytes(rss_growth):>11}{target}")
    if peaks:
        peak = megabytes(statistics.median(peaks))
        print(f"  VmHWM growth median {peak:>11}   (peak during the load)")
    return time_ok and rss_ok


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=7, help="fresh processes per word list")
    arguments = parser.parse_args()
    all_ok = True
    for word_list in WORD_LISTS:
        all_ok &= bench(word_list, arguments.runs)
    return 0 if all_ok else 1


if __name__ == "__main__":
    sys.exit(main())
