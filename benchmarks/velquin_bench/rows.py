"""The rows of the report: every simulator's figure for one case, gathered
from the workers, each with the yardstick its own worker measured."""
from __future__ import annotations

import json
from dataclasses import dataclass, field
from pathlib import Path

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


def median(m: Measurement | None) -> float | None:
    return m.seconds if m else None


def minimum(m: Measurement | None) -> float | None:
    return m.minimum if m else None


def best_peer(row: Row, precision: dict[str, str], pick=median) -> tuple[str, float] | None:
    found = [(pick(m), name) for name, m in row.times.items()
             if name != SUBJECT and pick(m) is not None and precision.get(name) == "complex128"]
    return (min(found)[1], min(found)[0]) if found else None


def yard_time(row: Row, pick=median, sim: str = SUBJECT) -> float | None:
    """The yardstick sim's worker saw, for the work of the whole row."""
    seconds = pick(row.yards.get(sim))
    return seconds * row.yard_units if seconds else None


def ratios(row: Row, precision: dict[str, str],
           pick=median) -> tuple[float | None, str, float | None]:
    """velquin over the best peer, that peer, velquin over its own yardstick."""
    mine = pick(row.times.get(SUBJECT))
    best = best_peer(row, precision, pick)
    to_peer = mine / best[1] if mine is not None and best and best[1] > 0 else None
    yard = yard_time(row, pick)
    to_yard = mine / yard if mine is not None and yard else None
    return to_peer, best[0] if best else "", to_yard


def load_run(path: str | Path) -> tuple[dict, list[Row]]:
    """The environment and rows of an earlier run's latest.json."""
    data = json.loads(Path(path).read_text())
    rows = []
    for entry in data["rows"]:
        row = Row(entry["section"], entry["case"], entry["n"],
                  yard_units=entry["yard_units"], loads=entry["loads"])
        row.times = {sim: Measurement.from_dict(m) for sim, m in entry["times"].items()}
        row.yards = {sim: Measurement.from_dict(m) for sim, m in entry["yards"].items()}
        rows.append(row)
    return data["environment"], rows
