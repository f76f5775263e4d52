"""Round-robin repetitions, so slow drift on a shared machine hits a
simulator and its yardstick alike, and the median and minimum of each."""
from __future__ import annotations

import gc
import statistics
import time
from dataclasses import dataclass, field

from .sims.base import Timed, first_line


@dataclass
class Measurement:
    seconds: float | None = None  # the median
    error: str | None = None
    samples: list[float] = field(default_factory=list)
    minimum: float | None = None

    @staticmethod
    def from_dict(data: dict) -> "Measurement":
        return Measurement(**data)


# A pause before each case would let the previous runtime's spinning workers
# go to sleep, but on this VM waking a worker on a long-idle CPU then costs a
# 4 ms scheduler tick in nearly every call, which is worse: no pause.
SETTLE_SECONDS = 0.0


def round_robin(cases: dict[str, Timed | str], reps: int, warm: bool,
                first_call: bool = True) -> dict[str, Measurement]:
    """Times every case reps times, one of each per round, and keeps the
    median and the minimum of each.

    A case given as a string is an error already known (its hook failed). With
    warm, each timed call follows an untimed one, so a state that fits in the
    cache is measured in the cache, for every simulator alike.
    """
    results = {name: Measurement(error=case if isinstance(case, str) else None)
               for name, case in cases.items()}
    live = {name: case for name, case in cases.items() if not isinstance(case, str)}
    for name, case in list(live.items()) if first_call else ():
        try:
            case()  # first call: page faults, lazy imports, thread start
        except Exception as exc:  # noqa: BLE001 - any failure is that case's result
            results[name].error = first_line(exc)
            del live[name]
    gc.disable()
    try:
        for _ in range(reps):
            for name, case in list(live.items()):
                if SETTLE_SECONDS:
                    time.sleep(SETTLE_SECONDS)
                try:
                    if warm:
                        case()
                    start = time.perf_counter()
                    own = case()
                    elapsed = time.perf_counter() - start
                except Exception as exc:  # noqa: BLE001
                    results[name].error = first_line(exc)
                    del live[name]
                    continue
                results[name].samples.append(own if isinstance(own, float) else elapsed)
    finally:
        gc.enable()
    for name in live:
        results[name].seconds = statistics.median(results[name].samples)
        results[name].minimum = min(results[name].samples)
    return results
