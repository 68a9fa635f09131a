"""How Solver.solve converts its arguments, and the errors it raises for them."""

import math
import pathlib
from collections.abc import Iterator

import pytest

from vorpalyx.core import Solver

from hostile import (
    Floating,
    GetItemSequence,
    Holder,
    Index,
    Integer,
    Real,
    Text,
    TypeErrorSubclass,
)
from solve_parameters import SOLVE_PARAMETERS

PARAMETERS = list(SOLVE_PARAMETERS)
TEXT_PARAMETERS = PARAMETERS[:4]
INTEGER_PARAMETERS = ["max_words", "min_word_length", "max_solutions"]

ALL = [["enlist"], ["listen"], ["silent"], ["lis", "net"]]
ONE_WORD = ALL[:3]


@pytest.fixture
def listen() -> Solver:
    solver = Solver()
    solver.load_dictionary_from_words(["listen", "silent", "enlist", "tin", "net", "lis"])
    return solver


def patterns() -> Iterator[str]:
    yield "ten"


def raises_exactly(error_type: type[BaseException], call) -> BaseException:
    with pytest.raises(error_type) as caught:
        call()
    assert type(caught.value) is error_type
    return caught.value


NOT_STRINGS = [
    (5, "int"),
    (b"l", "bytes"),
    (["l"], "list"),
    (pathlib.Path("l"), "PosixPath"),
    (Holder.Nested(), "Holder.Nested"),
]


class TestTextArguments:
    # None leaves out any parameter but the phrase.
    @pytest.mark.parametrize(
        ("parameter", "value", "type_name"),
        [
            *((parameter, value, type_name) for parameter in TEXT_PARAMETERS
              for value, type_name in NOT_STRINGS),
            ("phrase", None, "NoneType"),
        ],
    )
    def test_not_a_string(self, listen: Solver, parameter: str, value, type_name: str) -> None:
        arguments = {"phrase": "Listen!", parameter: value}
        error = raises_exactly(TypeError, lambda: listen.solve(arguments.pop("phrase"), **arguments))
        assert str(error) == (
            f"argument '{parameter}': '{type_name}' object cannot be converted to 'PyString'"
        )
        assert error.__cause__ is None

    # The phrase is not normalised away, and empty start letters are given,
    # not left out; each as str and as a str subclass.
    @pytest.mark.parametrize(
        ("phrase", "arguments", "expected"),
        [
            ("Listen!", {}, ALL),
            ("Listen!", {"must_start_with": "l"}, [["listen"], ["lis", "net"]]),
            ("Listen!", {"can_only_ever_start_with": "ls"}, [["listen"], ["silent"]]),
            ("Listen!", {"must_not_start_with": "l"}, [["enlist"], ["silent"]]),
            ("Listen!", {"contains_patterns": ["N-e-T"]}, [["lis", "net"]]),
            ("", {}, []),
            ("!!! 42", {}, []),
            ("LISTEN", {}, ONE_WORD + [["lis", "net"]]),
            ("Listen!", {"can_only_ever_start_with": ""}, []),
            ("Listen!", {"must_not_start_with": ""}, ALL),
        ],
    )
    def test_values(self, listen: Solver, phrase: str, arguments: dict, expected: list) -> None:
        converted = {
            name: [Text(item) for item in value] if isinstance(value, list) else Text(value)
            for name, value in arguments.items()
        }
        assert listen.solve(phrase, **arguments) == expected
        assert listen.solve(Text(phrase), **converted) == expected


class TestContainsPatterns:
    @pytest.mark.parametrize(
        ("value", "expected"),
        [
            (["net"], [["lis", "net"]]),
            (("net",), [["lis", "net"]]),
            ([Text("N-E-T")], [["lis", "net"]]),
            (GetItemSequence("net"), [["lis", "net"]]),
            (["", "net", "42"], [["lis", "net"]]),
            (["net", "net"], [["lis", "net"]]),
            # Present but empty.
            ([], ALL),
            ((), ALL),
            (range(0), ALL),
            (["", "!!", "42"], ALL),
        ],
    )
    def test_accepted(self, listen: Solver, value, expected) -> None:
        assert listen.solve("Listen!", contains_patterns=value) == expected

    # An iteration's own errors, renamed or passed on, are in
    # test_hostile_inputs.py.
    @pytest.mark.parametrize(
        ("value", "message"),
        [
            ("ab", "Can't extract `str` to `Vec`"),
            (Text("ab"), "Can't extract `str` to `Vec`"),
            ({"ab"}, "'set' object cannot be converted to 'Sequence'"),
            ({"ab": 1}, "'dict' object cannot be converted to 'Sequence'"),
            (patterns(), "'generator' object cannot be converted to 'Sequence'"),
            (iter(["ab"]), "'list_iterator' object cannot be converted to 'Sequence'"),
            (7, "'int' object cannot be converted to 'Sequence'"),
            (["ab", 3], "'int' object cannot be converted to 'PyString'"),
            (["ab", None], "'NoneType' object cannot be converted to 'PyString'"),
            (range(2), "'int' object cannot be converted to 'PyString'"),
            (b"ab", "'int' object cannot be converted to 'PyString'"),
        ],
    )
    def test_errors(self, listen: Solver, value, message: str) -> None:
        error = raises_exactly(TypeError, lambda: listen.solve("Listen!", contains_patterns=value))
        assert str(error) == f"argument 'contains_patterns': {message}"
        assert error.__cause__ is None


