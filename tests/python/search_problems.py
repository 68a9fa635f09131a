"""What both faces are checked against: example dictionaries and phrases,
and random problems (a dictionary, a phrase and constraints) over a small
alphabet, drawn by hypothesis."""

import re
import subprocess
import sys
import textwrap
from collections.abc import Callable
from itertools import product
from typing import Any

from hypothesis import strategies as st

import brute_force
from vorpalyx.core import Solver

LISTEN_WORDS = ["listen", "silent", "enlist", "tin", "net", "lis"]
LISTEN_SOLUTIONS = [["enlist"], ["listen"], ["silent"], ["lis", "net"]]


# Every word of one to three letters over "abcdef", and a phrase with a
# quarter of a million solutions over them.
SHORT_WORDS = ["".join(letters) for n in (1, 2, 3) for letters in product("abcdef", repeat=n)]
LONG_SEARCH = "abbccddeef"


def solver_with(words: list[str]) -> Solver:
    solver = Solver()
    solver.load_dictionary_from_words(words)
    return solver


# Random inputs over a small alphabet, so that solutions are common.
LETTERS = "abcd"
# Words that share letters and prefixes, for dictionaries with many solutions.
OVERLAPPING_WORDS = [
    "a", "b", "c", "ab", "ba", "Cd", "dc", "abc", "cab", "bad", "dab", "add", "abcd", "d-a",
]
DECORATIONS = "ABCD-' 1\u00e9"


@st.composite
def dictionary_words(draw: st.DrawFn) -> str:
    """A word of 1 to 4 letters, sometimes with capitals or other characters
    that normalisation removes."""
    word = draw(st.text(alphabet=LETTERS, min_size=1, max_size=4))
    if draw(st.booleans()):
        word = draw(st.permutations(word + draw(st.text(alphabet=DECORATIONS, max_size=2))))
        word = "".join(word)
    return word


@st.composite
def phrases(draw: st.DrawFn, dictionary: list[str]) -> str:
    """Mostly the letters of a few dictionary words (so that some solution
    exists), sometimes random text; capitals and punctuation mixed in."""
    if draw(st.integers(0, 3)) < 3:
        letters = ""
        for word in draw(st.lists(st.sampled_from(dictionary), min_size=1, max_size=4)):
            if len(letters + brute_force.normalize(word)) <= 7:
                letters += brute_force.normalize(word)
    else:
        letters = draw(st.text(alphabet=LETTERS, min_size=1, max_size=7))
    letters = "".join(c.upper() if draw(st.booleans()) else c for c in letters)
    extra = draw(st.sampled_from(["", "", "", " ", "!", "1-", "\u00e9"]))
    return "".join(draw(st.permutations(letters + extra)))


START_LETTERS = st.one_of(
    st.none(), st.just(""), st.text(alphabet=LETTERS + "AC, \u00e9", min_size=1, max_size=3)
)


def pattern_texts(dictionary: list[str]) -> st.SearchStrategy[str]:
    """Random texts, pieces of dictionary words, and dictionary words with
    their letters reordered (which hold the letters but not the piece)."""
    words = [brute_force.normalize(word) for word in dictionary]
    return st.one_of(
        st.text(alphabet=LETTERS + "AB-!1", max_size=3),
        st.sampled_from(words).flatmap(
            lambda word: st.tuples(st.integers(0, len(word)), st.integers(0, len(word))).map(
                lambda ends: word[min(ends) : max(ends)]
            )
        ),
        st.sampled_from(words).flatmap(st.permutations).map("".join),
    )


CONSTRAINTS: dict[str, Callable[[list[str]], st.SearchStrategy[Any]]] = {
    "must_start_with": lambda _: START_LETTERS,
    "can_only_ever_start_with": lambda _: START_LETTERS,
    "must_not_start_with": lambda _: START_LETTERS,
    "max_words": lambda _: st.one_of(st.none(), st.integers(0, 4)),
    "min_word_length": lambda _: st.one_of(st.none(), st.integers(0, 4)),
    "contains_patterns": lambda dictionary: st.one_of(
        st.none(), st.just([]), st.lists(pattern_texts(dictionary), min_size=1, max_size=3)
    ),
}


@st.composite
def problems(
    draw: st.DrawFn, constraint_names: tuple[str, ...]
) -> tuple[list[str], str, dict[str, Any]]:
    dictionary = draw(
        st.one_of(
            st.lists(dictionary_words(), min_size=1, max_size=8),
            st.lists(st.sampled_from(OVERLAPPING_WORDS), min_size=4, max_size=10, unique=True),
        )
    )
    phrase = draw(phrases(dictionary))
    constraints = {name: draw(CONSTRAINTS[name](dictionary)) for name in constraint_names}
    return dictionary, phrase, constraints


# What a search or a ranking says when its result would not fit.
TOO_LARGE_FOR_MEMORY = re.compile(
    r"the search stopped after [1-9][0-9,]* solutions: the result would need at least "
    r"[0-9.]+ GB of memory, more than the [0-9.]+ GB this process can still get; "
    r"bound it with max_solutions or timeout_seconds, or count the solutions with "
    r"vorpalyx\.Lexicon\.count")


def run_with_a_gigabyte_to_spare(calls: str, afterwards: str) -> tuple[list[str], str]:
    """Runs each of `calls` (lambdas over `lexicon`, of the letters a-z and
    their pairs, and `letters`) in a child whose address space is capped a
    gigabyte above what it holds; returns the MemoryError messages and the
    printed `afterwards`, which shows the process going on."""
    script = textwrap.dedent("""\
        import resource, string
        from vorpalyx import Lexicon
        letters = string.ascii_lowercase
        lexicon = Lexicon.from_words(list(letters) + [a + b for a in letters for b in letters])
        pages = int(open("/proc/self/statm").read().split()[0])
        size = pages * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (size + (1 << 30), resource.RLIM_INFINITY))
        for call in [{calls}]:
            try:
                call()
            except MemoryError as error:
                print(error)
        print({afterwards})
        """).format(calls=calls, afterwards=afterwards)
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=300)
    assert done.returncode == 0, done.stderr
    *messages, after = done.stdout.splitlines()
    for message in messages:
        assert TOO_LARGE_FOR_MEMORY.fullmatch(message) is not None, message
    return messages, after
