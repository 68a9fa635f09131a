"""The module vorpalyx.core and the properties of the class Solver."""

import copy
import gc
import glob
import importlib
import inspect
import os
import pickle
import shutil
import subprocess
import sys
import textwrap
import threading
import weakref

import pytest

import vorpalyx
from vorpalyx import core
from vorpalyx.core import Solver

from hostile import CallsBack, IndexCallsBack

METHOD_SIGNATURES = {
    "load_dictionary_from_words": "(self, /, words)",
    "load_dictionary_from_path": "(self, /, path)",
    "add_word": "(self, /, word)",
    "solve": (
        "(self, /, phrase, must_start_with=None, can_only_ever_start_with=None, "
        "must_not_start_with=None, max_words=None, min_word_length=None, "
        "timeout_seconds=None, max_solutions=None, contains_patterns=None)"
    ),
}


class TestModule:
    def test_attributes(self) -> None:
        assert core.__all__ == ["Solver"]
        assert type(core.__all__) is list
        assert core.__doc__ == ""
        assert core.__name__ == "vorpalyx.core"
        assert {name for name in vars(core) if not name.startswith("__")} == {"Solver"}
        assert vorpalyx.Solver is core.Solver

    def test_reimport_gives_the_same_module(self) -> None:
        saved = sys.modules.pop("vorpalyx.core")
        try:
            again = importlib.import_module("vorpalyx.core")
        finally:
            sys.modules["vorpalyx.core"] = saved
        assert again is saved
        assert again.Solver is Solver
        assert again.__all__ == ["Solver"]

    def test_sub_interpreter_is_refused(self) -> None:
        # The legacy configuration lets single-phase modules load, so the
        # refusal seen there is the module's own.
        script = textwrap.dedent(
            """
            import _interpreters
            interpreter = _interpreters.create(_interpreters.new_config("legacy"))
            for _ in range(2):
                failure = _interpreters.exec(interpreter, "import vorpalyx.core")
                print(failure.type.__name__, failure.msg, sep=": ")
            import vorpalyx.core
            print(vorpalyx.core.Solver().solve("a"))
            failure = _interpreters.exec(interpreter, "import vorpalyx.core")
            print(failure.type.__name__, failure.msg, sep=": ")
            _interpreters.destroy(interpreter)
            """
        )
        completed = subprocess.run(
            [sys.executable, "-c", script], capture_output=True, text=True, timeout=60
        )
        assert completed.returncode == 0, completed.stderr
        lines = completed.stdout.splitlines()
        assert len(lines) == 4
        assert lines[2] == "[]"
        for line in lines[:2] + lines[3:]:
            assert line.startswith("ImportError: ")
            assert "does not support sub-interpreters" in line

    @pytest.mark.parametrize("name", ["core", "_engine"])
    def test_only_init_function_is_exported(self, name: str) -> None:
        nm = shutil.which("nm")
        if nm is None:
            pytest.skip("nm is not installed")
        (library,) = glob.glob(os.path.join(os.path.dirname(core.__file__), f"{name}.*so"))
        listing = subprocess.run(
            [nm, "-D", "--defined-only", library],
            capture_output=True,
            text=True,
            check=True,
        ).stdout
        assert [line.split()[-1] for line in listing.splitlines()] == [f"PyInit_{name}"]


