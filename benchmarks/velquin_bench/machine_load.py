"""How much CPU other processes took while a row was being timed.

The machine is shared: a compile on one of two cores stalls every two-thread
region by a scheduler tick. Rows disturbed that way are measured again.
"""
from __future__ import annotations

import os
import time


def _busy_ticks() -> int:
    with open("/proc/stat", encoding="ascii") as stat:
        fields = [int(x) for x in stat.readline().split()[1:]]
    idle = fields[3] + (fields[4] if len(fields) > 4 else 0)
    return sum(fields[:8]) - idle


def _own_ticks() -> int:
    with open("/proc/self/stat", encoding="ascii") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime, stime


class OutsideLoad:
    """Share of all CPUs used by other processes between start() and stop()."""

    def __init__(self):
        self._cpus = os.cpu_count() or 1
        self._hz = os.sysconf("SC_CLK_TCK")
        self._start = (0, 0, 0.0)

    def start(self) -> None:
        try:
            self._start = (_busy_ticks(), _own_ticks(), time.monotonic())
        except OSError:
            self._start = (0, 0, 0.0)

    def stop(self) -> float:
        try:
            busy, own, now = _busy_ticks(), _own_ticks(), time.monotonic()
        except OSError:
            return 0.0
        busy0, own0, then = self._start
        seconds = now - then
        if seconds <= 0 or then == 0.0:
            return 0.0
        others = (busy - busy0) - (own - own0)
        return max(0.0, others / self._hz / (seconds * self._cpus))


class QuietWaiter:
    """Waits, within a budget, until other processes leave the CPUs alone, so
    that a row starts on a quiet machine when it can."""

    def __init__(self, budget_seconds: float, share: float):
        self.budget = budget_seconds
        self.share = share
        self.waited = 0.0
        self.calm = False  # the last row ran with outside load at most share

    @property
    def spent(self) -> bool:
        """Whether the whole budget has gone on waiting."""
        return self.waited >= self.budget

    def note(self, load: float) -> None:
        """Records the outside load of the row just timed."""
        self.calm = load <= self.share

    def wait_unless_calm(self) -> None:
        """Waits for quiet unless the last row just showed it: a wait between
        two quiet rows would cost a window per row and teach nothing."""
        if not self.calm and not self.spent:
            self.wait()

    def wait(self, window: float = 0.5, patience: float = 90.0) -> float:
        """Blocks until a window of outside load at most share, at most
        patience seconds (and never past the budget); returns the last load."""
        probe, load, spent = OutsideLoad(), 0.0, 0.0
        while True:
            probe.start()
            time.sleep(window)
            load = probe.stop()
            spent += window
            if load <= self.share or spent >= patience or self.waited + spent >= self.budget:
                self.waited += spent
                return load
