"""latest.md (tables of times and ratios), latest.json (every sample) and the plot."""
from __future__ import annotations

import dataclasses
import json
import math
import statistics
from pathlib import Path

from .agreement import Agreement
from .environment import Environment
from .rows import SUBJECT, Row, minimum, ratios, yard_time
from .targets import against_earlier, gates_by_size, target_table
from .workloads import ANSATZ, BUSY_SHARE

PEERS = ("Aer", "qulacs", "qsim", "Lightning", "NumPy")
SECTIONS = ("1q gate", "2q gate", "random circuit", "QFT-like circuit", ANSATZ, "sampling",
            "calls")

TIMING_NOTES = """\
- Every simulator runs in worker processes of its own, one process per
  workload and n, one process at a time, so no other simulator's runtime
  (its OpenMP or BLAS threads, still spinning after a parallel region) can
  take a core from it. BLAS gets one thread in every worker (no timed work
  uses it). The workers of one workload and n run one after another, velquin
  first.
- Within a worker, a row times the simulator's cases round-robin (each
  repetition times every case once, in turn) and the yardstick in a block of
  its own just before or just after them, alternately from row to row, so
  drift hits both alike. Timed call by call, the two thread runtimes would
  each find the other's idle threads still spinning on the cores they need;
  an untimed first call of each block absorbs that once (circuits past 22
  qubits skip it for the simulator, whose seconds dwarf it). The tables show
  medians; ratios are velquin's median over another median of the same run.
  The summary also gives the ratios of the minima, the figures least
  disturbed by a noisy machine.
- **best peer** is the fastest peer in complex128. qsim keeps complex64
  amplitudes (half the bytes per gate), so its column is shown but it is not a
  candidate for best peer.
- **yardstick**: one in-place read-modify-write pass (every double multiplied by
  1.0) over 16 x 2^n bytes with the same thread count, timed next to the
  row as above; for circuits the column is gate count x one pass, so a ratio
  below 1 means less than one memory pass per gate. Every worker measures it;
  the tables show the one velquin's worker saw, which velquin's ratio uses,
  and "Yardstick seen by each worker" shows the others.
- Single gates (1q, 2q): a register of n qubits in |+>^n, made before timing;
  each timed call applies one gate. velquin: `sv.h(q)` etc.; Aer:
  `AerState.apply_*` (rz as `apply_diagonal`; sx, rx, ry as `apply_unitary`)
  plus `flush()`, since AerState buffers operations; qulacs: a prebuilt gate's
  `update_quantum_state`; Lightning: the method of its `StateVectorC128`
  register. qsim has no live register (each call simulates a whole circuit
  into a new vector), so it has no single-gate figure. `*_cpp` rows run
  velquin's kernel-backed methods against the peers' plain gate.
- Below 18 qubits a gate takes microseconds, so one sample times 2^(18 - n)
  calls of the same gate back to back (256 at n = 10) and the figure is the
  time of one call, Python call included; circuits below 15 qubits likewise
  time 2^(15 - n) runs per sample. The yardstick is timed the same way.
- Where the state fits in the last-level cache (n <= 21) each timed call
  follows an untimed one. At n = 20 one gate takes about 0.3 ms, and a
  two-thread region that loses a core to anything else waits a scheduler
  tick (4 to 8 ms): single-gate rows at n = 20 can show such stalls for the
  OpenMP-based simulators and the yardstick; n >= 24 rows are the reliable ones.
- Circuits: the layered random circuit (per layer rx and rz on every qubit,
  then cx on a brick pattern; 4 layers), the QFT-like circuit (H and
  controlled phases written as rz and cx) and the hardware-efficient ansatz
  (per layer ry and rz on every qubit, then cz on (0,1), (1,2), ...,
  (n-2,n-1); 6 layers); from |0...0> to a state vector handed back to Python. velquin:
  `QuantumCircuit.statevector()`; Aer: `AerSimulator.run` of a circuit ending
  in `save_statevector` (includes Aer's circuit conversion); qulacs: new
  `QuantumState`, `QuantumCircuit.update_quantum_state`, `get_vector`;
  Lightning: its register's methods called in a loop, then `getState`; qsim:
  `qsim_simulate_fullstate` on a circuit translated beforehand. Fusion off:
  Aer `fusion_enable=False`, qulacs without its optimiser, qsim
  `max_fused_gate_size=1` (its least); default fusion: Aer's default, qulacs
  after `QuantumCircuitOptimizer().optimize(circuit, 2)` (done before
  timing), qsim's default size 2. Lightning and velquin do not fuse: the same
  measurement appears in both rows.
- Sampling: all qubits of a product state (ry with a different angle on each
  qubit), made before timing. velquin `measure_counts` (a dict of bitstrings);
  Aer `AerState.sample_counts` (a dict); qulacs `QuantumState.sampling` (a
  list of indices, no counting); Lightning `generate_samples` (an array of
  bits); qsim `qsim_sample_final`, which also simulates the preparation (one layer of
  ry, fused); NumPy
  weights |a|^2, `Generator.choice` and `np.unique(return_counts=True)`.
- Each worker watches the CPU time other processes take (the machine is
  shared, and a busy core stalls any two-thread region by a scheduler tick
  of 4 to 8 ms). Before its first row, and after a row that others
  disturbed, it waits, within a budget of 20 minutes per run, for a
  half-second window in which others took at most 10% of the CPUs; a row
  during which they took more is timed again, up to three times (unless one
  attempt takes over a minute, or the budget is spent: then every row is
  timed once); the attempt with the least outside load is kept, and a †
  marks a row where any worker stayed above 10%.
- Calls: a Python loop of single-gate calls on a 2-qubit register, the peers'
  cheapest per-gate call (Aer: the buffered `apply_*` calls and one final
  `flush`). qsim has no per-gate call.
"""


