"""The rows of a run: every peer configuration's figure for one case, merged over
the workers and rounds that timed it, and the ratios the report and targets use.
A column is "peer configuration", e.g. "Aer fusion off"."""
from __future__ import annotations

import statistics
from dataclasses import dataclass, field

from .checks import difference

SUBJECT = "velquin"


def peer_of(column: str) -> str:
    return column.split(" ", 1)[0]


@dataclass
class Row:
    workload: str
    family: str
    case: str
    n: int
    cells: dict[str, dict] = field(default_factory=dict)
    yard: dict | None = None  # velquin's worker's yardstick: one pass over the register
    yard_units: float = 0.0  # passes the row's work is worth
    load: float = 0.0  # the most that other processes took while any worker timed it

    def add(self, peer: str, record: dict) -> None:
        for config, cell in record["cells"].items():
            mine = self.cells.setdefault(f"{peer} {config}", {})
            if "median" in cell:  # rounds pool their samples; the first digest and share stay
                samples = mine.get("samples", []) + cell["samples"]
                mine.update({k: v for k, v in cell.items() if k not in mine}, samples=samples,
                            median=statistics.median(samples), min=min(samples))
                mine.pop("error", None)
            elif "median" not in mine:
                mine["error"] = cell["error"]
        if peer == SUBJECT and record.get("yard"):
            self.yard, self.yard_units = record["yard"], record["yard_units"]
        self.load = max(self.load, record.get("load", 0.0))

    def time(self, column: str) -> float | None:
        return self.cells.get(column, {}).get("median")

    def velquin(self) -> tuple[float, str] | None:
        """velquin at its fastest configuration in this row."""
        found = [(t, c) for c in self.cells if peer_of(c) == SUBJECT for t in [self.time(c)] if t]
        return min(found) if found else None

    def reference(self, vs: str, precision: dict[str, str], strict_precision: bool = True):
        """The fastest peer column that vs names (see declare.Target): (seconds, column)."""
        def named(column: str) -> bool:
            peer, config = column.split(" ", 1)
            if vs in ("best", "default"):
                wide = not strict_precision or precision.get(peer) == "complex128"
                return wide and (vs == "best" or config == "default")
            return vs in (column, peer)

        found = [(t, c) for c in self.cells if peer_of(c) != SUBJECT and named(c)
                 for t in [self.time(c)] if t]
        return min(found) if found else None

    def ratio(self, vs: str, precision: dict[str, str], strict_precision: bool = True):
        mine, theirs = self.velquin(), self.reference(vs, precision, strict_precision)
        return (mine[0] / theirs[0], theirs[1]) if mine and theirs else None

    def share(self) -> float | None:
        mine = self.velquin()
        return self.cells[mine[1]].get("share") if mine else None

    def agreement(self, kind: str) -> tuple[float, str] | None:
        """The largest difference of any column's result from velquin's (or the first's)."""
        digests = {c: cell["digest"] for c, cell in self.cells.items() if cell.get("digest")}
        if not kind or len(digests) < 2:
            return None
        ref = next((c for c in digests if peer_of(c) == SUBJECT), next(iter(digests)))
        worst = max((difference(kind, digests[ref], d), c) for c, d in digests.items() if c != ref)
        return worst