class TestSolverType:
    def test_names_doc_and_constructor_signature(self) -> None:
        assert Solver.__name__ == "Solver"
        assert Solver.__qualname__ == "Solver"
        assert Solver.__module__ == "builtins"
        assert repr(Solver) == "<class 'builtins.Solver'>"
        assert Solver.__bases__ == (object,)
        assert Solver.__doc__ == ""
        assert Solver.__text_signature__ == "()"
        assert str(inspect.signature(Solver)) == "()"

    @pytest.mark.parametrize("name", METHOD_SIGNATURES)
    def test_method_signature(self, name: str) -> None:
        method = getattr(Solver, name)
        assert str(inspect.signature(method)) == METHOD_SIGNATURES[name]
        assert method.__doc__ is None
        bound = str(inspect.signature(getattr(Solver(), name)))
        assert bound == "(" + METHOD_SIGNATURES[name].removeprefix("(self, /, ")

    def test_own_attributes(self) -> None:
        methods = [name for name in vars(Solver) if not name.startswith("__")]
        assert methods == list(METHOD_SIGNATURES)
        assert {name for name in vars(Solver) if name.startswith("__")} == {
            "__new__",
            "__doc__",
            "__module__",
        }

    @pytest.mark.parametrize(
        "protocol", ["__init__", "__repr__", "__eq__", "__hash__", "__reduce_ex__"]
    )
    def test_object_protocols_apply(self, protocol: str) -> None:
        assert getattr(Solver, protocol) is getattr(object, protocol)

    def test_not_subclassable(self) -> None:
        with pytest.raises(TypeError, match="is not an acceptable base type"):
            type("Derived", (Solver,), {})

    def test_instances_take_no_attributes_nor_weak_references(self, solver: Solver) -> None:
        assert not hasattr(solver, "__dict__")
        with pytest.raises(AttributeError):
            solver.extra = 1  # type: ignore[attr-defined]
        with pytest.raises(AttributeError):
            solver.solve = None  # type: ignore[method-assign]
        assert Solver.__weakrefoffset__ == 0
        with pytest.raises(TypeError, match="cannot create weak reference"):
            weakref.ref(solver)
        # Nothing in them refers to other objects.
        assert not gc.is_tracked(solver)

    @pytest.mark.parametrize(
        "make",
        [lambda _: object.__new__(Solver), copy.copy, copy.deepcopy, pickle.dumps],
        ids=["object-new", "copy", "deepcopy", "pickle"],
    )
    def test_no_uninitialised_or_copied_instances(self, make) -> None:
        solver = Solver()
        solver.add_word("cat")
        try:
            with pytest.raises(TypeError):
                make(solver)
        finally:
            # Copying and pickling cache __slotnames__ on the class (it is a
            # mutable type); leave the class as the other tests expect it.
            if "__slotnames__" in vars(Solver):
                del Solver.__slotnames__
        assert solver.solve("act") == [["cat"]]
        assert "__slotnames__" not in vars(Solver)

    # __new__ called directly makes a whole solver too. Many solvers made and
    # dropped are in test_leaks.py.
    def test_instances_are_independent(self) -> None:
        first, second = Solver(), Solver.__new__(Solver)
        first.add_word("cat")
        assert first.solve("act") == [["cat"]]
        assert second.solve("act") == []
        second.add_word("dog")
        assert second.solve("god") == [["dog"]]
        assert first.solve("god") == []


NEW = "Solver.__new__()"
WORDS = "Solver.load_dictionary_from_words()"
PATH = "Solver.load_dictionary_from_path()"
ADD = "Solver.add_word()"
SOLVE = "Solver.solve()"

METHOD_OF = {
    WORDS: "load_dictionary_from_words",
    PATH: "load_dictionary_from_path",
    ADD: "add_word",
    SOLVE: "solve",
}

# (full name, positional args, keyword args, expected message)
BINDING_ERRORS = [
    (NEW, (1,), {}, f"{NEW} takes 0 positional arguments but 1 was given"),
    (NEW, (1, 2), {}, f"{NEW} takes 0 positional arguments but 2 were given"),
    (NEW, (), {"x": 1}, f"{NEW} got an unexpected keyword argument 'x'"),
    (NEW, (), {"y": 1, "x": 2}, f"{NEW} got an unexpected keyword argument 'y'"),
    (NEW, (1,), {"x": 1}, f"{NEW} takes 0 positional arguments but 1 was given"),
    # Solver(**{1: 2}) hands the constructor keys that are not str.
    (NEW, (), {1: 2}, f"{NEW} got an unexpected keyword argument '1'"),
    (WORDS, (), {}, f"{WORDS} missing 1 required positional argument: 'words'"),
    (WORDS, ([], []), {}, f"{WORDS} takes 1 positional arguments but 2 were given"),
    (WORDS, ([],), {"words": []}, f"{WORDS} got multiple values for argument 'words'"),
    (WORDS, (), {"word": []}, f"{WORDS} got an unexpected keyword argument 'word'"),
    (PATH, (), {}, f"{PATH} missing 1 required positional argument: 'path'"),
    (PATH, ("a", "b", "c"), {}, f"{PATH} takes 1 positional arguments but 3 were given"),
    (PATH, ("a",), {"path": "b"}, f"{PATH} got multiple values for argument 'path'"),
    (PATH, (), {"file": "a"}, f"{PATH} got an unexpected keyword argument 'file'"),
    (ADD, (), {}, f"{ADD} missing 1 required positional argument: 'word'"),
    (ADD, ("a", "b"), {}, f"{ADD} takes 1 positional arguments but 2 were given"),
    (ADD, ("a",), {"word": "b"}, f"{ADD} got multiple values for argument 'word'"),
    # None counts as supplied.
    (ADD, (None,), {"word": None}, f"{ADD} got multiple values for argument 'word'"),
    (ADD, (), {"Word": "a"}, f"{ADD} got an unexpected keyword argument 'Word'"),
    (ADD, ("a", "b"), {"zz": 1}, f"{ADD} takes 1 positional arguments but 2 were given"),
    (ADD, (), {"zz": 1}, f"{ADD} got an unexpected keyword argument 'zz'"),
    (SOLVE, (), {}, f"{SOLVE} missing 1 required positional argument: 'phrase'"),
    (SOLVE, (None,) * 10, {}, f"{SOLVE} takes from 1 to 9 positional arguments but 10 were given"),
    (SOLVE, (None,) * 12, {}, f"{SOLVE} takes from 1 to 9 positional arguments but 12 were given"),
    (SOLVE, ("x",), {"limit": 1}, f"{SOLVE} got an unexpected keyword argument 'limit'"),
    (SOLVE, ("x",), {"phrase": "y"}, f"{SOLVE} got multiple values for argument 'phrase'"),
    (SOLVE, ("x", None, None, None, 2), {"max_words": 2},
     f"{SOLVE} got multiple values for argument 'max_words'"),
    (SOLVE, ("x",), {"limit": 1, "phrase": "y"},
     f"{SOLVE} got an unexpected keyword argument 'limit'"),
    (SOLVE, ("x",), {"phrase": "y", "limit": 1},
     f"{SOLVE} got multiple values for argument 'phrase'"),
    (SOLVE, (), {"max_words": 1}, f"{SOLVE} missing 1 required positional argument: 'phrase'"),
]


