"""Round-robin timing on a shared machine, watching what other processes take.

The machine is shared: a compile on one of two cores stalls every two-thread
region by a scheduler tick (4 to 8 ms). So a worker waits for a quiet machine
before its first row and after a disturbed one (within a budget for the whole
run: once it is spent the machine has shown it will not be quiet), and a row
that others disturbed by more than BUSY_SHARE of the CPUs is timed again, the
least disturbed attempt kept.
"""
from __future__ import annotations

import gc
import itertools
import os
import statistics
import time

BUSY_SHARE = 0.10
RETRIES = 2
RETRY_SECONDS = 60.0  # a row whose attempt takes longer is timed once


def _ticks() -> tuple[int, int]:
    """(busy ticks of all CPUs, this process's own ticks)."""
    with open("/proc/stat", encoding="ascii") as stat:
        cpu = [int(x) for x in stat.readline().split()[1:8]]
    with open("/proc/self/stat", encoding="ascii") as stat:
        own = stat.read().rsplit(")", 1)[1].split()
    return sum(cpu) - cpu[3] - cpu[4], int(own[11]) + int(own[12]) + int(own[13]) + int(own[14])


class Load:
    """Share of all CPUs that other processes used since the last start()."""

    def start(self) -> None:
        self.begin = (*_ticks(), time.monotonic())

    def stop(self) -> float:
        busy, own, now = *_ticks(), time.monotonic()
        seconds = now - self.begin[2]
        others = (busy - self.begin[0]) - (own - self.begin[1])
        return max(0.0, others / os.sysconf("SC_CLK_TCK") / (seconds * (os.cpu_count() or 1)))


class Quiet:
    def __init__(self, budget: float):
        self.budget, self.waited, self.calm = budget, 0.0, False

    def wait(self, window: float = 0.5, patience: float = 60.0) -> None:
        """Until a window with outside load at most BUSY_SHARE, unless the last row
        was calm; at most `patience` seconds and never past the budget."""
        spent, probe = 0.0, Load()
        while not self.calm and spent < patience and self.waited + spent < self.budget:
            probe.start()
            time.sleep(window)
            spent += window
            self.calm = probe.stop() <= BUSY_SHARE
        self.waited += spent


def _round_robin(calls: dict, reps: int, warm: bool) -> dict[str, list[float] | str]:
    """Each call timed reps times, one of each per round. A call may return its own
    time as a float (batches and the yardstick do); a failure ends that call."""
    found: dict[str, list[float] | str] = {name: [] for name in calls}
    gc.disable()  # a collection triggered by one call would be billed to the next
    try:
        for _ in range(reps):
            for name, call in calls.items():
                if isinstance(found[name], str):
                    continue
                try:
                    if warm:
                        call()
                    start = time.perf_counter()
                    own = call()
                    found[name].append(own if isinstance(own, float) else time.perf_counter() - start)
                except Exception as exc:  # noqa: BLE001 - that call's result
                    found[name] = f"{type(exc).__name__}: {str(exc).strip()[:200]}"
    finally:
        gc.enable()
    return found


_yard_first = itertools.cycle((False, True))


def measure(calls: dict, reps: int, warm: bool, quiet: Quiet, yard=None):
    """(samples or error per call, outside load). The yardstick, if any, runs in a
    block of its own just before or after the calls, alternately row by row: two
    OpenMP runtimes timed call by call would each find the other's threads spinning."""
    best = None
    for attempt in range(RETRIES + 1):
        quiet.wait()
        load, began = Load(), time.monotonic()
        load.start()
        blocks = [calls] + ([{"yardstick": yard}] if yard else [])
        found = {}
        for block in (blocks[::-1] if yard and next(_yard_first) else blocks):
            found |= _round_robin(block, reps, warm)
        share = load.stop()
        quiet.calm = share <= BUSY_SHARE
        if best is None or share < best[1]:
            best = (found, share)
        if quiet.calm or quiet.waited >= quiet.budget or time.monotonic() - began > RETRY_SECONDS:
            break
    return best


def batched(call, count: int):
    """count calls back to back; the figure is the time of one."""
    if count == 1:
        return call

    def run():
        start = time.perf_counter()
        for _ in range(count):
            call()
        return (time.perf_counter() - start) / count

    return run


def summary(samples: list[float]) -> dict:
    return {"median": statistics.median(samples), "min": min(samples), "samples": samples}
