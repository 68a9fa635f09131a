"""Whole-process figures of the `vorpalyx` command, with Debian's `wordplay`
alongside for the same searches.

Every figure is of a fresh process started by this script, which reads the
process's output through a pipe itself: the time runs from the start of the
process to its end (the median of the runs), and the memory is the peak
resident set of that process (the largest of the runs), as os.wait4 reports
it. The dictionary is the benchmark list, written to a temporary file and
passed with --dict (-f for wordplay). The in-process row and the batch row
print n/a until the installed package has `vorpalyx.Lexicon` and the command
has --batch.

Run: .venv/bin/python bench/bench_cli.py [--quick] [--only CASE ...]
Needs apt-get install -y wamerican wordplay.
"""

from __future__ import annotations

import argparse
import json
import os
import random
import shutil
import signal
import statistics
import sys
import tempfile
import time
from collections.abc import Callable
from dataclasses import dataclass, field
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from wordlist import benchmark_words  # noqa: E402

MEBIBYTE = 1024 * 1024
READ_SIZE = MEBIBYTE

BIG_PHRASE = "william shakespeare"
BIG_SOLUTIONS = 31_468_071
SMALL_PHRASE = "clint eastwood"  # 189,555 solutions
MIDDLE_PHRASE = "ernest hemingway"  # 669,172 solutions
BATCH_PHRASES = 2000
BATCH_LETTERS = range(10, 17)
BATCH_SEED = 1867

# -s: solutions only, no header or line numbers; -a: a word may occur more
# than once; -v: words without vowels count (the list has "ts", "wt", ...);
# -i: the phrase itself may be a solution. Together they ask for what
# vorpalyx prints, in wordplay's own order and in capitals.
WORDPLAY_OPTIONS = ["-s", "-a", "-v", "-i"]

IN_PROCESS_CHILD = r"""
import json, sys, time
import vorpalyx

lexicon = vorpalyx.Lexicon.from_path(sys.argv[1])
start = time.perf_counter()
count = len(lexicon.search(sys.argv[2]))
print(json.dumps({"seconds": time.perf_counter() - start, "count": count}))
"""


# Compares two outputs whatever their order of lines, of words within a line,
# and letter case; in a child process so that this one stays small (see
# lower_floor). Prints how many solutions only each file has.
COMPARE_CHILD = r"""
import json, sys
from collections import Counter

def solutions(path):
    with open(path, encoding="utf-8") as lines:
        return Counter(" ".join(sorted(line.lower().split())) for line in lines)

first, second = solutions(sys.argv[1]), solutions(sys.argv[2])
print(json.dumps([sum((first - second).values()), sum((second - first).values())]))
"""


def say(message: str) -> None:
    print(message, file=sys.stderr, flush=True)


# A child's peak resident set as the kernel reports it is never below that of
# the process that started it: the peak carries across exec. This script
# therefore resets its own peak to its current resident set before each start
# and keeps the largest of these, the floor of every memory figure.
largest_floor = 0