class TestBinding:
    @pytest.mark.parametrize(("full_name", "args", "kwargs", "message"), BINDING_ERRORS)
    def test_message(self, full_name: str, args: tuple, kwargs: dict, message: str) -> None:
        solver = Solver()
        solver.add_word("cat")
        target = Solver if full_name == NEW else getattr(solver, METHOD_OF[full_name])
        with pytest.raises(TypeError) as caught:
            target(*args, **kwargs)
        assert type(caught.value) is TypeError
        assert str(caught.value) == message
        assert caught.value.args == (message,)
        assert caught.value.__cause__ is None
        # Nothing was converted or stored, and the solver is free.
        assert solver.solve("act") == [["cat"]]
        solver.add_word("dog")

    @pytest.mark.parametrize("name", ["load_dictionary_from_words", "add_word", "solve"])
    def test_binding_comes_before_the_borrow(self, solver: Solver, name: str) -> None:
        # While a dictionary load holds the solver, a badly bound call still
        # gets its binding error, not the borrow conflict.
        seen: list[BaseException] = []

        class Probe:
            def __getitem__(self, index: int) -> str:
                if index:
                    raise IndexError
                try:
                    getattr(solver, name)(1, 2, 3, 4, 5, 6, 7, 8, 9, 10)
                except BaseException as error:
                    seen.append(error)
                return "cat"

        solver.load_dictionary_from_words(Probe())
        (error,) = seen
        assert type(error) is TypeError
        assert " positional arguments but 10 were given" in str(error)
        assert not str(error).startswith("argument ")

    def test_keywords_by_name(self, solver: Solver) -> None:
        solver.load_dictionary_from_words(words=["listen"])
        solver.add_word(word="silent")
        assert solver.solve(phrase="enlist") == [["listen"], ["silent"]]


class SwallowingIndexCallsBack(IndexCallsBack):
    """Keeps the RuntimeError its action raises, and converts all the same."""

    def _run(self) -> None:
        try:
            super()._run()
        except RuntimeError:
            pass


DICTIONARY_CHANGES = pytest.mark.parametrize(
    "inner",
    [
        lambda s: s.add_word("dog"),
        lambda s: s.load_dictionary_from_words(["dog"]),
        lambda s: s.load_dictionary_from_path("/nonexistent"),
    ],
    ids=["add_word", "load_dictionary_from_words", "load_dictionary_from_path"],
)


