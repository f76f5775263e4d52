"""The primitives' job, which Ctrl-C stops, and the engine calls it makes.

Qiskit's ``PrimitiveJob`` runs the work in a worker thread, where signal handlers never run, so
the engine's own Ctrl-C check cannot fire there. The job here hands the engine a
``_velquin_native.Cancel`` flag: when the thread waiting in ``result()`` gets a
KeyboardInterrupt, or ``cancel()`` is called, the flag is set and the engine stops at its next
check, in that thread. (An executor's worker processes finish the chunk they hold.)
"""

from __future__ import annotations

import concurrent.futures
import functools
import os
from collections.abc import Callable
from typing import Any, TypeVar

import _velquin_native as native
import numpy as np
import numpy.typing as npt
from qiskit.primitives import PrimitiveJob
from qiskit.providers import JobError, JobStatus
from velquin_adapters import ExpectationJob, SampleJob, ShotsJob, TrajectoryJob

R = TypeVar("R")

_WORKERS = concurrent.futures.ThreadPoolExecutor(thread_name_prefix="velquin_qiskit")
"""Runs the primitives' jobs; the engine releases the interpreter lock, so jobs of several
threads run side by side."""


class CancellableJob(PrimitiveJob):  # type: ignore[misc]
    """A ``PrimitiveJob`` whose running simulation stops on Ctrl-C or ``cancel()``.

    ``function(*args, cancel=flag)`` is the work; it passes ``flag`` to every engine call.
    """

    _future: concurrent.futures.Future[Any] | None

    def __init__(self, function: Callable[..., Any], *args: Any) -> None:
        self._flag = native.Cancel()
        super().__init__(function, *args, cancel=self._flag)

    def _submit(self) -> None:
        # Qiskit's job starts a thread per job; a shared pool reuses idle ones (starting one
        # costs about a millisecond on a busy machine, more than a small job's simulation).
        if self._future is not None:
            raise JobError("Primitive job has been submitted already.")
        self._future = _WORKERS.submit(self._function, *self._args, **self._kwargs)

    def __getstate__(self) -> dict[str, Any]:
        state: dict[str, Any] = super().__getstate__()  # waits for the result
        state["_flag"], state["_kwargs"] = None, {}  # a flag stays in its process
        return state

    def __setstate__(self, state: dict[str, Any]) -> None:
        super().__setstate__(state)
        self._flag = native.Cancel()

    def result(self) -> Any:
        try:
            return super().result()
        except KeyboardInterrupt:
            self._flag.cancel()
            raise

    def cancel(self) -> bool:
        """Stops the job: before it starts, or at the engine's next check while it runs."""
        if self._future is None and self._result is not None:  # unpickled: it has finished
            return False
        self._check_submitted()
        assert self._future is not None
        if self._future.done():
            return False
        self._flag.cancel()
        self._future.cancel()
        return True

    def status(self) -> JobStatus:
        status = super().status()
        if status == JobStatus.ERROR and self._flag.cancelled:
            return JobStatus.CANCELLED
        return status


def sample(job: SampleJob, cancel: native.Cancel | None = None) -> npt.NDArray[np.uint64]:
    """velquin_adapters.sample with a cancel flag (the flag stays in this process)."""
    return job.program.compiled().sample(job.rows, job.shots, list(job.seeds), cancel=cancel)


def expectations(job: ExpectationJob, cancel: native.Cancel | None = None
                 ) -> npt.NDArray[np.complex128]:
    """velquin_adapters.expectations with a cancel flag."""
    if not job.observables:
        return np.zeros((job.rows.shape[0], 0), dtype=np.complex128)
    return job.program.compiled().expectations(
        job.rows, [o.native() for o in job.observables], cancel=cancel)


def run_shots(job: ShotsJob, cancel: native.Cancel | None = None) -> npt.NDArray[np.uint8]:
    """velquin_adapters.run_shots with a cancel flag."""
    return job.program.compiled().run_shots(job.rows, job.shots, list(job.seeds), cancel=cancel)


def trajectory_means(job: TrajectoryJob, cancel: native.Cancel | None = None
                     ) -> npt.NDArray[np.float64]:
    """velquin_adapters.trajectory_means with a cancel flag."""
    if not job.observables:
        return np.zeros((job.rows.shape[0], 0), dtype=np.float64)
    return job.program.compiled().trajectory_means(
        job.rows, job.shots, list(job.seeds), [o.native() for o in job.observables],
        cancel=cancel)


def engine_call(function: Callable[..., R], executor: object, cancel: native.Cancel | None
                ) -> Callable[..., R]:
    """``function`` bound to the flag when it runs here; without it (it does not pickle) when
    an executor's workers run it."""
    return functools.partial(function, cancel=cancel if executor is None else None)


def pieces(executor: object, sets: int) -> int:
    """How many parts to cut ``sets`` parameter sets into: one engine call here; with an
    executor, enough parts that its workers share them (fan_out groups them into chunks)."""
    return 1 if executor is None else max(1, min(sets, 256))


def available_memory() -> int | None:
    """Bytes of memory available now (Linux's MemAvailable, else physical memory), or None."""
    try:
        with open("/proc/meminfo", encoding="ascii") as meminfo:
            for line in meminfo:
                if line.startswith("MemAvailable:"):
                    return int(line.split()[1]) * 1024
    except OSError:
        pass
    try:
        return int(os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE"))
    except (AttributeError, OSError, ValueError):
        return None


def check_memory(needed: int, what: str) -> None:
    """Raises MemoryError, naming the bytes, when ``needed`` bytes cannot fit now."""
    available = available_memory()
    if available is not None and needed > available:
        raise MemoryError(f"{what} needs {needed} bytes of memory for its results; "
                          f"{available} bytes are available")