def lower_floor() -> None:
    global largest_floor
    try:
        with open("/proc/self/clear_refs", "w") as clear:
            clear.write("5")  # resets VmHWM to the current VmRSS
        with open("/proc/self/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    largest_floor = max(largest_floor, int(line.split()[1]) * 1024)
    except OSError:
        pass


@dataclass
class Run:
    seconds: float
    peak_rss: int  # bytes
    lines: int


def shown(argv: list[str]) -> str:
    return " ".join("CODE" if "\n" in argument else argument for argument in argv)


def newlines(buffer: bytearray, size: int) -> int:
    """The newlines among the first `size` bytes of `buffer`. The reader
    shares the machine's cores with the process it times, so it should cost
    little: bytearray.count visits every byte (about 0.1 s of CPU for the
    batch's 176 MB, a tenth of a core taken from two workers), where find
    jumps from newline to newline (memchr), far faster for long lines such as
    a batch's records and slower for short ones, which count takes over."""
    found = 0
    position = buffer.find(b"\n", 0, size)
    while position >= 0:
        found += 1
        if found == 64:
            return found + buffer.count(b"\n", position + 1, size)
        position = buffer.find(b"\n", position + 1, size)
    return found


def run_process(argv: list[str], save_to: Path | None = None,
                until_first_line: bool = False) -> Run:
    """Runs argv with its standard output on a pipe that this process reads to
    the end, or, with until_first_line, until the first whole line, when the
    child is killed and the time is that of the line. save_to receives the
    output; it is not held here, nor read in fresh buffers, to keep this
    process small."""
    environment = {name: value for name, value in os.environ.items()
                   if name != "ANAGRAM_DEBUG_LOG"}
    read_end, write_end = os.pipe()  # neither is inherited; dup2 makes fd 1
    buffer = bytearray(READ_SIZE)
    lines = 0
    first_line_seconds = None
    with open(save_to or os.devnull, "wb") as saved:
        lower_floor()
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, environment,
                             file_actions=[(os.POSIX_SPAWN_DUP2, write_end, 1)])
        os.close(write_end)
        try:
            while size := os.readv(read_end, [buffer]):
                lines += newlines(buffer, size)
                if save_to:
                    saved.write(memoryview(buffer)[:size])
                if until_first_line and lines:
                    first_line_seconds = time.perf_counter() - start
                    os.kill(pid, signal.SIGKILL)
                    break
        finally:
            os.close(read_end)
        _, status, usage = os.wait4(pid, 0)
        seconds = time.perf_counter() - start
    if until_first_line:
        if first_line_seconds is None:
            sys.exit(f"{shown(argv)} printed no line")
        seconds = first_line_seconds
    elif os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"{shown(argv)} failed with status {os.waitstatus_to_exitcode(status)}")
    return Run(seconds, usage.ru_maxrss * 1024, lines)


def output_of(argv: list[str], directory: Path) -> str:
    """The whole output of a short, untimed run."""
    path = directory / "output.txt"
    run_process(argv, save_to=path)
    return path.read_text(encoding="utf-8")


@dataclass
class Measure:
    seconds: float  # median
    peak_rss: int  # the largest of the runs
    lines: int


def measure(label: str, argv: list[str], runs: int, save_to: Path | None = None,
            until_first_line: bool = False) -> Measure:
    """Runs argv `runs` times; save_to receives the first run's output."""
    results = []
    for index in range(runs):
        say(f"  {label}: run {index + 1}/{runs} ...")
        results.append(run_process(argv, save_to if index == 0 else None, until_first_line))
        last = results[-1]
        printed = ("to the first line" if until_first_line
                   else f"{last.lines:,} line{'' if last.lines == 1 else 's'}")
        say(f"    {last.seconds:.3f} s {printed}, peak RSS {megabytes(last.peak_rss)}")
    lines = {result.lines for result in results}
    if len(lines) > 1 and not until_first_line:
        sys.exit(f"{label}: the runs printed different numbers of lines: {sorted(lines)}")
    return Measure(statistics.median(result.seconds for result in results),
                   max(result.peak_rss for result in results), results[0].lines)


@dataclass
class Row:
    case: str
    seconds: float | None = None
    peak_rss: int | None = None
    figure: str = ""
    target: str = ""
    met: bool | None = None  # None: not measured


@dataclass
class Findings:
    """What the runs showed besides the figures: agreements, and faults that
    make the script exit with status 1."""
    notes: list[str] = field(default_factory=list)
    faults: list[str] = field(default_factory=list)


@dataclass
class Setup:
    vorpalyx: str
    wordplay: str | None
    word_list: Path
    words: list[str]
    directory: Path
    long_runs: int
    short_runs: int


def verdict(met: bool | None) -> str:
    return {None: "", True: "ok", False: "MISSED"}[met]


