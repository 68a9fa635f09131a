#!/usr/bin/env python3
"""Generates src/char_utils/unicode_tables.cc from the Unicode data files.

The engine classifies characters with a handful of Unicode properties. Rather
than linking a Unicode library, we bake each property into a sorted array of
inclusive code point ranges and binary-search it at run time. This script is
the only source of those arrays: edit TABLES below and re-run it.

Usage:
    python3 tools/gen_unicode_tables.py [--ucd-dir DIR] [--output FILE]

The default UCD directory is where Debian's `unicode-data` package installs
the files. Only the standard library is used; output is byte-for-byte
deterministic for a given set of input files.
"""

from __future__ import annotations

import argparse
import dataclasses
import pathlib
import re
import sys
from typing import Callable, Iterable

MAX_CODE_POINT = 0x10FFFF
DEFAULT_UCD_DIR = pathlib.Path("/usr/share/unicode/")
REPO_ROOT = pathlib.Path(__file__).resolve().parent.parent
OUTPUT_RELATIVE = pathlib.PurePosixPath("src/char_utils/unicode_tables.cc")
SCRIPT_RELATIVE = "tools/gen_unicode_tables.py"
VERSION_FILE = "DerivedCoreProperties.txt"

UNICODE_DATA = "UnicodeData.txt"
DERIVED_CORE_PROPERTIES = "DerivedCoreProperties.txt"
PROP_LIST = "PropList.txt"

Range = tuple[int, int]


@dataclasses.dataclass(frozen=True)
class Table:
    """One generated C++ range table.

    name: the C++ identifier of the array.
    source: the UCD file the property comes from.
    prop: a binary property name for DerivedCoreProperties.txt/PropList.txt
        (generates `bool is_<prop in lower case>(char32_t)`), or a two-letter
        general category for UnicodeData.txt (generates a case of
        has_general_category() for GeneralCategory::k<prop>).
    """

    name: str
    source: str
    prop: str


# Adding a property is one line here plus its declaration in
# src/char_utils/unicode_tables.h.
TABLES: tuple[Table, ...] = (
    Table("kAlphabetic", DERIVED_CORE_PROPERTIES, "Alphabetic"),
    Table("kGraphemeExtend", DERIVED_CORE_PROPERTIES, "Grapheme_Extend"),
    Table("kCategoryCc", UNICODE_DATA, "Cc"),
    Table("kCategoryCf", UNICODE_DATA, "Cf"),
    Table("kCategoryCs", UNICODE_DATA, "Cs"),
    Table("kCategoryCo", UNICODE_DATA, "Co"),
    Table("kCategoryCn", UNICODE_DATA, "Cn"),
    Table("kCategoryZl", UNICODE_DATA, "Zl"),
    Table("kCategoryZp", UNICODE_DATA, "Zp"),
    Table("kCategoryZs", UNICODE_DATA, "Zs"),
)


class UcdError(Exception):
    """Raised when a UCD file is missing or not in the expected format."""


def merge_ranges(ranges: Iterable[Range]) -> list[Range]:
    """Sorts ranges and fuses overlapping or adjacent ones."""
    merged: list[Range] = []
    for first, last in sorted(ranges):
        if merged and first <= merged[-1][1] + 1:
            merged[-1] = (merged[-1][0], max(merged[-1][1], last))
        else:
            merged.append((first, last))
    return merged


def complement(ranges: list[Range]) -> list[Range]:
    """Returns the code points in 0..MAX_CODE_POINT not covered by `ranges`.

    `ranges` must already be merged.
    """
    gaps: list[Range] = []
    next_free = 0
    for first, last in ranges:
        if first > next_free:
            gaps.append((next_free, first - 1))
        next_free = last + 1
    if next_free <= MAX_CODE_POINT:
        gaps.append((next_free, MAX_CODE_POINT))
    return gaps


def parse_code_point_field(field: str, where: str) -> Range:
    """Parses "0041" or "0041..005A" into an inclusive range."""
    first_text, sep, last_text = field.strip().partition("..")
    try:
        first = int(first_text, 16)
        last = int(last_text, 16) if sep else first
    except ValueError:
        raise UcdError(f"{where}: bad code point field {field!r}") from None
    if not 0 <= first <= last <= MAX_CODE_POINT:
        raise UcdError(f"{where}: bad code point range {field!r}")
    return first, last


def read_lines(path: pathlib.Path) -> list[str]:
    try:
        return path.read_text(encoding="utf-8").splitlines()
    except OSError as error:
        raise UcdError(f"cannot read {path}: {error}") from None


