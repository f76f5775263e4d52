"""python -m velquin_bench [--quick] [--threads T] --yardstick LIB --out DIR

Sets every simulator's thread count before any of them is imported, checks
that they all compute the same states, times the workloads and writes
latest.md, latest.json and latest.png into DIR.
"""
from __future__ import annotations

import argparse
import os
import sys
import time


def default_threads() -> int:
    return len(os.sched_getaffinity(0))


def parse(argv: list[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(prog="velquin_bench")
    parser.add_argument("--quick", action="store_true", help="n = 20 only")
    parser.add_argument("--threads", type=int, default=int(os.environ.get(
        "VELQUIN_BENCH_THREADS", default_threads())))
    parser.add_argument("--yardstick", required=True, help="path of the built pass library")
    parser.add_argument("--out", required=True, help="directory for the results")
    parser.add_argument("--only", default="", help="comma list of: gates,random,qft,sampling,calls")
    parser.add_argument("--command", default="", help="the command line to record")
    return parser.parse_args(argv)


def pin_threads(threads: int) -> None:
    """Every OpenMP runtime in the process (qulacs, Lightning, Aer's, the
    yardstick's) and velquin read these at load time."""
    for var in ("OMP_NUM_THREADS", "OPENBLAS_NUM_THREADS", "MKL_NUM_THREADS"):
        os.environ[var] = str(threads)


def main(argv: list[str]) -> int:
    args = parse(argv)
    pin_threads(args.threads)

    from .agreement import check_all
    from .profiles import FULL, QUICK
    from .environment import Environment
    from .report import write_all
    from .sims.registry import all_simulators
    from . import workloads
    from .workloads import all_rows
    from .yardstick import Yardstick

    profile = QUICK if args.quick else FULL
    sims = all_simulators(args.threads)
    yard = Yardstick(args.yardstick, args.threads)
    env = Environment.collect(sims, args.threads, profile, args.command)
    print("checking that the simulators agree", file=sys.stderr, flush=True)
    reference, agreements = check_all(sims)
    started = time.time()
    only = {w for w in args.only.split(",") if w} or None
    rows = []
    for row in all_rows(profile, sims, yard, only):
        rows.append(row)
    env.wall_seconds = time.time() - started
    env.quiet_wait_seconds = workloads.quiet.waited
    write_all(args.out, env, reference, agreements, rows)
    print(f"wrote {args.out}/latest.md", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
