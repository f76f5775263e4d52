"""python -m velquin_bench [--quick] [--only LIST] [--peers LIST] [--ns LIST] [--threads T] ...

Runs the selected workloads: for each workload and n, for each round, one fresh
worker process per peer (the order reversed every other round), one at a time.
This process imports no simulator. A complete full run writes results/latest.md
and one plot per family; a quick or selective run writes into results/raw/quick
or results/raw/partial (git-ignored); every run's raw figures go to results/raw/.
"""
from __future__ import annotations

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
    parser.add_argument("--quick", action="store_true",
                        help="one size per workload, fewer repetitions, one round")
    parser.add_argument("--only", type=items, default=[],
                        help=f"families ({', '.join(FAMILIES)}) or parts of workload names")
    parser.add_argument("--peers", type=items, default=[], help="velquin is always kept")
    parser.add_argument("--ns", type=lambda t: [int(n) for n in items(t)], default=[],
                        help="these sizes for every workload declared at several sizes")
    parser.add_argument("--threads", type=int, default=len(os.sched_getaffinity(0)))
    parser.add_argument("--rounds", type=int, default=0, help="instead of each workload's own")
    parser.add_argument("--timeout", type=float, default=1800.0, help="seconds per worker")
    parser.add_argument("--quiet-budget", type=float, default=None,
                        help="seconds the whole run may wait for a quiet machine (quick: 30, else 900)")
    parser.add_argument("--yardstick", default=os.environ.get("VELQUIN_BENCH_YARDSTICK", ""),
                        help="the built rmw_pass library (run.sh builds it)")
    parser.add_argument("--list", action="store_true", help="print the workloads and stop")
    return parser.parse_args(argv)


def selected(args) -> list:
    def chosen(w) -> bool:
        return not args.only or any(o == w.family if o in FAMILIES else o.lower() in w.name.lower()
                                    for o in args.only)

    return [w for w in WORKLOADS if chosen(w)]


def environment(args) -> dict:
    cpu = next((line.split(":", 1)[1].strip() for line in Path("/proc/cpuinfo").read_text().splitlines()
                if line.startswith("model name")), platform.processor())
    memory = int(Path("/proc/meminfo").read_text().split()[1]) / 2**20
    return {"date": datetime.datetime.now(datetime.UTC).strftime("%Y-%m-%d %H:%M UTC"), "cpu": cpu,
            "cpus": os.cpu_count(), "memory_gib": round(memory), "python": platform.python_version(),
            "threads": args.threads, "quick": args.quick, "load": "%.2f %.2f %.2f" % os.getloadavg(),
            "command": "make bench" + (f" ARGS='{' '.join(sys.argv[1:])}'" if sys.argv[1:] else ""),
            "yardstick": os.environ.get("VELQUIN_BENCH_YARDSTICK_FLAGS", "")}


def launch(job: dict, timeout: float) -> tuple[list[dict], str | None]:
    """Runs one worker to its end, its output passing through; its records, and why
    it stopped early if it did (a worker past the timeout is killed)."""
    env = dict(os.environ, OMP_NUM_THREADS=str(job["threads"]), OPENBLAS_NUM_THREADS="1",
               MKL_NUM_THREADS="1", PYTHONUNBUFFERED="1")  # no timed work uses BLAS
    last = ""
    with tempfile.NamedTemporaryFile("w+", suffix=".jsonl") as results:
        job["results"] = results.name
        with subprocess.Popen([sys.executable, "-m", "velquin_bench.worker", json.dumps(job)],
                              env=env, cwd=HERE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, errors="replace", start_new_session=True) as process:
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
    why = f"killed after {timeout:.0f} s" if process.returncode == -signal.SIGKILL else \
        f"worker stopped (status {process.returncode})"
    return records, f"{why}: {last[:300]}"


def main(argv: list[str]) -> int:
    args = parse(argv)
    workloads = selected(args)
    if args.list:
        for w in workloads:
            print(f"{w.family:10} {w.name}: n = {w.sizes(args.quick)}, peers {', '.join(w.peers)}")
        return 0
    if args.quiet_budget is None:
        args.quiet_budget = 30.0 if args.quick else 900.0
    env, rows, versions, started = environment(args), {}, {}, time.time()
    waited = 0.0
    for w in workloads:
        peers = [p for p in w.peers if not args.peers or p == "velquin" or p in args.peers]
        ns = args.ns if args.ns and len(w.ns) > 1 else w.sizes(args.quick)
        for n in ns:
            for round_ in range(1 if args.quick else args.rounds or w.rounds):
                for peer in peers if round_ % 2 == 0 else peers[::-1]:
                    print(f"bench: {w.name}, n = {n}, {peer} (round {round_ + 1})", file=sys.stderr)
                    job = {"workload": w.name, "n": n, "peer": peer, "threads": args.threads,
                           "quick": args.quick, "yardstick": args.yardstick, "profile": round_ == 0,
                           "quiet_budget": max(0.0, args.quiet_budget - waited)}
                    began = time.time()
                    records, failure = launch(job, args.timeout)
                    print(f"bench:   {time.time() - began:.0f} s", file=sys.stderr)
                    for r in records:
                        if r["kind"] == "info":
                            versions[peer] = {"version": r["version"], "precision": r["precision"]}
                        elif r["kind"] == "row":
                            key = (w.name, r["case"], n)
                            rows.setdefault(key, Row(w.name, w.family, r["case"], n)).add(peer, r)
                        elif r["kind"] == "done":
                            waited += r["quiet_waited"]
                    for case in w.cases(n) if failure else ():
                        row = rows.setdefault((w.name, case, n), Row(w.name, w.family, case, n))
                        row.add(peer, {"cells": {c: {"error": failure} for c in w.peers[peer]}})
    env.update(minutes=(time.time() - started) / 60, quiet_minutes=waited / 60, versions=versions)
    complete = not (args.quick or args.only or args.peers or args.ns)
    out = HERE / "results" / ("" if complete else "raw/quick" if args.quick else "raw/partial")
    from .report import write

    write(out, env, list(rows.values()), workloads)
    raw = HERE / "results" / "raw"
    raw.mkdir(parents=True, exist_ok=True)
    name = "latest" if complete else "quick" if args.quick else "partial"
    (raw / f"{name}.json").write_text(json.dumps({"environment": env,
                                                  "rows": [vars(r) for r in rows.values()]}))
    print(f"bench: wrote {out / 'latest.md'} in {env['minutes']:.1f} minutes", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
