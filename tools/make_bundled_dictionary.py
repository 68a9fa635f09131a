#!/usr/bin/env python3
"""Regenerates the dictionary that vorpalyx ships as package data.

The bundled list is made from SCOWL's own word files as Debian's `scowl`
package installs them in /usr/share/dict/scowl (last generated from package
version 2020.12.07-2, SCOWL 2020.12.07). It reads the two categories of
ordinary words, english-words and american-words, at the sizes 10, 20, 35,
40, 50, 55 and 60: the fourteen files english-words.10 ... english-words.60
and american-words.10 ... american-words.60. Size 60 is the largest that
SCOWL's author is confident holds no misspellings or invalid words; 70 and
above add rare and doubtful words. The abbreviations, contractions,
proper-names and upper files, the special lists (roman numerals, hacker
terms) and the British, Canadian, Australian and variant spellings are not
read.

Of those files it keeps every entry made only of the letters a-z, minus the
single letters other than "a" and "i" and minus the plurals of letters
("cs", "ms", "rs", ...) other than the words "as", "is" and "us";
deduplicated and sorted by byte value. Entries with capitals, apostrophes or
accented letters are left out rather than normalised, so possessives and
names do not turn into common words. Debian ships the files in UTF-8
(upstream SCOWL uses ISO-8859-1; pass --encoding iso-8859-1 for an upstream
tree); either way an accented entry is dropped, not folded.

Beside the list it writes its licence notice: a header saying what the list
is and how it was made, Debian's copyright file for scowl, and the
"COPYRIGHT, SOURCES, and CREDITS" section of SCOWL's README.

Usage:
    python3 tools/make_bundled_dictionary.py [--scowl-dir DIR]
        [--encoding NAME] [--copyright FILE] [--readme FILE]
        [--output-dir DIR]

Only the standard library is used; the output is byte-for-byte
deterministic for the given input files.
"""

from __future__ import annotations

import argparse
import gzip
import pathlib
import re
import subprocess
import sys
import textwrap
from collections.abc import Iterable, Sequence

REPO_ROOT = pathlib.Path(__file__).resolve().parent.parent
PACKAGE = "scowl"
DEFAULT_SCOWL_DIR = pathlib.Path("/usr/share/dict/scowl")
DEFAULT_COPYRIGHT = pathlib.Path("/usr/share/doc/scowl/copyright")
DEFAULT_README = pathlib.Path("/usr/share/doc/scowl/README.gz")
DEFAULT_ENCODING = "utf-8"
DEFAULT_OUTPUT_DIR = REPO_ROOT / "python" / "vorpalyx" / "data"
WORDS_FILE = "english_words.txt"
LICENSE_FILE = "english_words_LICENSE.txt"
SCRIPT_RELATIVE = "tools/make_bundled_dictionary.py"

CATEGORIES = ("english-words", "american-words")
SIZES = (10, 20, 35, 40, 50, 55, 60)
SOURCE_FILES = tuple(f"{category}.{size}"
                     for category in CATEGORIES for size in SIZES)

PLAIN_WORD = re.compile(r"[a-z]+")
SINGLE_LETTER_WORDS = frozenset({"a", "i"})
# SCOWL spells the plural of a letter without its apostrophe ("rs" for
# "r's"); like the letters themselves, only those that are words stay.
LETTER_PLURAL = re.compile(r"[a-z]s")
LETTER_PLURAL_WORDS = frozenset({"as", "is", "us"})

README_VERSION = re.compile(r"^Version (\S+)$", re.MULTILINE)
README_LICENCE_START = "COPYRIGHT, SOURCES, and CREDITS:"
README_LICENCE_END = "FUTURE PLANS:"


def is_kept(entry: str) -> bool:
    if not PLAIN_WORD.fullmatch(entry):
        return False
    if len(entry) == 1:
        return entry in SINGLE_LETTER_WORDS
    if LETTER_PLURAL.fullmatch(entry):
        return entry in LETTER_PLURAL_WORDS
    return True


def select_words(lines: Iterable[str]) -> list[str]:
    """The entries that are plain lower-case words, sorted and deduplicated."""
    return sorted({line for line in lines if is_kept(line)})


def readme_version(readme_text: str) -> str | None:
    match = README_VERSION.search(readme_text)
    return match.group(1) if match else None


def readme_licence_section(readme_text: str) -> str:
    """SCOWL's copyright, sources and credits, from its heading to the next."""
    start = readme_text.find(README_LICENCE_START)
    end = readme_text.find(README_LICENCE_END, start)
    if start < 0 or end < 0:
        raise ValueError(f"README holds no section from {README_LICENCE_START!r}"
                         f" to {README_LICENCE_END!r}")
    return readme_text[start:end].rstrip() + "\n"


