"""The seven workloads, timed for one simulator inside its own worker process.

Every row's round-robin alternates the simulator's cases with the yardstick
pass over a same-sized array, so the simulator and its yardstick see the same
process, the same machine and the same drift.
"""
from __future__ import annotations

import itertools
import sys
import time
from dataclasses import dataclass
from typing import Iterator

from . import circuits
from .machine_load import OutsideLoad, QuietWaiter
from .profiles import Profile
from .sims.base import Simulator, Timed, Unsupported, first_line
from .timing import Measurement, round_robin
from .yardstick import Yardstick

YARD = "yardstick"
TASKS = ("gates", "random", "qft", "ansatz", "sampling", "calls")
CALL_REGISTER = 2
ANSATZ = "hardware-efficient ansatz"


# A row timed while other processes used more than this share of the CPUs is
# timed again (up to RETRIES more times) unless one attempt would take long.
# Before a worker's first row, and after a disturbed one, the worker waits for
# a quiet machine, within the budget the run has left. Once that budget is
# spent the machine has shown it will not be quiet: rows are timed once (on a
# busy machine four attempts per row made a run last hours and kept the worst).
BUSY_SHARE = 0.10
RETRIES = 3
RETRY_BUDGET_SECONDS = 60.0
QUIET_BUDGET_SECONDS = 1200.0

monitor = OutsideLoad()
quiet = QuietWaiter(QUIET_BUDGET_SECONDS, BUSY_SHARE)


@dataclass
class SimRow:
    """One simulator's figure for one row, with the yardstick it saw."""
    section: str
    case: str
    n: int
    sim: str
    time: Measurement
    yard: Measurement | None = None
    yard_units: float = 0.0  # passes the yardstick figure stands for
    outside_load: float = 0.0


# Whether the next row times the yardstick before the simulator's cases.
_yard_first = itertools.cycle((False, True))


def with_yardstick(cases, yard: Timed | None, reps: int, warm: bool,
                   first_call: bool) -> dict[str, Measurement]:
    """round_robin over the simulator's cases and, in a block of its own just
    before or after (alternately, row by row, so drift cancels), over the
    yardstick. Timed call by call, two thread runtimes would each find the
    other's idle threads still spinning on the cores it needs; the untimed
    first call of a block absorbs that once."""
    if yard is None:
        return round_robin(cases, reps, warm, first_call)
    if next(_yard_first):
        first = round_robin({YARD: yard}, reps, warm)
        return first | round_robin(cases, reps, warm, first_call)
    first = round_robin(cases, reps, warm, first_call)
    return first | round_robin({YARD: yard}, reps, warm)


def measured(cases, reps: int, warm: bool, first_call: bool = True,
             yard: Timed | None = None) -> tuple[dict[str, Measurement], float]:
    """with_yardstick, repeated while outside load disturbed it; the attempt
    with the least outside load is kept, with that load."""
    if all(isinstance(case, str) for case in cases.values()):
        return {name: Measurement(error=case) for name, case in cases.items()}, 0.0
    best = None
    for attempt in range(RETRIES + 1):
        quiet.wait_unless_calm()
        monitor.start()
        began = time.monotonic()
        result = with_yardstick(cases, yard, reps, warm, first_call)
        load = monitor.stop()
        quiet.note(load)
        if best is None or load < best[1]:
            best = (result, load)
        if (load <= BUSY_SHARE or quiet.spent
                or time.monotonic() - began > RETRY_BUDGET_SECONDS):
            break
        if attempt < RETRIES:
            progress(f"  outside load {load:.0%}: timing the row again")
    return best


def progress(text: str) -> None:
    print(text, file=sys.stderr, flush=True)


def hook(fn, *args):
    """fn(*args), or the text of why it cannot run."""
    try:
        return fn(*args)
    except Unsupported as exc:
        return f"n/a: {exc}"
    except Exception as exc:  # noqa: BLE001 - reported in the table
        return first_line(exc)


def batched(call: Timed | str, count: int) -> Timed | str:
    """count calls of `call` timed together; the figure is the time of one.
    (The calls' own return values are not used: no batched hook returns one.)"""
    if isinstance(call, str) or count == 1:
        return call
    steps = range(count)

    def run():
        start = time.perf_counter()
        for _ in steps:
            call()
        return (time.perf_counter() - start) / count

    return run


def runs_task(sim: type[Simulator] | Simulator, task: str) -> bool:
    return task == "sampling" or not sim.sampler_only


def task_ns(task: str, profile: Profile) -> tuple[int, ...]:
    return {"gates": profile.gate_ns, "random": profile.circuit_ns, "qft": profile.qft_ns,
            "ansatz": profile.ansatz_ns, "sampling": profile.sample_ns,
            "calls": (CALL_REGISTER,)}[task]