def seconds_text(seconds: float) -> str:
    return f"{seconds:.3f} s" if seconds < 10 else f"{seconds:.2f} s"


def megabytes(size: int) -> str:
    return f"{size / MEBIBYTE:,.0f} MB"


def full_output(setup: Setup, findings: Findings) -> Row:
    say(f"case 1: vorpalyx --dict LIST \"{BIG_PHRASE}\", every line read")
    result = measure("vorpalyx", [setup.vorpalyx, "--dict", str(setup.word_list), BIG_PHRASE],
                     setup.long_runs)
    if result.lines != BIG_SOLUTIONS:
        findings.faults.append(f"case 1: {result.lines:,} lines, expected {BIG_SOLUTIONS:,}")
    return Row(f"1 \"{BIG_PHRASE}\", all lines", result.seconds, result.peak_rss,
               f"{result.lines:,} lines", "<= 3 s, <= 600 MB",
               result.seconds <= 3 and result.peak_rss <= 600 * MEBIBYTE)


def first_line(setup: Setup, findings: Findings) -> Row:
    say(f"case 2: vorpalyx --dict LIST \"{BIG_PHRASE}\" until its first line, then killed")
    result = measure("vorpalyx", [setup.vorpalyx, "--dict", str(setup.word_list), BIG_PHRASE],
                     setup.long_runs, until_first_line=True)
    return Row(f"2 \"{BIG_PHRASE}\", first line", result.seconds, result.peak_rss,
               "peak RSS until killed", "<= 2 s", result.seconds <= 2)


def count_only(setup: Setup, findings: Findings) -> Row:
    say(f"case 3: vorpalyx --dict LIST --count \"{BIG_PHRASE}\"")
    saved = setup.directory / "count.txt"
    result = measure("vorpalyx", [setup.vorpalyx, "--dict", str(setup.word_list), "--count",
                                  BIG_PHRASE], setup.long_runs, save_to=saved)
    printed = saved.read_text(encoding="utf-8").strip()
    if printed != str(BIG_SOLUTIONS):
        findings.faults.append(f"case 3: printed {printed!r}, expected {BIG_SOLUTIONS}")
    return Row(f"3 \"{BIG_PHRASE}\", --count", result.seconds, result.peak_rss,
               f"printed {printed}", "<= 1 s, <= 64 MB",
               result.seconds <= 1 and result.peak_rss <= 64 * MEBIBYTE)


def against_wordplay(case: int, phrase: str, minimum_ratio: float
                     ) -> Callable[[Setup, Findings], Row]:
    def bench(setup: Setup, findings: Findings) -> Row:
        label = f"{case} \"{phrase}\" vs wordplay"
        target = f">= {minimum_ratio:g}x wordplay"
        if setup.wordplay is None:
            return Row(label, figure="n/a: wordplay missing (apt-get install -y wordplay)",
                       target=target)
        say(f"case {case}: vorpalyx --dict LIST \"{phrase}\" against "
            f"wordplay {' '.join(WORDPLAY_OPTIONS)} -f LIST \"{phrase}\"")
        our_output = setup.directory / "vorpalyx.txt"
        their_output = setup.directory / "wordplay.txt"
        ours = measure("vorpalyx", [setup.vorpalyx, "--dict", str(setup.word_list), phrase],
                       setup.short_runs, save_to=our_output)
        theirs = measure("wordplay", [setup.wordplay, *WORDPLAY_OPTIONS, "-f",
                                      str(setup.word_list), phrase],
                         setup.short_runs, save_to=their_output)
        say("  comparing the solution sets ...")
        only_ours, only_theirs = json.loads(output_of(
            [sys.executable, "-c", COMPARE_CHILD, str(our_output), str(their_output)],
            setup.directory))
        same = only_ours == only_theirs == 0
        if ours.lines != theirs.lines:
            findings.faults.append(f"case {case}: vorpalyx printed {ours.lines:,} solutions, "
                                   f"wordplay {theirs.lines:,}")
        if same:
            findings.notes.append(
                f"case {case}: \"{phrase}\": the same {ours.lines:,} solutions from both "
                "(words sorted within a line, lines sorted)")
        else:
            findings.faults.append(
                f"case {case}: \"{phrase}\": the solution sets DIFFER: "
                f"{only_ours:,} only from vorpalyx, {only_theirs:,} only from wordplay")
        ratio = theirs.seconds / ours.seconds
        return Row(label, ours.seconds, ours.peak_rss,
                   f"{ours.lines:,} lines; wordplay {seconds_text(theirs.seconds)}: "
                   f"{ratio:.2f}x", target, ratio >= minimum_ratio and same)
    return bench


