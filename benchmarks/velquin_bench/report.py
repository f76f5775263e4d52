"""latest.md: the targets' verdicts, then per family its plot and one table per workload."""
import statistics
from pathlib import Path

from .declare import Target
from .plot import plot
from .table import Row
from .timing import BUSY_SHARE

SHARE = Target("the adapter's own share of velquin's time: every row <= 20%", limit=0.2, of="share")


def fmt(seconds: float | None) -> str:
    ms = (seconds or 0) * 1e3
    return "n/a" if seconds is None else f"{ms:,.0f}" if ms >= 100 else f"{ms:.1f}" if ms >= 10 else f"{ms:.3g}"


class Footnotes(list):
    def mark(self, text: str) -> str:
        if text not in self:
            self.append(text)
        return f"{text.split(':', 1)[0]}[^{self.index(text) + 1}]"


def judge(target: Target, rows: list[Row], precision: dict) -> list[str] | None:
    """The cells of the target's line: rows, median, worst, verdict."""
    chosen = [r for r in rows if target.where(r)]
    values = [(v, r) for r in chosen for v in [r.share() if target.of == "share" else
                                               (r.ratio(target.vs, precision) or (None,))[0]] if v is not None]
    if not values:
        why = next((c["error"][:80] for r in chosen for col, c in r.cells.items()
                    if col.startswith("velquin ") and "error" in c), "")
        return chosen and [str(len(chosen)), "n/a", "n/a", "no figures" + (f" (velquin {why})" if why else "")]
    numbers, show = [v for v, _ in values], (lambda v: f"{v:.0%}") if target.of == "share" else (lambda v: f"{v:.2f}")
    worst, med = max(values, key=lambda p: p[0]), statistics.median(numbers)
    over = sum(v >= target.limit if target.strict else v > target.limit for v in numbers)
    verdict = (f"not met ({over} rows over)" if over else
               f"not met (median {med:.2f})" if target.median is not None and med > target.median else "met")
    missing = len(chosen) - len(values)
    where = (f"{worst[1].workload}: " if target.of == "share" else "") + f"{worst[1].case} n = {worst[1].n}"
    return [str(len(chosen)), show(med), f"{show(worst[0])} ({where.replace(':  ', ': ').strip()})",
            verdict + (f"; {missing} rows without a figure" if missing else "")]


def targets(workloads, rows: list[Row], precision: dict) -> list[str]:
    lines = ["| workload | target | rows | median | worst | verdict |", "|---|---|---|---|---|---|"]
    for family in dict.fromkeys(w.family for w in workloads):
        checks = [(w.name, t, [r for r in rows if r.workload == w.name]) for w in workloads if w.family == family
                  for t in w.targets]
        checks.append((f"all of {family}", SHARE, [r for r in rows if r.family == family and r.share() is not None]))
        lines += [f"| {name} | {t.label} | " + " | ".join(cells) + " |"
                  for name, t, chosen in checks for cells in [judge(t, chosen, precision)] if cells]
    return lines


def workload_table(workload, rows: list[Row], precision: dict, notes: Footnotes) -> list[str]:
    cols = [f"{p} {c}" for p, configs in workload.peers.items() for c in configs
            if any(f"{p} {c}" in r.cells for r in rows)]
    has_case, yard = any(r.case for r in rows), any(r.yard for r in rows)
    head = (["case"] if has_case else []) + ["n"] + [f"{c} ms" for c in cols] + [
        "velquin / default", "velquin / best"] + (["yardstick ms", "velquin / yardstick"] if yard else []) + (
        ["adapter share"] if workload.profile else []) + (["agreement"] if workload.check else [])
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for r in rows:
        cells = ([r.case] if has_case else []) + [f"{r.n}{' †' if r.load > BUSY_SHARE else ''}"]
        cells += [fmt(cell["median"]) if "median" in cell else notes.mark(cell["error"]) if cell else ""
                  for c in cols for cell in [r.cells.get(c, {})]]
        cells += [f"{x[0]:.2f} ({x[1]})" if x else "n/a"
                  for vs in ("default", "best") for x in [r.ratio(vs, precision, strict_precision=False)]]
        if yard:
            mine, floor = r.velquin(), (r.yard or {}).get("median", 0) * r.yard_units
            cells += [fmt(floor or None), f"{mine[0] / floor:.2f}" if mine and floor else "n/a"]
        if workload.profile:
            cells.append(f"{r.share():.0%}" if r.share() is not None else "")
        if workload.check:
            found = r.agreement(workload.check)
            cells.append(f"{found[0]:.1e}{' **MISMATCH**' if found[0] > workload.tolerance else ''}" if found else "")
        lines.append("| " + " | ".join(cells) + " |")
    return lines


def write(out: Path, env: dict, rows: list[Row], workloads) -> None:
    out.mkdir(parents=True, exist_ok=True)
    precision, notes = {p: v["precision"] for p, v in env["versions"].items()}, Footnotes()
    lines = ["# velquin against its peers", "",
             f"`{env['command']}` on {env['date']}: {'quick' if env['quick'] else 'full'} run, "
             f"{env['minutes']:.1f} minutes ({env['quiet_minutes']:.1f} of them waiting for a quiet machine; "
             f"load average {env['load']} at the start). {env['cpu']}, {env['cpus']} logical CPUs, "
             f"{env['memory_gib']} GiB, Python {env['python']}; every peer with **{env['threads']} threads**. "
             f"Yardstick built with `{env['yardstick'] or '?'}`.", "",
             "Times are milliseconds, medians; lower is better. A ratio below 1 means velquin is faster. "
             "The figures come from one run: compare ratios, not times across runs. A † marks a row during "
             "which other processes took more than 10% of the CPUs. How each figure is taken: "
             "[benchmarks/README.md](../README.md#how-a-figure-is-taken).", "",
             "| peer | version | amplitudes |", "|---|---|---|"]
    lines += [f"| {p} | {v['version']} | {v['precision']} |" for p, v in env["versions"].items()]
    lines += ["", "## Targets", ""] + targets(workloads, rows, precision)
    for family in dict.fromkeys(r.family for r in rows):
        mine = [w for w in workloads if w.family == family]
        drawn = plot(family, mine, rows, precision, out / f"{family}.png")  # none where velquin has no figure
        lines += ["", f"## {family}"] + (["", f"![velquin over the fastest peer]({family}.png)"] if drawn else [])
        for w in mine:
            chosen = [r for r in rows if r.workload == w.name]
            lines += ["", f"### {w.name}", "", f"Timed: {w.what}.", ""] + workload_table(
                w, chosen, precision, notes) if chosen else []
    lines += ["", "## Why a cell has no figure", ""] + [f"[^{i + 1}]: {t}" for i, t in enumerate(notes)]
    (out / "latest.md").write_text("\n".join(lines) + "\n")
