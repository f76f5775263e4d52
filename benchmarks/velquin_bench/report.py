"""latest.md: the targets' verdicts, then per family its plot and one table per workload."""
from __future__ import annotations

import statistics
from pathlib import Path

from .declare import Target
from .plot import plot
from .table import SUBJECT, Row
from .timing import BUSY_SHARE

SHARE = Target("the adapter's own share of velquin's time: every row <= 20%", limit=0.2, of="share")

NOTES = """\
- Every figure comes from worker processes that load one peer each (`python -m
  velquin_bench.worker`), one at a time, with OMP_NUM_THREADS set to the common thread count
  (and each peer's own thread option to the same count) and BLAS on one thread: the OpenMP
  threads one runtime leaves spinning cannot take a core from the next. Workloads with
  several rounds start fresh workers per round, the peers' order reversed every other round;
  a figure is the median of all timed calls of all rounds.
- A worker makes every configuration's call, calls each once untimed (imports, caches, page
  faults; skipped past 22 qubits), then times them round robin. Below 18 qubits a gate sample
  is 2^(18-n) calls back to back and a circuit sample 2^(15-n) runs, the figure the time of
  one; where the state fits the cache (n <= 21) each timed call follows an untimed one.
- Each worker waits for a quiet machine (other processes taking at most 10% of the CPUs in
  half a second) before a row that follows a disturbed one, within a budget for the whole
  run, and times a disturbed row again, keeping the least disturbed attempt; a † marks a row
  where others still took more than 10%.
- The yardstick is one read-modify-write pass over the register's 16 x 2^n bytes with the
  same threads (`yardstick/rmw_pass.cpp`), timed by velquin's worker in a block of its own
  just before or after the row; "velquin / yardstick" divides by that pass times the row's
  gate count (1 for single gates and sampling).
- Agreement: each configuration's first result, reduced to 256 amplitudes at fixed indices
  (compared after the best global phase, relative to their norm), to the distribution of
  the lowest four classical bits (total variation distance), or to its values (largest
  difference), against velquin's; **MISMATCH** marks one above the workload's tolerance.
- The adapter's share: one more velquin call under cProfile, the time spent in
  velquin_qiskit, velquin_cirq, velquin_pennylane and velquin_adapters (with what they call)
  less the time in velquin's native methods, over the call. Profiling slows Python more than
  native code, so the share errs high.
- "velquin / default" divides velquin (its fastest configuration) by the fastest peer at its
  default; "velquin / best" by the fastest peer column of all. Targets name their reference;
  "best" and "default" there count complex128 peers only (qsim keeps complex64 amplitudes).
"""


def fmt(seconds: float | None) -> str:
    if seconds is None:
        return "n/a"
    ms = seconds * 1e3
    return f"{ms:,.0f}" if ms >= 100 else f"{ms:.1f}" if ms >= 10 else f"{ms:.3g}"


class Footnotes(list):
    def mark(self, text: str) -> str:
        if text not in self:
            self.append(text)
        return f"{text.split(':', 1)[0]}[^{self.index(text) + 1}]"


def columns(workload, rows: list[Row]) -> list[str]:
    declared = [f"{p} {c}" for p, configs in workload.peers.items() for c in configs]
    return [c for c in declared if any(c in r.cells for r in rows)]


def judge(target: Target, rows: list[Row], precision: dict) -> list[str] | None:
    chosen = [r for r in rows if target.where(r)]
    if not chosen:
        return None
    values = [(v, r) for r in chosen for v in [r.share() if target.of == "share" else
                                               (r.ratio(target.vs, precision) or (None,))[0]] if v is not None]
    missing = len(chosen) - len(values)
    if not values:
        mine = next((c.get("error", "") for r in chosen for col, c in r.cells.items()
                     if col.startswith(SUBJECT) and "error" in c), "")
        return [str(len(chosen)), "n/a", "n/a", f"no figures{f' (velquin {mine[:80]})' if mine else ''}"]
    numbers = [v for v, _ in values]
    worst, med = max(values, key=lambda p: p[0]), statistics.median(numbers)
    over = sum(v >= target.limit if target.strict else v > target.limit for v in numbers)
    verdict = (f"not met ({over} rows over)" if over else
               f"not met (median {med:.2f})" if target.median is not None and med > target.median else "met")
    where = f"{worst[1].case} n = {worst[1].n}".strip()
    fmt_value = (lambda v: f"{v:.0%}") if target.of == "share" else (lambda v: f"{v:.2f}")
    return [str(len(chosen)), fmt_value(med), f"{fmt_value(worst[0])} ({where})",
            verdict + (f"; {missing} rows without a figure" if missing else "")]


