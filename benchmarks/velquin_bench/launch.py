"""Starts the worker processes, one at a time, and reads back their records."""
from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
import tempfile
from collections import deque
from dataclasses import dataclass, field
from pathlib import Path

PACKAGE_ROOT = Path(__file__).resolve().parents[1]


def worker_environment(threads: int) -> dict[str, str]:
    """Every OpenMP runtime (qulacs, Lightning, Aer's, the yardstick's) and
    velquin read these at load time. No timed work uses BLAS, so BLAS gets
    one thread and leaves no idle workers behind."""
    env = dict(os.environ)
    env.update(OMP_NUM_THREADS=str(threads), OPENBLAS_NUM_THREADS="1",
               MKL_NUM_THREADS="1", PYTHONUNBUFFERED="1")
    return env


@dataclass
class WorkerOutput:
    records: list[dict] = field(default_factory=list)
    failure: str | None = None  # why the worker stopped early, if it did

    def of_kind(self, kind: str) -> list[dict]:
        return [r for r in self.records if r["kind"] == kind]

    @property
    def quiet_waited(self) -> float:
        done = self.of_kind("done")
        return done[0]["quiet_waited"] if done else 0.0


def _exit_text(code: int) -> str:
    if code < 0:
        try:
            return f"worker killed by {signal.Signals(-code).name}"
        except ValueError:
            return f"worker killed by signal {-code}"
    return f"worker exited with status {code}"


def _records(lines) -> list[dict]:
    """The complete records; a worker that died mid-line leaves a torn last one."""
    records = []
    for line in lines:
        try:
            records.append(json.loads(line))
        except json.JSONDecodeError:
            break
    return records


@dataclass
class Launcher:
    threads: int
    profile: str
    yardstick: str
    quiet_budget: float
    quiet_waited: float = 0.0

    def run(self, sim: str, task: str, n: int = 0) -> WorkerOutput:
        """Runs one worker to its end; its output (progress lines, anything a
        simulator prints) passes through to stderr."""
        with tempfile.NamedTemporaryFile("w+", suffix=".jsonl", encoding="utf-8") as results:
            command = [sys.executable, "-m", "velquin_bench.worker", "--sim", sim,
                       "--task", task, "--n", str(n), "--profile", self.profile,
                       "--threads", str(self.threads), "--yardstick", self.yardstick,
                       "--quiet-budget", str(max(0.0, self.quiet_budget - self.quiet_waited)),
                       "--results", results.name]
            last_lines: deque[str] = deque(maxlen=1)
            with subprocess.Popen(command, env=worker_environment(self.threads), cwd=PACKAGE_ROOT,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  text=True, errors="replace") as process:
                for line in process.stdout:
                    sys.stderr.write(line)
                    if line.strip():
                        last_lines.append(line.strip())
            output = WorkerOutput(_records(results))
        self.quiet_waited += output.quiet_waited
        if process.returncode != 0 or not output.of_kind("done"):
            last = f": {last_lines[0]}" if last_lines else ""
            output.failure = _exit_text(process.returncode) + last
            print(f"bench: {sim} {task}: {output.failure}", file=sys.stderr, flush=True)
        return output