def fmt_time(seconds: float | None) -> str:
    if seconds is None:
        return "n/a"
    ms = seconds * 1e3
    if ms >= 100:
        return f"{ms:.0f}"
    if ms >= 10:
        return f"{ms:.1f}"
    if ms >= 1:
        return f"{ms:.2f}"
    return f"{ms:.3g}"  # three significant digits down to microsecond gates


class Footnotes:
    def __init__(self):
        self.texts: list[str] = []

    def mark(self, text: str) -> str:
        if text not in self.texts:
            self.texts.append(text)
        return f"[^e{self.texts.index(text) + 1}]"

    def render(self) -> list[str]:
        return [f"[^e{i + 1}]: {text}" for i, text in enumerate(self.texts)]


def section_table(rows: list[Row], precision: dict[str, str], notes: Footnotes) -> list[str]:
    peers = [p for p in PEERS if any(p in r.times for r in rows)]
    has_yard = any(r.yard for r in rows)
    head = ["workload", "n", f"{SUBJECT} ms", *[f"{p} ms" for p in peers], "velquin / best peer"]
    if has_yard:
        head += ["yardstick ms", "velquin / yardstick"]
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for row in rows:
        disturbed = " †" if row.outside_load > BUSY_SHARE else ""
        cells = [row.case + disturbed, str(row.n)]
        for name in (SUBJECT, *peers):
            m = row.times.get(name)
            if m is None:
                cells.append("")
            elif m.seconds is None:
                cells.append("n/a" + notes.mark(f"{name}: {m.error}"))
            else:
                cells.append(fmt_time(m.seconds))
        to_peer, peer, to_yard = ratios(row, precision)
        cells.append(f"{to_peer:.2f} ({peer})" if to_peer is not None else "n/a")
        if has_yard:
            cells.append(fmt_time(yard_time(row)))
            cells.append(f"{to_yard:.2f}" if to_yard is not None else "n/a")
        lines.append("| " + " | ".join(cells) + " |")
    return lines


def summary(rows: list[Row], precision: dict[str, str]) -> list[str]:
    lines = ["| workload | rows | velquin / best peer: median, worst "
             "| of minima: median, worst | velquin / yardstick: median, worst "
             "| of minima: median, worst |",
             "|---|---|---|---|---|---|"]

    def stat(values):
        values = [x for x in values if x is not None]
        return f"{statistics.median(values):.2f}, {max(values):.2f}" if values else "n/a"

    for section in SECTIONS:
        for big_only in ((True, False) if section.endswith("gate") else (False,)):
            chosen = [r for r in rows if r.section == section and (not big_only or r.n >= 24)]
            if not chosen:
                continue
            of_medians = [ratios(r, precision) for r in chosen]
            of_minima = [ratios(r, precision, minimum) for r in chosen]
            label = section + (" (n >= 24)" if big_only else "")
            cells = [stat(r[0] for r in of_medians), stat(r[0] for r in of_minima),
                     stat(r[2] for r in of_medians), stat(r[2] for r in of_minima)]
            lines.append(f"| {label} | {len(chosen)} | " + " | ".join(cells) + " |")
    return lines


def yardsticks(rows: list[Row], order: list[str]) -> list[str]:
    """Per workload and n, the median over its rows of the one-pass
    yardstick each simulator's worker saw, simulators in the given order."""
    sims = [name for name in order if any(name in r.yards for r in rows)]
    lines = ["| workload | n | " + " | ".join(f"{s} ms" for s in sims) + " |",
             "|---|---|" + "---|" * len(sims)]
    groups: dict[tuple[str, int], list[Row]] = {}
    for row in rows:
        if row.yards:
            groups.setdefault((row.section, row.n), []).append(row)
    for (section, n), chosen in groups.items():
        cells = []
        for sim in sims:
            seen = [r.yards[sim].seconds for r in chosen
                    if sim in r.yards and r.yards[sim].seconds is not None]
            cells.append(fmt_time(statistics.median(seen)) if seen else "")
        lines.append(f"| {section} | {n} | " + " | ".join(cells) + " |")
    return lines