def parse_binary_properties(path: pathlib.Path) -> dict[str, list[Range]]:
    """Parses a `range ; Property # comment` file into merged ranges per name.

    Lines with a property value (`range ; Property ; Value`) describe
    enumerated properties and are skipped.
    """
    raw: dict[str, list[Range]] = {}
    for number, line in enumerate(read_lines(path), start=1):
        data = line.split("#", 1)[0].strip()
        if not data:
            continue
        fields = [field.strip() for field in data.split(";")]
        if len(fields) != 2:
            continue
        code_points = parse_code_point_field(fields[0], f"{path}:{number}")
        raw.setdefault(fields[1], []).append(code_points)
    return {name: merge_ranges(ranges) for name, ranges in raw.items()}


def parse_general_categories(path: pathlib.Path) -> dict[str, list[Range]]:
    """Parses UnicodeData.txt into merged ranges per general category.

    Large blocks (CJK ideographs, Hangul syllables, surrogates, private use)
    appear as a "<Name, First>" line followed by a "<Name, Last>" line that
    together cover the whole block. "Cn" holds every code point that no line
    assigns.
    """
    raw: dict[str, list[Range]] = {}
    pending_first: tuple[int, str, str] | None = None
    for number, line in enumerate(read_lines(path), start=1):
        if not line.strip():
            continue
        where = f"{path}:{number}"
        fields = line.split(";")
        if len(fields) < 3:
            raise UcdError(f"{where}: expected at least 3 fields")
        code_point, _ = parse_code_point_field(fields[0], where)
        name, category = fields[1], fields[2]
        if pending_first is not None:
            first, first_name, first_category = pending_first
            pending_first = None
            if not name.endswith(", Last>") or category != first_category:
                raise UcdError(f"{where}: {first_name} is not followed by its "
                               "matching Last line")
            raw.setdefault(category, []).append((first, code_point))
        elif name.endswith(", First>"):
            pending_first = (code_point, name, category)
        elif name.endswith(", Last>"):
            raise UcdError(f"{where}: {name} has no preceding First line")
        else:
            raw.setdefault(category, []).append((code_point, code_point))
    if pending_first is not None:
        raise UcdError(f"{path}: {pending_first[1]} has no Last line")
    if "Cn" in raw:
        raise UcdError(f"{path}: Cn must not be assigned explicitly")
    merged = {name: merge_ranges(ranges) for name, ranges in raw.items()}
    assigned = merge_ranges(r for ranges in merged.values() for r in ranges)
    merged["Cn"] = complement(assigned)
    return merged


PARSERS: dict[str, Callable[[pathlib.Path], dict[str, list[Range]]]] = {
    DERIVED_CORE_PROPERTIES: parse_binary_properties,
    PROP_LIST: parse_binary_properties,
    UNICODE_DATA: parse_general_categories,
}


def read_unicode_version(ucd_dir: pathlib.Path) -> str:
    """Reads the version from the first line of DerivedCoreProperties.txt.

    That line looks like "# DerivedCoreProperties-15.0.0.txt".
    """
    path = ucd_dir / VERSION_FILE
    lines = read_lines(path)
    match = re.search(r"DerivedCoreProperties-(\d+\.\d+\.\d+)\.txt",
                      lines[0] if lines else "")
    if not match:
        raise UcdError(f"{path}: first line does not name the Unicode version")
    return match.group(1)


def load_tables(ucd_dir: pathlib.Path,
                tables: Iterable[Table]) -> list[tuple[Table, list[Range]]]:
    """Returns each table with its ranges, parsing every source file once."""
    parsed: dict[str, dict[str, list[Range]]] = {}
    result = []
    for table in tables:
        if table.source not in PARSERS:
            raise UcdError(f"{table.name}: unsupported source {table.source}")
        if table.source not in parsed:
            parsed[table.source] = PARSERS[table.source](ucd_dir / table.source)
        ranges = parsed[table.source].get(table.prop)
        if not ranges:
            # A C++ array cannot be empty, and an empty table almost certainly
            # means a misspelt property name.
            raise UcdError(f"{table.name}: no code points have {table.prop} in "
                           f"{table.source}")
        result.append((table, ranges))
    return result


def is_category_table(table: Table) -> bool:
    return table.source == UNICODE_DATA


