"""python -m velquin_bench.worker --sim NAME --task TASK --n N ... --results FILE

One simulator's share of one workload at one n (or, with --task check, its
version and its agreement vectors), in a process that loads no other
simulator: no other runtime's idle worker threads can spin on a core it
needs. The parent sets the thread variables before this process starts.

Appends one JSON object per line to FILE as results come: "info", "check",
"row", and last "done"; a worker that dies keeps what it wrote.
"""
from __future__ import annotations

import argparse
import dataclasses
import json
import sys

from .profiles import PROFILES


def parse(argv: list[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(prog="velquin_bench.worker")
    parser.add_argument("--sim", required=True)
    parser.add_argument("--task", required=True, help="check, or one of workloads.TASKS")
    parser.add_argument("--n", type=int, default=0)
    parser.add_argument("--profile", choices=sorted(PROFILES), default="full")
    parser.add_argument("--threads", type=int, required=True)
    parser.add_argument("--yardstick", default="", help="path of the built pass library")
    parser.add_argument("--quiet-budget", type=float, default=0.0,
                        help="seconds this worker may wait for a quiet machine")
    parser.add_argument("--results", required=True, help="file to append records to")
    return parser.parse_args(argv)


def main(argv: list[str]) -> int:
    args = parse(argv)
    from .sims.registry import simulator_class
    from . import workloads

    sim = simulator_class(args.sim)(args.threads)
    with open(args.results, "a", encoding="utf-8") as out:
        def emit(kind: str, record: dict) -> None:
            out.write(json.dumps({"kind": kind, **record}) + "\n")
            out.flush()

        if args.task == "check":
            from .agreement import check_vectors
            from .sims.base import first_line

            try:
                version = sim.version()
            except Exception as exc:  # noqa: BLE001 - shown instead of a version
                version = f"unknown ({first_line(exc)})"
            emit("info", {"name": sim.name, "version": version, "precision": sim.precision})
            if not sim.sampler_only:
                for entry in check_vectors(sim):
                    emit("check", entry)
        else:
            workloads.quiet.budget = args.quiet_budget
            yard = None
            if args.task != "calls":
                from .yardstick import Yardstick

                yard = Yardstick(args.yardstick, args.threads)
            profile = PROFILES[args.profile]
            for row in workloads.task_rows(args.task, args.n, profile, sim, yard):
                emit("row", dataclasses.asdict(row))
        emit("done", {"quiet_waited": workloads.quiet.waited})
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
