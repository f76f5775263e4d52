"""python -m velquin_bench.worker JOB: one peer's share of one workload at one n.

A fresh process that loads no other simulator, so no other runtime's idle OpenMP or
BLAS threads spin on a core it needs (the parent sets the thread variables). Appends
JSON records to JOB's results file as they come ("info", a "row" per case, "done"):
a worker that dies keeps what it wrote."""
import ctypes
import importlib
import json
import sys
import time

import numpy as np

from .checks import adapter_share, digest
from .declare import Unsupported, first_line
from .peers import PEERS
from .timing import Quiet, batched, measure, summary
from .workloads import BY_NAME

LONG = 2.0  # seconds: a first call this long counts as a timed one (its one-time costs are noise)


def refusal(peer: str, exc: BaseException | str) -> str:
    """velquin refusing a configuration (a noise model, an instruction, a diff method) is
    the state of its adapters, not a broken run: the cell says so and the run goes on."""
    if isinstance(exc, Unsupported):
        return f"n/a: {exc}"
    return f"{'not supported yet' if peer == 'velquin' else 'failed'}: {exc if isinstance(exc, str) else first_line(exc)}"


def yardstick(library: str, threads: int, n: int):
    """The floor of an in-place gate: one read-modify-write pass over 16 x 2^n bytes, batched."""
    lib, data = ctypes.CDLL(library), np.ones(2 * 2**n)
    lib.rmw_pass.argtypes = [ctypes.c_void_p, ctypes.c_size_t, ctypes.c_double, ctypes.c_int]
    lib.rmw_pass(data.ctypes.data, data.size, 1.0, threads)  # untimed: OpenMP starts its threads here
    return batched(lambda: lib.rmw_pass(data.ctypes.data, data.size, 1.0, threads), 2 ** max(0, 18 - n))


def row(job: dict, peer, case: str, quiet: Quiet, yard) -> dict:
    workload, n, threads = BY_NAME[job["workload"]], job["n"], job["threads"]
    configs = workload.peers[peer.NAME]
    cells, calls, digests, firsts = {}, {}, {}, {}
    try:
        problem = workload.build(n, case, job["quick"])
        if (maker := getattr(peer, f"make_{workload.task}", None)) is None:
            raise Unsupported(f"{peer.NAME} has no {workload.task} call")
    except Exception as exc:  # noqa: BLE001 - the row says why
        return {"cells": {config: {"error": refusal(peer.NAME, exc)} for config in configs}}
    for config in configs:
        try:
            call = maker(problem, config, threads)
            start = time.perf_counter()  # the first call: imports, caches, thread pools, page faults
            digests[config] = digest(workload.check, call())
            firsts[config] = time.perf_counter() - start
            calls[config] = batched(call, workload.batch(n))
        except Exception as exc:  # noqa: BLE001
            cells[config] = {"error": refusal(peer.NAME, exc)}
    reps = workload.timed_calls(job["quick"], n)
    counted = bool(calls) and min(firsts[c] for c in calls) >= LONG and workload.batch(n) == 1
    found, load = measure(calls, reps - counted, workload.warm_at(n, job["quick"]), quiet, yard) if calls else ({}, 0)
    for config in calls:
        got = found[config]
        cells[config] = ({"error": refusal(peer.NAME, got)} if isinstance(got, str) else
                         summary([firsts[config]] * counted + got) | {"digest": digests[config]})
        if job["profile"] and workload.profile and peer.NAME == "velquin" and "median" in cells[config]:
            cells[config]["share"] = adapter_share(calls[config])
    record = {"cells": cells, "load": load}
    if found.get("yardstick") and isinstance(found["yardstick"], list):
        record |= {"yard": summary(found["yardstick"]), "yard_units": workload.yard_units(problem)}
    return record


def main(argv: list[str]) -> int:
    job = json.loads(argv[0])
    workload = BY_NAME[job["workload"]]
    peer = importlib.import_module(f"{__package__}.peers.{PEERS[job['peer']]}")
    quiet = Quiet(job["quiet_budget"])
    yard = (yardstick(job["yardstick"], job["threads"], job["n"])
            if workload.yard_units and job["yardstick"] else None)
    with open(job["results"], "a", encoding="utf-8") as out:
        def emit(kind: str, **record) -> None:
            out.write(json.dumps({"kind": kind, **record}) + "\n")
            out.flush()

        try:
            emit("info", version=peer.version(), precision=peer.PRECISION)
        except Exception as exc:  # noqa: BLE001 - shown instead of a version
            emit("info", version=f"unknown ({first_line(exc)})", precision=peer.PRECISION)
        for case in workload.cases(job["n"]):
            print(f"  {peer.NAME}: {workload.name}, n = {job['n']} {case}", file=sys.stderr, flush=True)
            emit("row", case=case, **row(job, peer, case, quiet, yard))
        emit("done", quiet_waited=quiet.waited)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
