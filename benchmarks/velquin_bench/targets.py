"""The speed targets for registers of 10 to 26 qubits, judged from one run:
velquin's median over the fastest complex128 peer's median, row by row, and
velquin at n >= 22 against an earlier run on the same kind of machine."""
from __future__ import annotations

import statistics
from dataclasses import dataclass
from typing import Callable

from .rows import SUBJECT, Row, median, ratios, yard_time
from .workloads import ANSATZ

GATES = ("1q gate", "2q gate")
BLOCKED = ("random circuit", "QFT-like circuit")
CIRCUITS = (*BLOCKED, ANSATZ)
FUSED = "peers: default fusion"
GATE_ROW_LIMIT = 1.25
SLOWER = 1.10  # a row this much slower than before, against its yardstick, is listed


@dataclass(frozen=True)
class Target:
    label: str
    chosen: Callable[[Row], bool]
    row_limit: float  # every row at most this (below it, when strict)
    median_limit: float | None = None  # and the median over the rows at most this
    strict: bool = False

    def exceeds(self, value: float) -> bool:
        return value >= self.row_limit if self.strict else value > self.row_limit

    def judge(self, values: list[float]) -> str:
        med = statistics.median(values)
        if any(self.exceeds(v) for v in values):
            return f"not met (worst row {max(values) / self.row_limit:.2f}x its limit)"
        if self.median_limit is not None and med > self.median_limit:
            return f"not met (median {med / self.median_limit:.2f}x its limit)"
        return "met"


TARGETS = (
    Target("single gates, n = 10 to 22: median <= 1.00, every row <= 1.25",
           lambda r: r.section in GATES and 10 <= r.n <= 22, GATE_ROW_LIMIT, 1.00),
    *(Target(f"{name}, n = 10 to 26, peers with default fusion: every row <= 1.00",
             lambda r, s=name: r.section == s and FUSED in r.case and 10 <= r.n <= 26, 1.00)
      for name in CIRCUITS),
    Target("random and QFT-like circuits, n = 22 to 26, peers with default fusion: "
           "every row <= 0.70",
           lambda r: r.section in BLOCKED and FUSED in r.case and 22 <= r.n <= 26, 0.70),
    Target("calls on a 2-qubit register: every row below every peer",
           lambda r: r.section == "calls", 1.00, strict=True),
)


def _where(row: Row) -> str:
    return f"n = {row.n}" if row.section in CIRCUITS else f"{row.case} at {row.n}"


def _stats(pairs: list[tuple[float, Row]]) -> tuple[str, str]:
    worst = max(pairs, key=lambda p: p[0])
    return (f"{statistics.median(v for v, _ in pairs):.2f}",
            f"{worst[0]:.2f} ({_where(worst[1])})")


def target_table(rows: list[Row], precision: dict[str, str]) -> list[str]:
    lines = ["| target | rows | median | worst | rows over the row limit | verdict |",
             "|---|---|---|---|---|---|"]
    for target in TARGETS:
        chosen = [r for r in rows if target.chosen(r)]
        if not chosen:
            continue
        pairs = [(ratios(r, precision)[0], r) for r in chosen]
        known = [(v, r) for v, r in pairs if v is not None]
        if not known:
            lines.append(f"| {target.label} | {len(chosen)} | n/a | n/a | n/a | no figures |")
            continue
        med, worst = _stats(known)
        values = [v for v, _ in known]
        over = sum(target.exceeds(v) for v in values)
        verdict = target.judge(values)
        if len(known) < len(chosen):
            verdict += f"; {len(chosen) - len(known)} rows n/a"
        lines.append(f"| {target.label} | {len(chosen)} | {med} | {worst} | {over} | {verdict} |")
    return lines


def gates_by_size(rows: list[Row], precision: dict[str, str]) -> list[str]:
    """Per n, velquin over the fastest peer for one- and two-qubit gates."""
    lines = ["| n | 1q: median | 1q: worst | 2q: median | 2q: worst | rows over 1.25 |",
             "|---|---|---|---|---|---|"]
    for n in sorted({r.n for r in rows if r.section in GATES}):
        cells, over = [], 0
        for section in GATES:
            known = [(v, r) for r in rows if r.section == section and r.n == n
                     for v in [ratios(r, precision)[0]] if v is not None]
            cells += list(_stats(known)) if known else ["n/a", "n/a"]
            over += sum(v > GATE_ROW_LIMIT for v, _ in known)
        lines.append(f"| {n} | " + " | ".join(cells) + f" | {over} |")
    return lines


def _own_ratio(row: Row) -> float | None:
    mine, yard = median(row.times.get(SUBJECT)), yard_time(row)
    return mine / yard if mine is not None and yard else None


def against_earlier(rows: list[Row], earlier_env: dict, earlier: list[Row],
                    cpu: str) -> list[str]:
    """velquin's time over its own yardstick at n >= 22, now over then, per
    workload (the yardstick cancels most of the difference between two runs'
    machine states; it cannot cancel a different CPU)."""
    before = {(r.section, r.case, r.n): r for r in earlier}
    text = [f"Against the run of {earlier_env.get('date', '?')} on "
            f"{earlier_env.get('cpu', '?')}"
            + ("" if earlier_env.get("cpu") == cpu else
               f" (a different CPU from this run's {cpu}: not comparable)")
            + f". A value above 1 means velquin is slower now; rows above {SLOWER:.2f} "
            "are counted.", "",
            "| workload | rows | median | worst | rows above the limit |", "|---|---|---|---|---|"]
    sections = []
    for row in rows:
        if row.section not in sections:
            sections.append(row.section)
    for section in sections:
        pairs = []
        for row in rows:
            old = before.get((row.section, row.case, row.n))
            if row.section != section or row.n < 22 or old is None or FUSED in row.case:
                continue
            now, then = _own_ratio(row), _own_ratio(old)
            if now is not None and then is not None:
                pairs.append((now / then, row))
        if pairs:
            med, worst = _stats(pairs)
            above = sum(v > SLOWER for v, _ in pairs)
            text.append(f"| {section} | {len(pairs)} | {med} | {worst} | {above} |")
    if len(text) == 4:
        return text[:2] + ["No row of 22 qubits or more is in both runs."]
    return text
