"""A row: every peer configuration's figure for one case (a column, "Aer fusion off"),
merged over the workers and rounds that timed it, and the ratios the report and targets use."""
import statistics
from dataclasses import dataclass, field

from .checks import difference


@dataclass
class Row:
    workload: str
    family: str
    case: str
    n: int
    cells: dict[str, dict] = field(default_factory=dict)
    yard: dict | None = None  # velquin's worker's yardstick: one pass over the register
    yard_units: float = 0.0  # the passes the row's work is worth
    load: float = 0.0  # the most that other processes took while any worker timed it
    defaults: frozenset = frozenset()  # each peer's default column: its first declared configuration

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
        if peer == "velquin" and record.get("yard"):
            self.yard, self.yard_units = record["yard"], record["yard_units"]
        self.load = max(self.load, record.get("load", 0.0))

    def fastest(self, named) -> tuple[float, str] | None:
        """(seconds, column) of the fastest column named(column) accepts."""
        found = [(cell["median"], c) for c, cell in self.cells.items() if "median" in cell and named(c)]
        return min(found) if found else None

    def velquin(self):
        return self.fastest(lambda c: c.startswith("velquin "))

    def ratio(self, vs: str, precision: dict[str, str], strict_precision: bool = True):
        """velquin at its fastest over the fastest peer column vs names (see declare.Target)."""
        def named(column: str) -> bool:
            peer, config = column.split(" ", 1)
            if vs in ("best", "default"):
                wide = not strict_precision or precision.get(peer) == "complex128"
                return peer != "velquin" and wide and (vs == "best" or column in self.defaults)
            return vs in (column, peer)

        mine, theirs = self.velquin(), self.fastest(named)
        return (mine[0] / theirs[0], theirs[1]) if mine and theirs else None

    def share(self) -> float | None:
        mine = self.velquin()
        return self.cells[mine[1]].get("share") if mine else None

    def agreement(self, kind: str) -> tuple[float, str] | None:
        """The largest difference of any column's result from velquin's (or the first's)."""
        digests = {c: cell["digest"] for c, cell in self.cells.items() if cell.get("digest")}
        if not kind or len(digests) < 2:
            return None
        ref = next((c for c in digests if c.startswith("velquin ")), next(iter(digests)))
        return max((difference(kind, digests[ref], d), c) for c, d in digests.items() if c != ref)
