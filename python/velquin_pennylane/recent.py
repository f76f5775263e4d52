"""A small cache that keeps the most recently added entries."""

from __future__ import annotations

from collections.abc import Hashable
from typing import Generic, TypeVar

V = TypeVar("V")


class Recent(Generic[V]):
    """At most ``keep`` entries; adding one more drops the oldest."""

    def __init__(self, keep: int) -> None:
        self._keep = keep
        self._entries: dict[Hashable, V] = {}

    def get(self, key: Hashable) -> V | None:
        return self._entries.get(key)

    def add(self, key: Hashable, value: V) -> V:
        """Store ``value`` under ``key`` and return it."""
        if key not in self._entries and len(self._entries) >= self._keep:
            self._entries.pop(next(iter(self._entries)), None)
        self._entries[key] = value
        return value