def read_text(path: pathlib.Path) -> str:
    data = path.read_bytes()
    if path.suffix == ".gz":
        data = gzip.decompress(data)
    return data.decode("utf-8")


def debian_package_version(package: str) -> str | None:
    try:
        completed = subprocess.run(
            ["dpkg-query", "-W", "-f=${Version}", package],
            capture_output=True,
            text=True,
            check=True,
        )
    except (OSError, subprocess.CalledProcessError):
        return None
    return completed.stdout.strip() or None


def license_notice(scowl_dir: pathlib.Path, package_version: str | None,
                   scowl_version: str | None, word_count: int,
                   copyright_text: str, readme_section: str) -> str:
    scowl = "SCOWL"
    if scowl_version:
        scowl += f" {scowl_version}"
    origin = f"Debian's {PACKAGE} package"
    if package_version:
        origin += f" (version {package_version})"
    sizes = ", ".join(str(size) for size in SIZES[:-1]) + f" and {SIZES[-1]}"

    def paragraph(text: str) -> str:
        return textwrap.fill(text, width=72, break_on_hyphens=False)

    header = "\n\n".join([
        paragraph(
            f"{WORDS_FILE} holds {word_count} English words taken from {scowl} "
            f"(Spell Checker Oriented Word Lists, by Kevin Atkinson) as "
            f"{origin} installs it in {scowl_dir}. It is regenerated by "
            f"{SCRIPT_RELATIVE}."),
        paragraph(
            f"Read are the SCOWL categories {' and '.join(CATEGORIES)} at the "
            f"sizes {sizes}, that is the files "
            + ", ".join(SOURCE_FILES) + ". The abbreviations, contractions, "
            "proper-names and upper categories, the special lists (roman "
            "numerals, hacker terms), the British, Canadian, Australian and "
            "variant spellings and the sizes above 60 are left out."),
        paragraph(
            "Of those files the list keeps the entries made only of the "
            'letters a-z, without the single letters other than "a" and "i" '
            "and without the plurals of letters (such as \"rs\") other than "
            '"as", "is" and "us", one per line, sorted and unique.'),
        paragraph(
            "SCOWL's copyright and licence notice follows unchanged: first "
            "as Debian ships it in /usr/share/doc/scowl/copyright, then as "
            "SCOWL's own README states it."),
    ])
    rule = "=" * 72
    return (header + "\n\n" + rule + "\n\n" + copyright_text.rstrip() + "\n\n"
            + rule + "\n\n" + readme_section)


def main(argv: Sequence[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scowl-dir", type=pathlib.Path,
                        default=DEFAULT_SCOWL_DIR,
                        help="directory of SCOWL's word files "
                        "(default: %(default)s)")
    parser.add_argument("--encoding", default=DEFAULT_ENCODING,
                        help="encoding of the word files "
                        "(default: %(default)s, as Debian ships them)")
    parser.add_argument("--copyright", type=pathlib.Path,
                        default=DEFAULT_COPYRIGHT,
                        help="Debian's copyright file for scowl "
                        "(default: %(default)s)")
    parser.add_argument("--readme", type=pathlib.Path, default=DEFAULT_README,
                        help="SCOWL's README, plain or gzipped "
                        "(default: %(default)s)")
    parser.add_argument("--output-dir", type=pathlib.Path,
                        default=DEFAULT_OUTPUT_DIR,
                        help="where the list and its notice are written "
                        "(default: the package's data directory)")
    args = parser.parse_args(argv)

    try:
        lines: list[str] = []
        for name in SOURCE_FILES:
            lines += (args.scowl_dir / name).read_text(
                encoding=args.encoding).splitlines()
        copyright_text = read_text(args.copyright)
        readme_text = read_text(args.readme)
        readme_section = readme_licence_section(readme_text)
    except (OSError, LookupError, ValueError) as error:
        # UnicodeDecodeError is a ValueError, an unknown encoding a LookupError.
        print(f"{parser.prog}: error: {error}", file=sys.stderr)
        return 1

    words = select_words(lines)
    package_version = (debian_package_version(PACKAGE)
                       if args.scowl_dir == DEFAULT_SCOWL_DIR else None)
    args.output_dir.mkdir(parents=True, exist_ok=True)
    (args.output_dir / WORDS_FILE).write_text(
        "".join(word + "\n" for word in words), encoding="utf-8", newline="\n")
    (args.output_dir / LICENSE_FILE).write_text(
        license_notice(args.scowl_dir, package_version,
                       readme_version(readme_text), len(words), copyright_text,
                       readme_section),
        encoding="utf-8", newline="\n")
    print(f"wrote {len(words)} words to {args.output_dir / WORDS_FILE}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