# A value for each integer parameter whose result differs from the default.
SIGNIFICANT = {"max_words": 1, "min_word_length": 4, "max_solutions": 0}
NUMBER_PARAMETERS = [*INTEGER_PARAMETERS, "timeout_seconds"]


class TestNumberArguments:
    @pytest.mark.parametrize("parameter", INTEGER_PARAMETERS)
    @pytest.mark.parametrize(
        "make",
        [lambda v: v, Integer, Index],
        ids=["int", "int-subclass", "index"],
    )
    def test_accepted_forms(self, listen: Solver, parameter: str, make) -> None:
        value = SIGNIFICANT[parameter]
        expected = listen.solve("Listen!", **{parameter: value})
        assert expected != ALL
        assert listen.solve("Listen!", **{parameter: make(value)}) == expected

    def test_bool_values(self, listen: Solver) -> None:
        assert listen.solve("Listen!", max_words=True) == ONE_WORD
        assert listen.solve("Listen!", max_words=False) == []
        assert len(listen.solve("Listen!", max_solutions=True)) == 1

    # Integers up to 2**64 - 1; any timeout long enough, and a negative one
    # passed on. Subclasses of int and float are taken by value.
    @pytest.mark.parametrize(
        ("parameter", "value", "expected"),
        [
            *((parameter, make(2**64 - 1), [] if parameter == "min_word_length" else ALL)
              for parameter in INTEGER_PARAMETERS for make in (int, Index)),
            *(("timeout_seconds", value, ALL) for value in (
                100.0, 1, True, Integer(100), Real(100.0), Floating(100.0), Index(100),
                math.nan, Real(math.nan), math.inf, 1e308)),
            *(("timeout_seconds", value, []) for value in (
                -1.0, -1, Real(-1.0), Floating(-1.0), Index(-1), -math.inf, -1e-300)),
        ],
    )
    def test_values(self, listen: Solver, parameter: str, value, expected) -> None:
        assert listen.solve("Listen!", **{parameter: value}) == expected

    @pytest.mark.parametrize(
        ("parameter", "value", "message"),
        [
            *((parameter, value, message) for parameter in INTEGER_PARAMETERS for value, message in (
                (2.0, "'float' object cannot be interpreted as an integer"),
                ("1", "'str' object cannot be interpreted as an integer"),
                (Real(1.0), "'Real' object cannot be interpreted as an integer"),
                (Index(TypeError("from index")), "from index"),
                (Index("1"), "__index__ returned non-int (type str)"),
            )),
            ("timeout_seconds", "1", "must be real number, not str"),
            ("timeout_seconds", b"1", "must be real number, not bytes"),
            ("timeout_seconds", [1.0], "must be real number, not list"),
            ("timeout_seconds", Floating(TypeError("from float")), "from float"),
            ("timeout_seconds", Floating("1.0"), "Floating.__float__ returned non-float (type str)"),
        ],
    )
    def test_not_a_number(self, listen: Solver, parameter: str, value, message) -> None:
        error = raises_exactly(TypeError, lambda: listen.solve("Listen!", **{parameter: value}))
        assert str(error) == f"argument '{parameter}': {message}"
        assert listen.solve("Listen!") == ALL

    # The converter's own message, not renamed after the argument.
    @pytest.mark.parametrize(
        ("parameter", "value", "message"),
        [
            *((parameter, value, message) for parameter in INTEGER_PARAMETERS for value, message in (
                (-1, "can't convert negative int to unsigned"),
                (2**64, "int too big to convert"),
                (-(2**70), "can't convert negative int to unsigned"),
                (Index(-1), "can't convert negative int to unsigned"),
                (Index(2**64), "int too big to convert"),
                (Integer(-1), "can't convert negative int to unsigned"),
            )),
            ("timeout_seconds", 10**400, "int too large to convert to float"),
            ("timeout_seconds", Index(10**400), "int too large to convert to float"),
        ],
    )
    def test_out_of_range(self, listen: Solver, parameter: str, value, message: str) -> None:
        error = raises_exactly(OverflowError, lambda: listen.solve("Listen!", **{parameter: value}))
        assert str(error) == message
        assert listen.solve("Listen!") == ALL

    @pytest.mark.parametrize("parameter", NUMBER_PARAMETERS)
    @pytest.mark.parametrize("error", [ValueError("v"), TypeErrorSubclass("t"), OverflowError("o")])
    def test_conversion_errors_pass_unchanged(
        self, listen: Solver, parameter: str, error: BaseException
    ) -> None:
        number = Floating(error) if parameter == "timeout_seconds" else Index(error)
        with pytest.raises(BaseException) as caught:
            listen.solve("Listen!", **{parameter: number})
        assert caught.value is error
        assert listen.solve("Listen!") == ALL


