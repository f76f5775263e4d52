"""One small plot per family: per workload, velquin's time over the fastest peer's.
Against n where a workload has several sizes (the median over its cases, the band
from the best to the worst case), else one bar per case."""
import math
import statistics
from pathlib import Path


def plot(family: str, workloads, rows, precision: dict, path: Path) -> None:
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    ratios = {w.name: [(r.n, r.case, x[0]) for r in rows if r.workload == w.name
                       for x in [r.ratio("best", precision, False)] if x] for w in workloads}
    shown = [w for w in workloads if ratios[w.name]]
    if not shown:
        return path.unlink(missing_ok=True)
    cols, lines = min(3, len(shown)), math.ceil(len(shown) / min(3, len(shown)))
    fig, axes = plt.subplots(lines, cols, figsize=(4.2 * cols, 3.0 * lines), squeeze=False)
    for ax in axes.flat[len(shown):]:
        ax.set_visible(False)
    for ax, w in zip(axes.flat, shown):
        mine = ratios[w.name]
        ns = sorted({n for n, _, _ in mine})
        if len(ns) > 1:
            by_n = [[v for n, _, v in mine if n == size] for size in ns]
            ax.plot(ns, [statistics.median(v) for v in by_n], marker="o", color="black")
            ax.fill_between(ns, [min(v) for v in by_n], [max(v) for v in by_n], alpha=0.2, color="gray")
            ax.set_xlabel("qubits")
        else:
            ax.bar(range(len(mine)), [v for _, _, v in mine], color="gray")
            ax.set_xticks(range(len(mine)), [c or f"n = {n}" for n, c, _ in mine], rotation=30,
                          fontsize=7, ha="right")
        ax.axhline(1.0, color="tab:red", linestyle="--", linewidth=1)
        ax.set_yscale("log")
        ax.set_title(w.name, fontsize=8)
        ax.grid(True, which="both", alpha=0.3)
    fig.suptitle(f"{family}: velquin's time over the fastest peer's (below 1: velquin faster)", fontsize=9)
    fig.tight_layout()
    fig.savefig(path, dpi=60)
    return plt.close(fig) or True
