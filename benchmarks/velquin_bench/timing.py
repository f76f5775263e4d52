"""Round-robin timing on a shared machine, watching what other processes take.

A compile on one of two cores stalls every two-thread region by a scheduler tick (4 to
8 ms). So a worker waits for a quiet machine before a row that follows a disturbed one
(within a budget for the whole run: once spent, the machine has shown it will not be
quiet), and times a row that others disturbed by more than BUSY_SHARE again."""
import gc
import itertools
import os
import statistics
import time

BUSY_SHARE, RETRIES, RETRY_SECONDS = 0.10, 2, 60.0  # a row slower than RETRY_SECONDS is timed once


def _now() -> tuple[int, int, float]:
    """(busy ticks of all CPUs, this process's own ticks with its threads', the time)."""
    with open("/proc/stat", encoding="ascii") as stat:
        cpu = [int(x) for x in stat.readline().split()[1:8]]
    with open("/proc/self/stat", encoding="ascii") as stat:
        own = [int(x) for x in stat.read().rsplit(")", 1)[1].split()[11:15]]
    return sum(cpu) - cpu[3] - cpu[4], sum(own), time.monotonic()


def outside_load(since: tuple[int, int, float]) -> float:
    """The share of all CPUs that other processes used since `since` (a _now())."""
    busy, own, now = _now()
    others = (busy - since[0]) - (own - since[1])
    return max(0.0, others / os.sysconf("SC_CLK_TCK") / ((now - since[2]) * (os.cpu_count() or 1)))


class Quiet:
    def __init__(self, budget: float):
        self.budget, self.waited, self.calm = budget, 0.0, False

    def wait(self, window: float = 0.5, patience: float = 60.0) -> None:
        """Unless the last row was calm: until a window with outside load at most
        BUSY_SHARE, at most `patience` seconds and never past the budget."""
        spent = 0.0
        while not self.calm and spent < patience and self.waited + spent < self.budget:
            since = _now()
            time.sleep(window)
            spent += window
            self.calm = outside_load(since) <= BUSY_SHARE
        self.waited += spent


def _round_robin(calls: dict, reps: int, warm: bool) -> dict[str, list[float] | str]:
    """Each call timed reps times, one of each per round. A call may return its own
    time as a float (batches and the yardstick do); a failure ends that call."""
    found: dict[str, list[float] | str] = {name: [] for name in calls}
    gc.disable()  # a collection that one call triggered would be billed to the next
    try:
        for _, (name, call) in itertools.product(range(reps), calls.items()):
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
    blocks, best = [calls] + ([{"yardstick": yard}] if yard else []), None
    for _ in range(RETRIES + 1):
        quiet.wait()
        since, found = _now(), {}
        for block in blocks[::-1] if yard and next(_yard_first) else blocks:
            found |= _round_robin(block, reps, warm)
        share = outside_load(since)
        quiet.calm = share <= BUSY_SHARE
        best = (found, share) if best is None or share < best[1] else best
        if quiet.calm or quiet.waited >= quiet.budget or time.monotonic() - since[2] > RETRY_SECONDS:
            break
    return best


def batched(call, count: int):
    """count calls back to back; the figure is the time of one."""
    def run():
        start = time.perf_counter()
        for _ in range(count):
            call()
        return (time.perf_counter() - start) / count

    return call if count == 1 else run


def summary(samples: list[float]) -> dict:
    return {"median": statistics.median(samples), "min": min(samples), "samples": samples}
