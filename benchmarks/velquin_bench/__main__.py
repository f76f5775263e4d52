"""python -m velquin_bench [--quick] [--threads T] [--only LIST] [--sims LIST]
                          [--ns LIST] [--earlier JSON] --yardstick LIB --out DIR

Runs every simulator in worker processes of its own (velquin_bench.worker),
one at a time: first each one's agreement check, then, workload by workload
and n by n, each simulator's rows. Writes latest.md, latest.json and
latest.png into DIR (with --earlier, velquin at n >= 22 is also compared
with that run's latest.json). This process imports no simulator.
"""
from __future__ import annotations

import argparse
import dataclasses
import os
import sys
import time


def default_threads() -> int:
    return len(os.sched_getaffinity(0))


def comma_list(text: str) -> list[str]:
    return [item.strip() for item in text.split(",") if item.strip()]


def parse(argv: list[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(prog="velquin_bench")
    parser.add_argument("--quick", action="store_true", help="n = 20 only")
    parser.add_argument("--threads", type=int, default=int(os.environ.get(
        "VELQUIN_BENCH_THREADS", default_threads())))
    parser.add_argument("--yardstick", required=True, help="path of the built pass library")
    parser.add_argument("--out", required=True, help="directory for the results")
    parser.add_argument("--only", default="", help="comma list of: gates,random,qft,ansatz,sampling,calls")
    parser.add_argument("--sims", default="",
                        help="comma list of simulators (velquin,Aer,qulacs,qsim,Lightning,NumPy)")
    parser.add_argument("--ns", default="", help="comma list of qubit counts instead of the "
                        "profile's (every workload but calls)")
    parser.add_argument("--earlier", default="", help="latest.json of an earlier run to "
                        "compare velquin's large registers with, if it exists")
    parser.add_argument("--command", default="", help="the command line to record")
    return parser.parse_args(argv)


def main(argv: list[str]) -> int:
    args = parse(argv)
    # NumPy's BLAS would otherwise start idle threads in this process too.
    os.environ["OPENBLAS_NUM_THREADS"] = os.environ["MKL_NUM_THREADS"] = "1"

    from .agreement import compare
    from .environment import Environment, SimInfo
    from .launch import Launcher
    from .profiles import FULL, QUICK
    from .report import write_all
    from .rows import RowTable, load_run
    from .sims.registry import SIMULATORS, simulator_class
    from .workloads import QUIET_BUDGET_SECONDS, TASKS, runs_task, task_ns

    profile = QUICK if args.quick else FULL
    if args.ns:
        ns = tuple(int(n) for n in comma_list(args.ns))
        profile = dataclasses.replace(profile, gate_ns=ns, circuit_ns=ns, qft_ns=ns, ansatz_ns=ns,
                                      sample_ns=ns)
    sims = [simulator_class(s) for s in comma_list(args.sims)] or list(SIMULATORS)
    tasks = [t for t in TASKS if not args.only or t in comma_list(args.only)]
    launcher = Launcher(args.threads, profile.name, args.yardstick, QUIET_BUDGET_SECONDS)
    env = Environment.collect(args.threads, profile, args.command)
    # Read before this run can overwrite it.
    earlier = load_run(args.earlier) if args.earlier and os.path.exists(args.earlier) else None
    started = time.time()

    print("checking that the simulators agree", file=sys.stderr, flush=True)
    vectors = {}
    for sim in sims:
        output = launcher.run(sim.name, "check")
        info = output.of_kind("info")
        version = info[0]["version"] if info else f"unknown ({output.failure})"
        env.sims.append(SimInfo(sim.name, version, sim.precision))
        if not sim.sampler_only:
            vectors[sim.name] = output.of_kind("check")
    reference, agreements = compare(vectors)

    table = RowTable()
    for task in tasks:
        for n in task_ns(task, profile):
            unit, failures = set(), {}  # the rows of this workload and n
            for sim in (s for s in sims if runs_task(s, task)):
                output = launcher.run(sim.name, task, n)
                unit.update(table.add(record) for record in output.of_kind("row"))
                if output.failure:
                    failures[sim.name] = output.failure
            for sim_name, reason in failures.items():
                table.fail(unit, sim_name, reason)

    env.wall_seconds = time.time() - started
    env.quiet_wait_seconds = launcher.quiet_waited
    write_all(args.out, env, reference, agreements, table.rows, earlier)
    print(f"wrote {args.out}/latest.md", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
