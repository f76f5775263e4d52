"""Independent jobs over an executor: serial, a concurrent.futures pool, or a Dask cluster.

Jobs go out in a few contiguous chunks per worker (one task per job would
cost more in scheduling than a small simulation takes). In a worker process
each chunk first sets OMP_NUM_THREADS=1, which velquin reads when its thread
pool starts, so processes filling the cores do not also fight over threads.
Results come back in job order; since every job carries its own seed, they are
the results of a serial run.
"""

from __future__ import annotations

import concurrent.futures
import os
import socket
from collections.abc import Callable, Sequence
from typing import Any, Protocol, TypeVar, runtime_checkable

T = TypeVar("T")
R = TypeVar("R")

CHUNKS_PER_WORKER = 4


@runtime_checkable
class DaskClientLike(Protocol):
    """What is used of ``dask.distributed.Client`` (duck-typed: Dask is never imported)."""

    def submit(self, func: Callable[..., Any], *args: Any, **kwargs: Any) -> Any: ...
    def gather(self, futures: Any) -> Any: ...
    def nthreads(self) -> dict[str, int]: ...


Executor = concurrent.futures.Executor | DaskClientLike | None
"""None runs jobs in the calling process, one after another."""


def _process_id() -> str:
    return f"{socket.gethostname()}:{os.getpid()}"


def _run_chunk(function: Callable[[T], R], chunk: Sequence[T], submitter: str) -> list[R]:
    if _process_id() != submitter:
        # A worker process: one gate thread each. velquin fixes its thread count when its
        # pool first starts, so this holds for every worker that has not simulated before.
        os.environ["OMP_NUM_THREADS"] = "1"
    return [function(item) for item in chunk]


def _worker_count(executor: concurrent.futures.Executor | DaskClientLike) -> int:
    if isinstance(executor, concurrent.futures.Executor):
        workers = getattr(executor, "_max_workers", None)
        return workers if isinstance(workers, int) and workers > 0 else os.cpu_count() or 1
    return max(1, sum(executor.nthreads().values()))


def _chunks(items: Sequence[T], count: int) -> list[Sequence[T]]:
    size, extra = divmod(len(items), count)
    bounds = [0]
    for i in range(count):
        bounds.append(bounds[-1] + size + (1 if i < extra else 0))
    return [items[bounds[i]:bounds[i + 1]] for i in range(count) if bounds[i] < bounds[i + 1]]


def fan_out(function: Callable[[T], R], items: Sequence[T], executor: Executor = None) -> list[R]:
    """``[function(item) for item in items]``, computed on ``executor``.

    ``executor`` is None (serial, in this process), any
    ``concurrent.futures.Executor``, or a ``dask.distributed.Client``. For the
    last two, ``function`` must be picklable (a module-level function or a
    ``functools.partial`` of one) and so must the items and results. A Dask
    cluster's workers are best started with one thread each
    (``LocalCluster(threads_per_worker=1)``, ``dask worker --nthreads 1``).
    A worker's exception is raised here.
    """
    if executor is None or len(items) == 0:
        return [function(item) for item in items]
    chunks = _chunks(items, min(len(items), CHUNKS_PER_WORKER * _worker_count(executor)))
    here = _process_id()
    if isinstance(executor, concurrent.futures.Executor):
        futures = [executor.submit(_run_chunk, function, chunk, here) for chunk in chunks]
        parts = [future.result() for future in futures]
    elif isinstance(executor, DaskClientLike):
        # pure=False: equal chunks are still separate tasks (and nothing is hashed).
        parts = executor.gather([executor.submit(_run_chunk, function, chunk, here, pure=False)
                                 for chunk in chunks])
    else:
        raise TypeError("executor must be None, a concurrent.futures.Executor or a "
                        f"dask.distributed.Client, not {type(executor).__name__}")
    return [result for part in parts for result in part]
