"""Ranked, the items of Lexicon.best, and Anagram, of Anagrams.details.

Its own module, imported by the first call of best: collections costs every
start of the command several milliseconds that most runs never use.
"""

from collections import namedtuple

class Ranked(namedtuple("Ranked", ["score", "words"])):
    """One solution and its score, as Lexicon.best gives them.

    score: the sum of the weights of its words (base-10 logarithms of their
    frequencies), a float at most 0, rounded to hundredths; higher is better.
    words: its words, a list of str, in the order Lexicon.search gives them.
    blanks, leftover (attributes, not items, so that a Ranked unpacks into
    score and words): as in Anagram; empty without blanks or leftover."""

    blanks = ""
    leftover = ""

    def __repr__(self) -> str:
        text = super().__repr__()
        if self.blanks or self.leftover:
            text = f"{text[:-1]}, blanks={self.blanks!r}, leftover={self.leftover!r})"
        return text


Ranked.score.__doc__ = "The sum of the weights of the words, at most 0."
Ranked.words.__doc__ = "The words of the solution, a list of str."
Ranked.__module__ = "vorpalyx"

Anagram = namedtuple("Anagram", ["words", "blanks", "leftover"])
Anagram.__doc__ = """One solution with the letters it spells beyond or
short of its phrase, as Anagrams.details gives it.

words: its words, a list of str.
blanks: the letters the phrase's blanks ('?') became, alphabetically.
leftover: the phrase's letters left unused under leftover=N,
alphabetically, with '?' for a blank left unused."""
Anagram.words.__doc__ = "The words of the solution, a list of str."
Anagram.blanks.__doc__ = "The letters the phrase's blanks ('?') became, in order."
Anagram.leftover.__doc__ = "The phrase's letters left unused ('?' for a blank), in order."
Anagram.__module__ = "vorpalyx"