class TestBorrow:
    # Each inner call's argument is of the wrong type: the borrow is checked
    # before conversion, so the refusal comes, not a TypeError.
    @pytest.mark.parametrize(
        ("inner", "message"),
        [
            (lambda s: s.solve(5), "Already mutably borrowed"),
            (lambda s: s.add_word(5), "Already borrowed"),
            (lambda s: s.load_dictionary_from_words(5), "Already borrowed"),
            (lambda s: s.load_dictionary_from_path(5), "Already borrowed"),
        ],
        ids=["solve", "add_word", "load_dictionary_from_words", "load_dictionary_from_path"],
    )
    @pytest.mark.parametrize("swallow", [True, False])
    def test_during_dictionary_load(
        self, solver: Solver, assert_usable, inner, message: str, swallow: bool
    ) -> None:
        sequence = CallsBack(lambda: inner(solver), swallow=swallow)
        if swallow:
            solver.load_dictionary_from_words(sequence)
            assert solver.solve("act") == [["cat"]]
        else:
            with pytest.raises(RuntimeError) as caught:
                solver.load_dictionary_from_words(sequence)
            assert caught.value is sequence.errors[0]
            assert solver.solve("act") == []
        (error,) = sequence.errors
        assert type(error) is RuntimeError
        assert str(error) == message
        assert solver.solve("god") == []
        assert_usable(solver)

    def test_iterator_protocol_is_guarded_too(self, solver: Solver) -> None:
        class Iterable:
            def __getitem__(self, index: int) -> str:
                raise AssertionError("iteration goes through __iter__")

            def __iter__(self):
                yield "cat"
                solver.solve("act")

        with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
            solver.load_dictionary_from_words(Iterable())
        assert solver.solve("act") == []

    # While a number converts or the patterns are read, a change to the
    # dictionary is refused; swallowed, the solve goes on.
    @pytest.mark.parametrize(
        "parameter",
        ["max_words", "min_word_length", "timeout_seconds", "max_solutions", "contains_patterns"],
    )
    @DICTIONARY_CHANGES
    @pytest.mark.parametrize("swallow", [True, False])
    def test_dictionary_change_during_solve(
        self, solver: Solver, assert_usable, parameter: str, inner, swallow: bool
    ) -> None:
        solver.add_word("cat")
        if parameter == "contains_patterns":
            argument = CallsBack(lambda: inner(solver), swallow=swallow)
        else:
            argument = (SwallowingIndexCallsBack if swallow else IndexCallsBack)(lambda: inner(solver))
        if swallow:
            assert solver.solve("act", **{parameter: argument}) == [["cat"]]
        else:
            with pytest.raises(RuntimeError) as caught:
                solver.solve("act", **{parameter: argument})
            assert caught.value is argument.errors[0]
        (error,) = argument.errors
        assert type(error) is RuntimeError
        assert str(error) == "Already borrowed"
        assert solver.solve("god") == []
        assert_usable(solver)

    def test_solve_inside_solve(self, solver: Solver, assert_usable) -> None:
        # Each number argument solves while it is converted (as 2, or 100.0).
        solver.load_dictionary_from_words(["listen", "silent", "lis", "net"])
        innermost = IndexCallsBack(lambda: solver.solve("enlist", max_words=1))
        middle = IndexCallsBack(lambda: solver.solve("tin sel", max_words=innermost))
        numbers = dict.fromkeys(
            ["max_words", "min_word_length", "timeout_seconds", "max_solutions"], middle
        )
        assert solver.solve("Listen!", **numbers) == [["listen"], ["silent"]]
        assert middle.errors == innermost.errors == []
        assert innermost.results == [[["listen"], ["silent"]]] * 4
        assert middle.results == [[["listen"], ["silent"], ["lis", "net"]]] * 4
        assert_usable(solver)

    def test_other_solvers_are_independent(self, solver: Solver) -> None:
        other = Solver()
        other.add_word("dog")
        results = []
        sequence = CallsBack(
            lambda: (other.add_word("god"), results.append(other.solve("odg"))),
            swallow=False,
        )
        solver.load_dictionary_from_words(sequence)
        assert results == [[["dog"], ["god"]]]
        assert solver.solve("act") == [["cat"]]

    def test_conflict_from_another_thread(self, solver: Solver, assert_usable) -> None:
        inside, release = threading.Event(), threading.Event()

        class Waits:
            def __getitem__(self, index: int) -> str:
                if index:
                    raise IndexError
                inside.set()
                release.wait(10)
                return "cat"

        loader = threading.Thread(target=solver.load_dictionary_from_words, args=(Waits(),))
        loader.start()
        try:
            assert inside.wait(10)
            with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
                solver.solve("act")
            with pytest.raises(RuntimeError, match="^Already borrowed$"):
                solver.add_word("dog")
        finally:
            release.set()
            loader.join(10)
        assert solver.solve("act") == [["cat"]]
        assert_usable(solver)