def in_process(setup: Setup, findings: Findings) -> Row:
    label = f"6 Lexicon.search(\"{BIG_PHRASE}\")"
    target = "<= 1.5 s, <= 600 MB"
    probe = "import vorpalyx; print(hasattr(vorpalyx, 'Lexicon'))"
    if output_of([sys.executable, "-c", probe], setup.directory).strip() != "True":
        return Row(label, figure="n/a: vorpalyx.Lexicon is missing", target=target)
    say(f"case 6: len(Lexicon.from_path(LIST).search(\"{BIG_PHRASE}\")) in a fresh process, "
        "timed after the load")
    reported = setup.directory / "search.json"
    times, peaks, counts = [], [], set()
    for index in range(setup.long_runs):
        say(f"  run {index + 1}/{setup.long_runs} ...")
        run = run_process([sys.executable, "-c", IN_PROCESS_CHILD, str(setup.word_list),
                           BIG_PHRASE], save_to=reported)
        report = json.loads(reported.read_text(encoding="utf-8"))
        times.append(report["seconds"])
        peaks.append(run.peak_rss)
        counts.add(report["count"])
        say(f"    {times[-1]:.3f} s, peak RSS {megabytes(peaks[-1])}")
    if counts != {BIG_SOLUTIONS}:
        shown_counts = ", ".join(f"{count:,}" for count in sorted(counts))
        findings.faults.append(f"case 6: {shown_counts} solutions, expected {BIG_SOLUTIONS:,}")
    seconds, peak_rss = statistics.median(times), max(peaks)
    return Row(label, seconds, peak_rss, f"{min(counts):,} solutions; the load not timed",
               target, seconds <= 1.5 and peak_rss <= 600 * MEBIBYTE)


BATCH_OPTIONS = ("--max-words", "3")


def batch_phrases(words: list[str]) -> list[str]:
    """Distinct pairs and triples of words of the list with 10 to 16 letters
    together, the same ones on every run. Unbounded they have 876,002,822
    solutions in all (15 GB of output, the largest hundred phrases more than
    half of it), so the batch runs as a setter would ask it: at most three
    words a solution (BATCH_OPTIONS)."""
    rng = random.Random(BATCH_SEED)
    phrases: dict[str, None] = {}
    while len(phrases) < BATCH_PHRASES:
        phrase = " ".join(rng.sample(words, rng.choice((2, 3))))
        if len(phrase.replace(" ", "")) in BATCH_LETTERS:
            phrases[phrase] = None
    return list(phrases)