def targets(workloads, rows: list[Row], precision: dict) -> list[str]:
    lines = ["| family | target | rows | median | worst | verdict |", "|---|---|---|---|---|---|"]
    for family in dict.fromkeys(w.family for w in workloads):
        mine = [w for w in workloads if w.family == family]
        checks = [(t, [r for r in rows if r.workload == w.name]) for w in mine for t in w.targets]
        profiled = [r for r in rows if r.family == family and r.share() is not None]
        for target, chosen in checks + ([(SHARE, profiled)] if profiled else []):
            verdict = judge(target, chosen, precision)
            if verdict:
                lines.append(f"| {family} | {target.label} | " + " | ".join(verdict) + " |")
    return lines


def workload_table(workload, rows: list[Row], precision: dict, notes: Footnotes) -> list[str]:
    cols, has_case, yard = columns(workload, rows), any(r.case for r in rows), any(r.yard for r in rows)
    head = (["case"] if has_case else []) + ["n"] + [f"{c} ms" for c in cols] + [
        "velquin / default", "velquin / best"] + (["yardstick ms", "velquin / yardstick"] if yard else []) + (
        ["adapter share"] if workload.profile else []) + (["agreement"] if workload.check else [])
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for r in rows:
        cells = ([r.case + (" †" if r.load > BUSY_SHARE else "")] if has_case else []) + [
            str(r.n) + ("" if has_case or r.load <= BUSY_SHARE else " †")]
        for c in cols:
            cell = r.cells.get(c, {})
            cells.append(fmt(cell["median"]) if "median" in cell else notes.mark(cell["error"]) if cell else "")
        for vs in ("default", "best"):
            ratio = r.ratio(vs, precision, strict_precision=False)
            cells.append(f"{ratio[0]:.2f} ({ratio[1]})" if ratio else "n/a")
        if yard:
            mine, floor = r.velquin(), (r.yard or {}).get("median", 0) * r.yard_units
            cells += [fmt(floor or None), f"{mine[0] / floor:.2f}" if mine and floor else "n/a"]
        if workload.profile:
            cells.append(f"{r.share():.0%}" if r.share() is not None else "")
        if workload.check:
            found = r.agreement(workload.check)
            cells.append("" if found is None else f"{found[0]:.1e}"
                         + (" **MISMATCH**" if found[0] > workload.tolerance else ""))
        lines.append("| " + " | ".join(cells) + " |")
    return lines


def write(out: Path, env: dict, rows: list[Row], workloads) -> None:
    out.mkdir(parents=True, exist_ok=True)
    precision = {p: v["precision"] for p, v in env["versions"].items()}
    notes = Footnotes()
    lines = ["# velquin against its peers", "",
             f"`{env['command']}` on {env['date']}: {'quick' if env['quick'] else 'full'} run, "
             f"{env['minutes']:.1f} minutes ({env['quiet_minutes']:.1f} of them waiting for a quiet "
             f"machine; load average {env['load']} at the start). {env['cpu']}, {env['cpus']} logical "
             f"CPUs, {env['memory_gib']} GiB, Python {env['python']}; every peer with "
             f"**{env['threads']} threads**. Yardstick built with `{env['yardstick'] or '?'}`.", "",
             "Times are milliseconds, medians; lower is better. A ratio below 1 means velquin is "
             "faster. These figures come from one run: compare ratios, not times across runs.", "",
             "| peer | version | amplitudes |", "|---|---|---|"]
    lines += [f"| {p} | {v['version']} | {v['precision']} |" for p, v in env["versions"].items()]
    lines += ["", "## Targets", ""] + targets(workloads, rows, precision)
    for family in dict.fromkeys(r.family for r in rows):
        mine = [w for w in workloads if w.family == family]
        plot(family, mine, rows, precision, out / f"{family}.png")
        lines += ["", f"## {family}", "", f"![velquin over the fastest peer]({family}.png)"]
        for w in mine:
            chosen = [r for r in rows if r.workload == w.name]
            if chosen:
                lines += ["", f"### {w.name}", "", f"Timed: {w.what}.", ""]
                lines += workload_table(w, chosen, precision, notes)
    lines += ["", "## How the figures are taken", "", NOTES]
    if notes:
        lines += ["## Why a cell has no figure", ""] + [f"[^{i + 1}]: {t}" for i, t in enumerate(notes)]
    (out / "latest.md").write_text("\n".join(lines) + "\n")
