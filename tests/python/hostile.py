"""Argument stand-ins for the tests: subclasses of the built-in types, and
objects whose sequence, number or str protocol raises, lies or calls back
into the solver while it is being converted."""

from __future__ import annotations

from collections.abc import Callable, Iterator
from typing import Any


class Boom(Exception):
    """Raised by the stand-ins below; never raised by the module."""


class Text(str):
    pass


class Integer(int):
    """Taken by its value: its own __index__ is never called."""

    def __index__(self) -> int:
        raise Boom("never called")


class Real(float):
    """Taken by its value: its own __float__ is never called."""

    def __float__(self) -> float:
        raise Boom("never called")


class Holder:
    class Nested:
        pass


class TypeErrorSubclass(TypeError):
    pass


class Sneaky(str):
    """A str whose Python-level protocol lies; only its characters count."""

    def __str__(self) -> str:
        return "zzz"

    def __len__(self) -> int:
        return 0

    def __iter__(self) -> Iterator[str]:
        return iter(())

    def __getitem__(self, index: Any) -> str:
        raise Boom("never called")

    def __eq__(self, other: object) -> bool:
        return True

    def __hash__(self) -> int:
        return 0

    def encode(self, *args: Any, **kwargs: Any) -> bytes:
        raise Boom("never called")


class GetItemSequence:
    """A sequence known only by __getitem__ (iterated by the old protocol)."""

    def __init__(self, *items: object) -> None:
        self.items = items

    def __getitem__(self, index: int) -> object:
        return self.items[index]


class FailingLength(GetItemSequence):
    def __len__(self) -> int:
        raise ValueError("no length")


class LyingLength(GetItemSequence):
    def __len__(self) -> int:
        return 2**62


class RaisingIteration:
    """A sequence whose iteration yields `before` and then raises `error`."""

    def __init__(self, error: BaseException, *before: str) -> None:
        self.error = error
        self.before = before

    def __getitem__(self, index: int) -> str:
        raise AssertionError("iteration goes through __iter__")

    def __iter__(self) -> Iterator[str]:
        yield from self.before
        raise self.error


class Items:
    """A sequence (it has __getitem__) built from a list, with a hook that
    runs before every item is read, the IndexError that ends it included."""

    def __init__(self, items: list[Any], on_item: Callable[[int], None] | None = None):
        self.items = items
        self.on_item = on_item

    def __len__(self) -> int:
        return len(self.items)

    def __getitem__(self, index: int) -> Any:
        if self.on_item is not None:
            self.on_item(index)
        return self.items[index]


class CallsBack:
    """A one-item sequence of 'cat' that runs `action` while being read."""

    def __init__(self, action: Callable[[], object], *, swallow: bool) -> None:
        self.action = action
        self.swallow = swallow
        self.errors: list[BaseException] = []

    def __getitem__(self, index: int) -> str:
        if index:
            raise IndexError
        try:
            self.action()
        except RuntimeError as error:
            self.errors.append(error)
            if not self.swallow:
                raise
        return "cat"


class Index:
    """An object with only __index__, which returns `value` or raises it,
    noting `name` in `log` first."""

    def __init__(self, value: object, log: list[str] | None = None, name: str = "") -> None:
        self.value = value
        self.log = log
        self.name = name

    def __index__(self) -> int:
        if self.log is not None:
            self.log.append(self.name)
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value  # type: ignore[return-value]


class PathLike:
    """An object with only __fspath__, which returns `value` or raises it."""

    def __init__(self, value: object) -> None:
        self.value = value

    def __fspath__(self) -> Any:
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value


class Floating:
    """An object with only __float__, which returns `value` or raises it."""

    def __init__(self, value: object) -> None:
        self.value = value

    def __float__(self) -> float:
        if isinstance(self.value, BaseException):
            raise self.value
        return self.value  # type: ignore[return-value]


class Number:
    """An object whose __index__ and __float__ both return `action()`."""

    def __init__(self, action: Callable[[], Any]):
        self.action = action

    def __index__(self) -> Any:
        return self.action()

    def __float__(self) -> Any:
        return self.action()


class IndexCallsBack:
    """An integer 2 (a real 100.0) whose __index__ (__float__) runs `action`
    first, keeping its results and the RuntimeError it raises."""

    def __init__(self, action: Callable[[], object]) -> None:
        self.action = action
        self.errors: list[BaseException] = []
        self.results: list[object] = []

    def _run(self) -> None:
        try:
            self.results.append(self.action())
        except RuntimeError as error:
            self.errors.append(error)
            raise

    def __index__(self) -> int:
        self._run()
        return 2

    def __float__(self) -> float:
        self._run()
        return 100.0