# One wrong value per parameter, each raising a different message.
WRONG = {
    "phrase": 1,
    "must_start_with": 2,
    "can_only_ever_start_with": 3.0,
    "must_not_start_with": b"",
    "max_words": "x",
    "min_word_length": -1,
    "timeout_seconds": "y",
    "max_solutions": 2**64,
    "contains_patterns": "z",
}


class TestArgumentOrder:
    @pytest.mark.parametrize("first", range(len(PARAMETERS)))
    @pytest.mark.parametrize("as_keywords", [False, True], ids=["positional", "keyword"])
    def test_first_wrong_argument_is_reported(
        self, listen: Solver, first: int, as_keywords: bool
    ) -> None:
        values = ["Listen!"] + [None] * 8
        for index in range(first, len(PARAMETERS)):
            values[index] = WRONG[PARAMETERS[index]]
        overflows = PARAMETERS[first] in ("min_word_length", "max_solutions")
        expected_type = OverflowError if overflows else TypeError
        if as_keywords:
            # Keywords in reverse order: conversion still follows the parameters.
            arguments = dict(reversed(list(zip(PARAMETERS, values))))
            call = lambda: listen.solve(**arguments)  # noqa: E731
        else:
            call = lambda: listen.solve(*values)  # noqa: E731
        error = raises_exactly(expected_type, call)
        if expected_type is TypeError:
            assert str(error).startswith(f"argument '{PARAMETERS[first]}': ")

    def test_conversions_run_in_parameter_order_and_stop_at_the_first_failure(
        self, listen: Solver
    ) -> None:
        log: list[str] = []
        arguments = {
            "max_solutions": Index(5, log, "max_solutions"),
            "timeout_seconds": Index(5, log, "timeout_seconds"),
            "min_word_length": Index(TypeError("stop"), log, "min_word_length"),
            "max_words": Index(5, log, "max_words"),
        }
        error = raises_exactly(TypeError, lambda: listen.solve("Listen!", **arguments))
        assert str(error) == "argument 'min_word_length': stop"
        assert log == ["max_words", "min_word_length"]
        log.clear()
        arguments["min_word_length"] = Index(1, log, "min_word_length")
        assert listen.solve("Listen!", **arguments) == ALL
        assert log == ["max_words", "min_word_length", "timeout_seconds", "max_solutions"]

    def test_none_is_the_same_as_omitted(self, listen: Solver) -> None:
        assert listen.solve("Listen!", *[None] * 8) == ALL
        assert listen.solve("Listen!", **{name: None for name in PARAMETERS[1:]}) == ALL

    # The fifth argument alone, max_words, and then mixes.
    @pytest.mark.parametrize(
        "values",
        [
            ("Listen!", None, None, None, 1),
            ("Listen!", "l", None, None, 2, 3, 10.0, 5, ["is"]),
            ("Listen!", None, "ls", "e", None, 4),
            ("Listen!", "", None, None, None, None, None, 1),
        ],
    )
    def test_positional_and_keyword_forms_agree(self, listen: Solver, values: tuple) -> None:
        keywords = dict(zip(PARAMETERS, values))
        expected = listen.solve(*values)
        assert listen.solve(**keywords) == expected
        assert listen.solve(values[0], **dict(list(keywords.items())[1:])) == expected


class TestResult:
    # That each result is new lists of str is in test_solve_results.py.
    def test_usable_after_every_error(self, listen: Solver, assert_usable) -> None:
        for name, value in WRONG.items():
            with pytest.raises((TypeError, OverflowError)):
                listen.solve(**{"phrase": "Listen!", name: value})
        assert_usable(listen)
        assert listen.solve("Listen!") == ALL