def batch_jobs(setup: Setup, findings: Findings) -> Row:
    label = f"7 --batch, {BATCH_PHRASES:,} phrases, {' '.join(BATCH_OPTIONS)}, --jobs 2 vs 1"
    target = ">= 1.7x"
    if "--batch" not in output_of([setup.vorpalyx, "--help"], setup.directory):
        return Row(label, figure="n/a: vorpalyx has no --batch", target=target)
    batch_file = setup.directory / "phrases.txt"
    batch_file.write_text("\n".join(batch_phrases(setup.words)) + "\n", encoding="utf-8")
    say(f"case 7: vorpalyx --dict LIST --batch FILE ({BATCH_PHRASES:,} phrases of "
        f"{BATCH_LETTERS.start}-{BATCH_LETTERS.stop - 1} letters), --jobs 1 and --jobs 2")
    base = [setup.vorpalyx, "--dict", str(setup.word_list), *BATCH_OPTIONS,
            "--batch", str(batch_file)]
    # The two are run in turn, so that a slower or a faster stretch of a
    # shared machine weighs on both alike.
    ones: list[Measure] = []
    twos: list[Measure] = []
    for _ in range(setup.short_runs):
        ones.append(measure("--jobs 1", [*base, "--jobs", "1"], 1))
        twos.append(measure("--jobs 2", [*base, "--jobs", "2"], 1))
    one, two = (Measure(statistics.median(run.seconds for run in runs),
                        max(run.peak_rss for run in runs), runs[0].lines)
                for runs in (ones, twos))
    if one.lines != two.lines:
        findings.faults.append(
            f"case 7: --jobs 1 printed {one.lines:,} lines, --jobs 2 {two.lines:,}")
    speed_up = one.seconds / two.seconds
    return Row(label, two.seconds, two.peak_rss,
               f"{two.lines:,} lines; --jobs 1 {seconds_text(one.seconds)}, "
               f"{megabytes(one.peak_rss)}: {speed_up:.2f}x", target,
               speed_up >= 1.7 and one.lines == two.lines)


def wall_seconds(argv: list[str]) -> float:
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, dict(os.environ))
    os.waitpid(pid, 0)
    return time.perf_counter() - start


def start_up(setup: Setup, findings: Findings) -> Row:
    say("case 8: python -c 'import vorpalyx.cli' against python -c pass, alternating")
    runs = 20 if setup.long_runs == 1 else 60
    bare, imported = [], []
    for _ in range(runs):
        bare.append(wall_seconds([sys.executable, "-c", "pass"]))
        imported.append(wall_seconds([sys.executable, "-c", "import vorpalyx.cli"]))
    extra = statistics.median(imported) - statistics.median(bare)
    importtime = output_of(
        [sys.executable, "-c",
         "import subprocess, sys; print(subprocess.run([sys.executable, '-X', "
         "'importtime', '-c', 'import vorpalyx.cli'], capture_output=True, "
         "text=True).stderr.splitlines()[-1].split('|')[1].strip())"],
        setup.directory).strip()
    return Row("8 import vorpalyx.cli, over the interpreter's start", extra, None,
               f"python -X importtime: {int(importtime) / 1000:.1f} ms cumulative",
               "<= 10 ms", extra <= 0.010)


INTERRUPTED_SEARCH = "abcdefghijklmnopqrstuvwxyz" * 2 + "abcdefgh"


def interrupt(setup: Setup, findings: Findings) -> Row:
    """From SIGINT to the end of the process, during a search that would run
    for hours, alone and in a batch."""
    say("case 9: Ctrl-C during a search of hours, alone and with --batch --jobs 2")
    letters = "abcdefghijklmnopqrstuvwxyz"
    short_words = setup.directory / "short_words.txt"
    short_words.write_text("\n".join([*letters, *(a + b for a in letters for b in letters)]))
    batch_file = setup.directory / "long_phrases.txt"
    batch_file.write_text(f"{INTERRUPTED_SEARCH}\n" * 8)
    waits: dict[str, list[float]] = {"alone": [], "batch": []}
    for index in range(setup.short_runs):
        for form, options in (("alone", [INTERRUPTED_SEARCH]),
                              ("batch", ["--batch", str(batch_file), "--jobs", "2"])):
            argv = [setup.vorpalyx, "--dict", str(short_words), "--count", *options]
            # SIGINT as a terminal gives it, also when this script was
            # started in the background with it ignored.
            pid = os.posix_spawn(argv[0], argv, dict(os.environ), setsid=True,
                                 setsigdef=[signal.SIGINT])
            time.sleep(0.5)
            start = time.perf_counter()
            os.killpg(pid, signal.SIGINT)
            _, status = os.waitpid(pid, 0)
            waits[form].append(time.perf_counter() - start)
            if os.waitstatus_to_exitcode(status) != 130:
                findings.faults.append(
                    f"case 9: {form}: status {os.waitstatus_to_exitcode(status)}, expected 130")
    alone, batch = (statistics.median(waits[form]) for form in ("alone", "batch"))
    worst = max(max(times) for times in waits.values())
    return Row("9 Ctrl-C to the end of the process", alone, None,
               f"alone {alone * 1000:.0f} ms, --batch {batch * 1000:.0f} ms; "
               f"slowest {worst * 1000:.0f} ms", "<= 0.2 s", worst <= 0.2)


