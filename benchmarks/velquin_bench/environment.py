"""What a result depends on: machine, thread count, simulator versions."""
from __future__ import annotations

import datetime
import os
import platform
from dataclasses import dataclass, field

from .profiles import Profile


def cpu_model() -> str:
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def memory_gib() -> float:
    try:
        with open("/proc/meminfo", encoding="utf-8") as info:
            for line in info:
                if line.startswith("MemTotal:"):
                    return int(line.split()[1]) / 2**20
    except OSError:
        pass
    return 0.0


@dataclass
class SimInfo:
    name: str
    version: str
    precision: str


@dataclass
class Environment:
    date: str
    cpu: str
    cores: int
    memory_gib: float
    python: str
    threads: int
    profile: str
    command: str
    yardstick_flags: str
    sims: list[SimInfo] = field(default_factory=list)
    wall_seconds: float = 0.0
    quiet_wait_seconds: float = 0.0
    load_average: str = field(default_factory=lambda: "%.2f %.2f %.2f" % os.getloadavg())

    @staticmethod
    def collect(threads: int, profile: Profile, command: str) -> "Environment":
        """This machine now; the simulators' versions come from their workers."""
        return Environment(
            date=datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            cpu=cpu_model(), cores=os.cpu_count() or 0, memory_gib=memory_gib(),
            python=platform.python_version(), threads=threads, profile=profile.name,
            command=command, yardstick_flags=os.environ.get("VELQUIN_BENCH_YARDSTICK_FLAGS", "?"))