def format_table(table: Table, ranges: list[Range]) -> list[str]:
    """Formats one constexpr array, as many ranges a line as fit 80 columns."""
    digits = max(4, len(f"{ranges[-1][1]:X}"))
    items = [f"{{0x{first:0{digits}X}, 0x{last:0{digits}X}}}," for first, last
             in ranges]
    indent = "    "
    per_line = max(1, (80 - len(indent) + 1) // (len(items[0]) + 1))
    if is_category_table(table):
        what = f"General_Category={table.prop}"
        if table.prop == "Cn":
            what += " (not assigned in UnicodeData.txt)"
    else:
        what = f"{table.prop} ({table.source})"
    noun = "range" if len(ranges) == 1 else "ranges"
    lines = [f"// {what}: {len(ranges)} {noun}.",
             f"constexpr CodePointRange {table.name}[] = {{"]
    for start in range(0, len(items), per_line):
        lines.append(indent + " ".join(items[start:start + per_line]))
    lines.append("};")
    return lines


def function_name(prop: str) -> str:
    return "is_" + prop.lower()


def render(version: str, tables: list[tuple[Table, list[Range]]]) -> str:
    sources = sorted({table.source for table, _ in tables})
    out = [
        f"// Generated by {SCRIPT_RELATIVE} from the Unicode Character "
        "Database,",
        f"// version {version} ({', '.join(sources)}).",
        "// DO NOT EDIT BY HAND. To regenerate, run from the repository root:",
        "//",
        f"//   python3 {SCRIPT_RELATIVE} [--ucd-dir DIR]",
        "//",
        "// Each table is a sorted array of disjoint, non-adjacent, inclusive "
        "code",
        "// point ranges, all within U+0000..U+10FFFF; a lookup is a binary "
        "search.",
        "",
        '#include "char_utils/unicode_tables.h"',
        "",
        "#include <algorithm>",
        "#include <cstddef>",
        "#include <span>",
        "",
        "namespace vorpalyx::unicode {",
        "namespace {",
        "",
        "struct CodePointRange {",
        "  char32_t first;",
        "  char32_t last;",
        "};",
        "",
    ]
    # clang-format's own packing of braced lists varies with the list length
    # and between versions; the fixed layout below is kept as emitted.
    out.append("// clang-format off")
    for table, ranges in tables:
        out.extend(format_table(table, ranges))
        out.append("")
    out[-1] = "// clang-format on"
    out.append("")
    out.extend([
        "// True if the ranges are in order, each non-empty, separated by at "
        "least one",
        "// code point from the next, and within the Unicode code space. "
        "Contains()",
        "// relies on the order; the gap and bound are what the generator "
        "promises.",
        "constexpr bool IsWellFormed(std::span<const CodePointRange> table) {",
        "  for (std::size_t i = 0; i < table.size(); ++i) {",
        "    if (table[i].first > table[i].last || table[i].last > 0x10FFFF) {",
        "      return false;",
        "    }",
        "    if (i > 0 && table[i - 1].last + 1 >= table[i].first) {",
        "      return false;",
        "    }",
        "  }",
        "  return true;",
        "}",
        "",
    ])
    for table, _ in tables:
        out.append(f"static_assert(IsWellFormed({table.name}));")
    out.extend([
        "",
        "// Finds the first range that ends at or after code_point; code_point "
        "is in",
        "// the table exactly when that range also starts at or before it.",
        "bool Contains(std::span<const CodePointRange> table, char32_t "
        "code_point) {",
        "  const auto it =",
        "      std::lower_bound(table.begin(), table.end(), code_point,",
        "                       [](const CodePointRange& range, "
        "char32_t value) {",
        "                         return range.last < value;",
        "                       });",
        "  return it != table.end() && it->first <= code_point;",
        "}",
        "",
        "}  // namespace",
        "",
    ])
    for table, _ in tables:
        if is_category_table(table):
            continue
        out.extend([
            f"bool {function_name(table.prop)}(char32_t code_point) {{",
            f"  return Contains({table.name}, code_point);",
            "}",
            "",
        ])
    out.extend([
        "bool has_general_category(char32_t code_point, GeneralCategory "
        "category) {",
        "  switch (category) {",
    ])
    for table, _ in tables:
        if is_category_table(table):
            out.extend([
                f"    case GeneralCategory::k{table.prop}:",
                f"      return Contains({table.name}, code_point);",
            ])
    out.extend([
        "  }",
        "  return false;",
        "}",
        "",
        "}  // namespace vorpalyx::unicode",
    ])
    return "\n".join(out) + "\n"


def check_lines_fit(text: str) -> None:
    for number, line in enumerate(text.splitlines(), start=1):
        if len(line) > 80:
            raise AssertionError(f"generated line {number} exceeds 80 columns")


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--ucd-dir", type=pathlib.Path, default=DEFAULT_UCD_DIR,
                        help="directory holding the UCD .txt files "
                        f"(default: {DEFAULT_UCD_DIR})")
    parser.add_argument("--output", type=pathlib.Path,
                        default=REPO_ROOT / OUTPUT_RELATIVE,
                        help="file to write "
                        f"(default: <repo>/{OUTPUT_RELATIVE})")
    args = parser.parse_args(argv)
    try:
        version = read_unicode_version(args.ucd_dir)
        tables = load_tables(args.ucd_dir, TABLES)
    except UcdError as error:
        print(f"error: {error}", file=sys.stderr)
        return 1
    text = render(version, tables)
    check_lines_fit(text)
    args.output.parent.mkdir(parents=True, exist_ok=True)
    with open(args.output, "w", encoding="ascii", newline="\n") as output:
        output.write(text)
    print(f"wrote {args.output} (Unicode {version}): " +
          ", ".join(f"{table.name}={len(ranges)}" for table, ranges in tables))
    return 0


if __name__ == "__main__":
    sys.exit(main())
