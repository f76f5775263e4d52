"""python -m velquin_bench [--quick] [--only LIST] [--peers LIST] [--ns LIST] [--threads T] ...

Per workload, size and round, one fresh worker per peer (the order reversed every other
round), one at a time; this process imports no simulator. A complete full run writes
results/latest.md and a plot per family, a quick or selective one into results/raw/quick
or raw/partial; every run its raw figures into results/raw/<run>.json (git-ignored)."""
import argparse
import datetime
import json
import os
import platform
import signal
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

from .table import Row
from .workloads import FAMILIES, WORKLOADS

HERE = Path(__file__).resolve().parents[1]


def parse(argv: list[str]) -> argparse.Namespace:
    items = lambda text: [x.strip() for x in text.split(",") if x.strip()]  # noqa: E731
    parser = argparse.ArgumentParser(prog="velquin_bench", description=__doc__.splitlines()[0])
    add = parser.add_argument
    add("--quick", action="store_true", help="one size per workload, fewer calls, one round")
    add("--only", type=items, default=[], help=f"families ({', '.join(FAMILIES)}) or parts of names")
    add("--peers", type=items, default=[], help="only these peers (and velquin)")
    add("--ns", type=lambda t: [int(n) for n in items(t)], default=[],
        help="these sizes for every workload declared at several")
    add("--threads", type=int, default=len(os.sched_getaffinity(0)))
    add("--rounds", type=int, default=0, help="instead of each workload's own")
    add("--timeout", type=float, default=1800.0, help="seconds per worker")
    add("--quiet-budget", type=float, help="seconds a run may wait for quiet (quick: 30, else 900)")
    add("--yardstick", default=os.environ.get("VELQUIN_BENCH_YARDSTICK", ""), help="the rmw_pass library")
    add("--list", action="store_true", help="print the selected workloads and stop")
    return parser.parse_args(argv)


def environment(args) -> dict:
    cpu = next((line.split(":", 1)[1].strip() for line in Path("/proc/cpuinfo").read_text().splitlines()
                if line.startswith("model name")), platform.processor())
    return {"date": datetime.datetime.now(datetime.UTC).strftime("%Y-%m-%d %H:%M UTC"), "cpu": cpu,
            "cpus": os.cpu_count(), "python": platform.python_version(), "threads": args.threads,
            "memory_gib": round(int(Path("/proc/meminfo").read_text().split()[1]) / 2**20),
            "quick": args.quick, "load": "%.2f %.2f %.2f" % os.getloadavg(),
            "command": "make bench" + (f" ARGS='{' '.join(sys.argv[1:])}'" if sys.argv[1:] else ""),
            "yardstick": os.environ.get("VELQUIN_BENCH_YARDSTICK_FLAGS", "")}


def launch(job: dict, timeout: float) -> tuple[list[dict], str | None]:
    """One worker to its end, its output passing through (killed past the timeout):
    its records, and why it stopped early if it did."""
    env = dict(os.environ, OMP_NUM_THREADS=str(job["threads"]), OPENBLAS_NUM_THREADS="1",
               MKL_NUM_THREADS="1", PYTHONUNBUFFERED="1")  # no timed work uses BLAS
    last = ""
    with tempfile.NamedTemporaryFile("w+", suffix=".jsonl") as results:
        job["results"] = results.name
        with subprocess.Popen([sys.executable, "-m", "velquin_bench.worker", json.dumps(job)], env=env,
                              cwd=HERE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              errors="replace", start_new_session=True) as process:
            timer = threading.Timer(timeout, os.killpg, (process.pid, signal.SIGKILL))
            timer.start()
            for line in process.stdout:
                sys.stderr.write(line)
                last = line.strip() or last
            process.wait()
            timer.cancel()
        records = []
        for line in results:
            try:
                records.append(json.loads(line))
            except json.JSONDecodeError:
                break  # a worker that died mid-line
    if any(r["kind"] == "done" for r in records):
        return records, None
    why = "killed at the timeout" if process.returncode == -signal.SIGKILL else "worker stopped"
    return records, f"{why} (status {process.returncode}): {last[:300]}"


def main(argv: list[str]) -> int:
    args = parse(argv)
    workloads = [w for w in WORKLOADS if not args.only or any(
        o == w.family if o in FAMILIES else o.lower() in w.name.lower() for o in args.only)]
    if args.list:
        return print("\n".join(f"{w.family:10} {w.name}: n = {w.sizes(args.quick)}, peers {', '.join(w.peers)}"
                               for w in workloads)) or 0
    budget = args.quiet_budget if args.quiet_budget is not None else 30.0 if args.quick else 900.0
    env, rows, versions, started, waited = environment(args), {}, {}, time.time(), 0.0
    for w in workloads:
        peers = [p for p in w.peers if not args.peers or p == "velquin" or p in args.peers]
        for n in args.ns if args.ns and len(w.ns) > 1 else w.sizes(args.quick):
            for round_ in range(1 if args.quick else args.rounds or w.rounds):
                for peer in peers if round_ % 2 == 0 else peers[::-1]:
                    job = {"workload": w.name, "n": n, "peer": peer, "threads": args.threads,
                           "quick": args.quick, "yardstick": args.yardstick, "profile": round_ == 0,
                           "quiet_budget": max(0.0, budget - waited)}
                    began, (records, failure) = time.time(), launch(job, args.timeout)
                    print(f"bench: {w.name}, n = {n}, {peer}, round {round_ + 1}: {time.time() - began:.0f} s",
                          file=sys.stderr)
                    row = lambda case: rows.setdefault((w.name, case, n), Row(  # noqa: E731
                        w.name, w.family, case, n, defaults=frozenset(f"{p} {c[0]}" for p, c in w.peers.items())))
                    for r in records:
                        versions |= {peer: r} if r["kind"] == "info" else {}
                        waited += r["quiet_waited"] if r["kind"] == "done" else 0.0
                        if r["kind"] == "row":
                            row(r["case"]).add(peer, r)
                    for case in w.cases(n) if failure else ():
                        row(case).add(peer, {"cells": {c: {"error": failure} for c in w.peers[peer]}})
    env.update(minutes=(time.time() - started) / 60, quiet_minutes=waited / 60, versions=versions)
    run = "quick" if args.quick else "partial" if args.only or args.peers or args.ns else "latest"
    out = HERE / "results" / ("" if run == "latest" else f"raw/{run}")
    from .report import write

    write(out, env, list(rows.values()), workloads)
    (HERE / "results" / "raw").mkdir(parents=True, exist_ok=True)
    (HERE / "results" / "raw" / f"{run}.json").write_text(json.dumps(
        {"environment": env, "rows": [vars(r) for r in rows.values()]}, default=sorted))
    print(f"bench: wrote {out / 'latest.md'} in {env['minutes']:.1f} minutes", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
