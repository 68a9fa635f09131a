"""Ranked, the items of Lexicon.best.

Its own module, imported by the first call of best: collections costs every
start of the command several milliseconds that most runs never use.
"""

from collections import namedtuple

Ranked = namedtuple("Ranked", ["score", "words"])
Ranked.__doc__ = """One solution and its score, as Lexicon.best gives them.

score: the sum of the weights of its words (base-10 logarithms of their
frequencies), a float at most 0, rounded to hundredths; higher is better.
words: its words, a list of str, in the order Lexicon.search gives them."""
Ranked.score.__doc__ = "The sum of the weights of the words, at most 0."
Ranked.words.__doc__ = "The words of the solution, a list of str."
Ranked.__module__ = "vorpalyx"