def markdown(env: Environment, reference: str, agreements: list[Agreement], rows: list[Row],
             earlier: tuple[dict, list[Row]] | None = None) -> str:
    precision = {s.name: s.precision for s in env.sims}
    notes = Footnotes()
    out = ["# velquin against its peers: latest results", ""]
    out += [f"Produced by `{env.command}` on {env.date} ({env.profile} profile, "
            f"{env.wall_seconds / 60:.1f} minutes, of which {env.quiet_wait_seconds / 60:.1f} "
            f"waiting for other processes to leave the CPUs; load average at the start "
            f"{env.load_average}).", "",
            f"Machine: {env.cpu}, {env.cores} logical CPUs, {env.memory_gib:.0f} GiB; "
            f"Python {env.python}. Every simulator ran with **{env.threads} threads** "
            "(OMP_NUM_THREADS for velquin, qulacs and Lightning; `max_parallel_threads` for "
            "Aer; `cpu_threads` for qsim; `num_threads` for the yardstick), in worker "
            "processes of its own, next to the yardstick, with OPENBLAS_NUM_THREADS=1.", "",
            f"Yardstick built with `{env.yardstick_flags}`.", "",
            "Times are milliseconds; lower is better. A ratio below 1 means velquin is faster.", "",
            "![time against qubit count](latest.png)", "", "## Simulators", "",
            "| simulator | version | amplitudes |", "|---|---|---|"]
    out += [f"| {s.name} | {s.version} | {s.precision} |" for s in env.sims]
    out += ["", "## Summary", ""] + summary(rows, precision)
    out += ["", "## Targets", "",
            "velquin's median over the fastest complex128 peer's median, row by row "
            "(circuits: the peers with their default fusion).", ""]
    out += target_table(rows, precision)
    out += ["", "Single gates by register size (velquin / fastest peer):", ""]
    out += gates_by_size(rows, precision)
    if earlier is not None:
        out += ["", "### Registers of 22 qubits or more against an earlier run", ""]
        out += against_earlier(rows, *earlier, env.cpu)
    out += ["", "## Agreement before timing", ""]
    if not reference:
        out.append("No simulator ran the gate lists, so none could be checked.")
    elif not agreements:
        out.append(f"Only {reference} ran the gate lists: nothing to compare.")
    else:
        out += [f"Each simulator ran the gate lists on 6 qubits; the largest difference of "
                f"any amplitude from {reference}'s:", "",
                "| simulator | check | max difference |", "|---|---|---|"]
    for a in agreements:
        value = f"{a.max_difference:.1e}" if a.max_difference is not None else a.note
        out.append(f"| {a.simulator} | {a.check} | {value}{'' if a.ok or a.max_difference is None else ' **MISMATCH**'} |")
    for section in SECTIONS:
        chosen = [r for r in rows if r.section == section]
        if chosen:
            out += ["", f"## {section}", ""] + section_table(chosen, precision, notes)
    if any(r.yards for r in rows):
        out += ["", "## Yardstick seen by each worker", "",
                "One pass over 16 x 2^n bytes, median over the rows of each workload and n "
                "(every row's figure is in latest.json). Similar figures mean the workers "
                "ran on a similar machine.", ""] + yardsticks(rows, [s.name for s in env.sims])
    out += ["", "## How each figure was taken", "", TIMING_NOTES]
    if notes.texts:
        out += ["", "## Why a cell is n/a", ""] + notes.render()
    return "\n".join(out) + "\n"


def to_json(env: Environment, reference: str, agreements: list[Agreement], rows: list[Row]) -> str:
    def clean(value):
        if isinstance(value, float) and not math.isfinite(value):
            return None
        return value

    data = {"environment": dataclasses.asdict(env), "reference": reference,
            "agreement": [dataclasses.asdict(a) for a in agreements],
            "rows": [dataclasses.asdict(r) for r in rows]}
    return json.dumps(data, indent=1, default=clean)


def write_all(out_dir: str, env: Environment, reference: str,
              agreements: list[Agreement], rows: list[Row],
              earlier: tuple[dict, list[Row]] | None = None) -> None:
    from .plot import plot

    out = Path(out_dir)
    out.mkdir(parents=True, exist_ok=True)
    (out / "latest.json").write_text(to_json(env, reference, agreements, rows))
    plot(rows, out / "latest.png", env.threads)
    (out / "latest.md").write_text(markdown(env, reference, agreements, rows, earlier))