CASES: dict[int, Callable[[Setup, Findings], Row]] = {
    1: full_output,
    2: first_line,
    3: count_only,
    4: against_wordplay(4, SMALL_PHRASE, 2),
    5: against_wordplay(5, MIDDLE_PHRASE, 4),
    6: in_process,
    7: batch_jobs,
    8: start_up,
    9: interrupt,
}


def print_table(rows: list[Row]) -> None:
    header = ("case", "time", "peak RSS", "figures", "target", "")
    cells = [header] + [
        (row.case,
         "n/a" if row.seconds is None else seconds_text(row.seconds),
         "" if row.peak_rss is None else megabytes(row.peak_rss),
         row.figure, row.target, verdict(row.met))
        for row in rows
    ]
    widths = [max(len(line[column]) for line in cells) for column in range(len(header))]
    right_aligned = {1, 2}
    for line in cells:
        print("  ".join(cell.rjust(width) if column in right_aligned else cell.ljust(width)
                        for column, (cell, width) in enumerate(zip(line, widths))).rstrip())


def find_wordplay() -> str | None:
    # Debian installs it in /usr/games, which root's PATH often lacks.
    fallback = "/usr/games/wordplay"
    return shutil.which("wordplay") or (fallback if os.access(fallback, os.X_OK) else None)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--quick", action="store_true", help="fewer runs per figure")
    parser.add_argument("--only", nargs="+", type=int, choices=sorted(CASES), metavar="CASE",
                        help=f"run only these cases (1-{len(CASES)})")
    arguments = parser.parse_args()

    # The command installed beside this interpreter first, so that
    # .venv/bin/python measures the .venv's package.
    beside = Path(sys.executable).parent / "vorpalyx"
    command = str(beside) if os.access(beside, os.X_OK) else shutil.which("vorpalyx")
    if command is None:
        sys.exit("no vorpalyx command: install the package into this interpreter's environment")
    words = benchmark_words()
    findings = Findings()
    with tempfile.TemporaryDirectory(prefix="bench_cli_") as directory:
        word_list = Path(directory) / "words.txt"
        word_list.write_text("\n".join(words) + "\n", encoding="utf-8")
        setup = Setup(command, find_wordplay(), word_list, words, Path(directory),
                      long_runs=1 if arguments.quick else 3,
                      short_runs=3 if arguments.quick else 7)
        say(f"vorpalyx: {command}; wordplay: {setup.wordplay or 'missing'}; "
            f"list: {len(words):,} words")
        rows = [CASES[case](setup, findings) for case in sorted(set(arguments.only or CASES))]

    print(f"{command}, benchmark list of {len(words):,} words; time: median of the runs, "
          "whole process; peak RSS: the largest of the runs")
    print_table(rows)
    for line in findings.notes + findings.faults:
        print(line)
    if largest_floor:
        print(f"peak RSS figures cannot be below this script's own resident set when it "
              f"starts a process: at most {megabytes(largest_floor)} here")
    return 1 if findings.faults else 0


if __name__ == "__main__":
    sys.exit(main())