def gate_rows(profile: Profile, sim: Simulator, yard: Yardstick, n: int) -> Iterator[SimRow]:
    """Workloads 1 and 2: one gate on a live register of n qubits."""
    progress(f"{sim.name}: gates n={n}, preparing the register")
    state = hook(sim.gate_state, n)
    if isinstance(state, str):
        for section, op in circuits.gate_ops(n):
            yield SimRow(section, op.label(), n, sim.name, Measurement(error=state))
        return
    buffer = yard.buffer(n)
    batch = profile.gate_batch(n)
    try:
        for section, op in circuits.gate_ops(n):
            cases = {sim.name: batched(hook(sim.gate_call, state, op), batch)}
            result, load = measured(cases, profile.gate_reps(n), profile.warm(n),
                                    yard=yard.pass_over(buffer, passes=batch))
            yield SimRow(section, op.label(), n, sim.name, result[sim.name], result.get(YARD),
                         1.0, load)
    finally:
        hook(sim.release, state)


def circuit_rows(profile: Profile, sim: Simulator, yard: Yardstick,
                 section: str, n: int, ops: list[circuits.Op]) -> Iterator[SimRow]:
    """Workloads 3, 4 and 5: a whole circuit to a returned state vector, a
    fusing simulator both with fusion off (or its least) and with its default."""
    progress(f"{sim.name}: {section} n={n}, {len(ops)} gates")
    batch = profile.circuit_batch(n)
    cases = {"plain": batched(hook(sim.circuit_runner, n, ops, False), batch)}
    if sim.fuses:
        cases["fused"] = batched(hook(sim.circuit_runner, n, ops, True), batch)
    buffer = yard.buffer(n)
    # Past 22 qubits a spare first run costs minutes and teaches nothing.
    result, load = measured(cases, profile.circuit_reps(n), profile.warm(n),
                            first_call=n <= 22,
                            yard=yard.pass_over(buffer, passes=min(len(ops), 20)))
    del cases, buffer
    for own, label in (("plain", "peers: fusion off"), ("fused", "peers: default fusion")):
        figure = result["fused" if own == "fused" and sim.fuses else "plain"]
        yield SimRow(section, f"{label}, {len(ops)} gates", n, sim.name, figure,
                     result.get(YARD), float(len(ops)), load)


def sampling_rows(profile: Profile, sim: Simulator, yard: Yardstick, n: int) -> Iterator[SimRow]:
    """Workload 6: shots samples of all qubits, from an existing state."""
    progress(f"{sim.name}: sampling n={n}")
    prep = circuits.sampling_prep(n)
    cases = {sim.name: hook(sim.sampler, n, prep, profile.shots)}
    buffer = yard.buffer(n)
    result, load = measured(cases, profile.sample_reps(n), warm=False,
                            yard=yard.pass_over(buffer))
    del cases, buffer
    yield SimRow("sampling", f"{profile.shots:.0e} shots".replace("+0", ""), n, sim.name,
                 result[sim.name], result.get(YARD), 1.0, load)


def call_rows(profile: Profile, sim: Simulator) -> Iterator[SimRow]:
    """Workload 7: many gate calls on a 2-qubit register, one Python call each."""
    for op in circuits.CALL_OPS:
        progress(f"{sim.name}: calls {op.label()}")
        cases = {sim.name: hook(sim.call_loop, op, profile.calls)}
        result, load = measured(cases, profile.call_reps, warm=False)
        yield SimRow("calls", f"{profile.calls:.0e} x {op.label()}".replace("+0", ""),
                     CALL_REGISTER, sim.name, result[sim.name], outside_load=load)


def task_rows(task: str, n: int, profile: Profile, sim: Simulator,
              yard: Yardstick | None) -> Iterator[SimRow]:
    """The rows of one workload at one n, for one simulator."""
    if task == "gates":
        return gate_rows(profile, sim, yard, n)
    if task == "random":
        return circuit_rows(profile, sim, yard, "random circuit", n,
                            circuits.random_layers(n, profile.layers))
    if task == "qft":
        return circuit_rows(profile, sim, yard, "QFT-like circuit", n, circuits.qft_like(n))
    if task == "ansatz":
        return circuit_rows(profile, sim, yard, ANSATZ, n,
                            circuits.hardware_efficient(n, profile.ansatz_layers))
    if task == "sampling":
        return sampling_rows(profile, sim, yard, n)
    if task == "calls":
        return call_rows(profile, sim)
    raise ValueError(f"unknown task {task}")
