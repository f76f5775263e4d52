"""The rows of the report: every simulator's figure for one case, gathered
from the workers, each with the yardstick its own worker measured."""
from __future__ import annotations

from dataclasses import dataclass, field

from .timing import Measurement

SUBJECT = "velquin"


@dataclass
class Row:
    section: str
    case: str
    n: int
    times: dict[str, Measurement] = field(default_factory=dict)
    yards: dict[str, Measurement] = field(default_factory=dict)  # per simulator's worker
    yard_units: float = 0.0  # passes a yardstick figure stands for
    loads: dict[str, float] = field(default_factory=dict)  # outside load per worker

    @property
    def yard(self) -> Measurement | None:
        """The yardstick velquin's worker measured: velquin's ratios use it."""
        return self.yards.get(SUBJECT)

    @property
    def outside_load(self) -> float:
        return max(self.loads.values(), default=0.0)


class RowTable:
    """Rows in the order they first appear, merged by (section, case, n)."""

    def __init__(self):
        self._rows: dict[tuple[str, str, int], Row] = {}

    @property
    def rows(self) -> list[Row]:
        return list(self._rows.values())

    def add(self, record: dict) -> tuple[str, str, int]:
        """Merges one worker's row record (workloads.SimRow as a dict)."""
        key = (record["section"], record["case"], record["n"])
        row = self._rows.setdefault(key, Row(*key))
        sim = record["sim"]
        row.times[sim] = Measurement.from_dict(record["time"])
        if record["yard"] is not None:
            row.yards[sim] = Measurement.from_dict(record["yard"])
        if record["yard_units"]:
            row.yard_units = record["yard_units"]
        row.loads[sim] = record["outside_load"]
        return key

    def fail(self, keys: set[tuple[str, str, int]], sim: str, reason: str) -> None:
        """Marks sim's figure in the given rows, where it has none, as reason."""
        for key in keys:
            row = self._rows[key]
            if sim not in row.times:
                row.times[sim] = Measurement(error=reason)
