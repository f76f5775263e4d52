"""latest.png: time against qubit count for the headline workloads."""
from __future__ import annotations

from pathlib import Path

from .rows import Row
from .workloads import ANSATZ

COLOURS = {"velquin": "black", "Aer": "tab:blue", "qulacs": "tab:orange",
           "qsim": "tab:green", "Lightning": "tab:purple", "yardstick": "tab:gray"}


LABELS = {"qsim": "qsim, complex64", "yardstick": "yardstick (one pass per gate)"}


def _series(rows: list[Row], pick) -> dict[str, dict[int, float]]:
    series: dict[str, dict[int, float]] = {}
    for row in rows:
        if not pick(row):
            continue
        for name, m in row.times.items():
            if m.seconds is not None:
                series.setdefault(name, {})[row.n] = m.seconds
        if row.yard and row.yard.seconds:
            series.setdefault("yardstick", {})[row.n] = row.yard.seconds * row.yard_units
    return series


def _draw(ax, series: dict[str, dict[int, float]], style: str, label_suffix: str) -> None:
    for name, points in series.items():
        ns = sorted(points)
        ax.plot(ns, [points[n] * 1e3 for n in ns], style if name != "yardstick" else ":",
                marker="o", markersize=3, color=COLOURS.get(name, "tab:red"),
                label=LABELS.get(name, name)
                + (label_suffix if name not in ("velquin", "yardstick", "Lightning") else ""))


def plot(rows: list[Row], path: Path, threads: int) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    top = max((r.n for r in rows if r.section == "1q gate"), default=0)
    panels = [
        ("h on qubit 0 (one gate)", lambda r: r.section == "1q gate" and r.case == "h(0)", None),
        ("h on the top qubit (one gate)",
         lambda r: r.section == "1q gate" and r.case == f"h({r.n - 1})", None),
        ("cx(0, 1) (one gate)", lambda r: r.section == "2q gate" and r.case == "cx(0,1)", None),
        ("layered random circuit", lambda r: r.section == "random circuit" and "fusion off" in r.case,
         lambda r: r.section == "random circuit" and "default fusion" in r.case),
        ("QFT-like circuit", lambda r: r.section == "QFT-like circuit" and "fusion off" in r.case,
         lambda r: r.section == "QFT-like circuit" and "default fusion" in r.case),
        ("hardware-efficient ansatz", lambda r: r.section == ANSATZ and "fusion off" in r.case,
         lambda r: r.section == ANSATZ and "default fusion" in r.case),
    ]
    fig, axes = plt.subplots(2, 3, figsize=(17, 9))
    for ax, (title, plain, fused) in zip(axes.flat, panels):
        _draw(ax, _series(rows, plain), "-", " (fusion off)" if fused else "")
        if fused:
            fused_series = {k: v for k, v in _series(rows, fused).items()
                            if k not in ("velquin", "yardstick", "Lightning")}
            _draw(ax, fused_series, "--", " (default fusion)")
        ax.set_title(title)
        ax.set_xlabel("qubits")
        ax.set_ylabel("milliseconds (log)")
        ax.set_yscale("log")
        ax.grid(True, which="both", alpha=0.3)
        if ax.lines:
            ax.legend(fontsize=7)
    fig.suptitle(f"Median time against qubit count, {threads} threads each"
                 + (f" (single gates up to n = {top})" if top else ""))
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)
