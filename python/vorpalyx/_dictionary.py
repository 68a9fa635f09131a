"""Where the English word list bundled with the package lives.

The package holds a compiled extension, so it is always installed as plain
files (never imported from a zip archive) and its data files have real paths
that the engine can open.
"""

from __future__ import annotations

import os

# os.path rather than pathlib: the command line imports this at start-up.
_DATA_DIRECTORY = os.path.join(os.path.dirname(os.path.realpath(__file__)), "data")


def default_dictionary_path() -> str:
    """Path of the bundled English word list, one lower-case word per line.

    The list holds the plain a-z words of SCOWL's English and American word
    files up to size 60 (Debian's scowl package); its licence notice is
    english_words_LICENSE.txt in the same directory. Load it with
    ``solver.load_dictionary_from_path(vorpalyx.default_dictionary_path())``.
    """
    return os.path.join(_DATA_DIRECTORY, "english_words.txt")
