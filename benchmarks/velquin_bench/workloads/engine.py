"""velquin's own Python API against the peers' lowest-level calls: single gates on a live
register, three circuits to a state vector, sampling, many calls on a tiny register. The
gate lists are shared, so every peer runs the same work; qubit 0 is the lowest bit."""
import math
import random
from typing import NamedTuple

from ..declare import DEFAULT, Target, Workload


class Op(NamedTuple):
    name: str
    qubits: tuple[int, ...]
    theta: float | None = None

    def label(self) -> str:
        return f"{self.name}({','.join(map(str, self.qubits))})"


ANGLE, ALL_NS = 0.3, (10, 12, 14, 16, 18, 20, 22, 24, 26)


def gate_ops(n: int, two: bool) -> dict[str, Op]:
    """At qubit 0, 1, n/2 and n-1; pairs (0,1), (0,n-1), (n-1,0), (n/2-1,n/2)."""
    if two:
        pairs = dict.fromkeys([(0, 1), (0, n - 1), (n - 1, 0), (n // 2 - 1, n // 2)])
        ops = [Op(g, p) for g in ("cx", "cz", "swap", "cy", "cx_cpp") for p in pairs]
    else:
        ops = [Op(g, (q,), ANGLE if g in ("rz", "ry") else None)
               for g in ("h", "rz", "x", "sx", "ry", "h_cpp", "x_cpp") for q in sorted({0, 1, n // 2, n - 1})]
    return {op.label(): op for op in ops}


def plus(n: int) -> list[Op]:
    """h on every qubit: the live register the gates run on is |+>^n."""
    return [Op("h", (q,)) for q in range(n)]


def layers(n: int, count: int, turn: str, pair: str, brick: bool, seed: int) -> list[Op]:
    """Per layer: `turn` and rz on every qubit (seeded angles), then `pair` on a brick
    pattern or on every neighbour (0,1), (1,2), ..., (n-2,n-1)."""
    rng, ops = random.Random(seed * 1000 + n), []
    for layer in range(count):
        for q in range(n):
            ops += [Op(turn, (q,), rng.uniform(0, 2 * math.pi)), Op("rz", (q,), rng.uniform(0, 2 * math.pi))]
        ops += [Op(pair, (q, q + 1)) for q in range(layer % 2 if brick else 0, n - 1, 2 if brick else 1)]
    return ops


random_layers = lambda n: layers(n, 4, "rx", "cx", True, 2024)  # noqa: E731
hardware_efficient = lambda n: layers(n, 6, "ry", "cz", False, 2025)  # noqa: E731


def qft_like(n: int) -> list[Op]:
    """The QFT without its final swaps, its controlled phases written as rz and cx."""
    ops = []
    for j in reversed(range(n)):
        ops.append(Op("h", (j,)))
        for k in reversed(range(j)):
            phi = math.pi / 2 ** (j - k)
            ops += [Op("rz", (k,), phi / 2), Op("rz", (j,), phi / 2), Op("cx", (k, j)),
                    Op("rz", (j,), -phi / 2), Op("cx", (k, j))]
    return ops


def sampling_prep(n: int, seed: int = 7) -> list[Op]:
    """ry on every qubit: a product state whose outcome weights all differ."""
    rng = random.Random(seed * 1000 + n)
    return [Op("ry", (q,), rng.uniform(0.3, 2.8)) for q in range(n)]


CALL_OPS = {op.label(): op for op in (Op("x", (0,)), Op("h", (0,)), Op("rz", (0,), ANGLE), Op("cx", (0, 1)))}
GATE_PEERS = {"velquin": (DEFAULT,), "Aer": (DEFAULT,), "qulacs": (DEFAULT,), "Lightning": (DEFAULT,)}
CIRCUIT_PEERS = {"velquin": (DEFAULT,), "Aer": (DEFAULT, "fusion off"), "qulacs": (DEFAULT, "fused"),
                 "qsim": (DEFAULT, "fusion 1"), "Lightning": (DEFAULT,)}


def _gates(two: bool) -> Workload:
    name = "2q gates" if two else "1q gates"
    return Workload(
        name, "engine", "gate", lambda n, case, quick: (n, gate_ops(n, two)[case], plus(n)), ALL_NS, GATE_PEERS,
        "one gate on a live register of n qubits in |+>^n (below 18 qubits 2^(18-n) calls per "
        "sample, the figure one call's time, Python call included)", quick_ns=(20,),
        cases=lambda n: list(gate_ops(n, two)), reps=lambda n: 15 if n <= 22 else 5,
        warm=lambda n: n <= 21, batch=lambda n: 2 ** max(0, 18 - n), yard_units=lambda p: 1.0,
        targets=(Target(f"{name}, n = 10 to 22: median <= 1.00, every row <= 1.25", lambda r: r.n <= 22,
                        limit=1.25, median=1.0),))


def _circuit(name: str, ops, fast_at: int | None) -> Workload:
    targets = [Target(f"{name}: every row <= 1.00")]
    if fast_at:
        targets.append(Target(f"{name}, n >= {fast_at}: every row <= 0.70",
                              lambda r: r.n >= fast_at, limit=0.7))
    return Workload(
        name, "engine", "circuit", lambda n, case, quick: (n, ops(n)), ALL_NS, CIRCUIT_PEERS,
        "from |0...0> to a state vector handed back to Python (velquin "
        "`QuantumCircuit.statevector()`; below 15 qubits 2^(15-n) runs per sample)",
        quick_ns=(18,), check="state", tolerance=1e-4, reps=lambda n: 7 if n <= 16 else 5 if n <= 20 else 3,
        warm=lambda n: n <= 21, batch=lambda n: 2 ** max(0, 15 - n), yard_units=lambda p: float(len(p[1])),
        targets=tuple(targets))


WORKLOADS = [
    _gates(False), _gates(True),
    _circuit("random circuit (4 layers)", random_layers, 22),
    _circuit("QFT-like circuit", qft_like, 22),
    _circuit("hardware-efficient ansatz (6 layers)", hardware_efficient, None),
    Workload("sampling", "engine", "sample", lambda n, case, quick: (n, sampling_prep(n), 10**6),
             (20, 26), {"velquin": (DEFAULT,), "Aer": (DEFAULT,), "qulacs": (DEFAULT,), "qsim": (DEFAULT,),
                        "Lightning": (DEFAULT,), "NumPy": (DEFAULT,)},
             "10^6 samples of all qubits of a product state made before timing (qsim also "
             "simulates the preparation)", quick_ns=(20,), reps=5, yard_units=lambda p: 1.0),
    Workload("calls", "engine", "calls", lambda n, case, quick: (CALL_OPS[case], 10**5), (2,),
             GATE_PEERS, "10^5 calls of one gate on a 2-qubit register, a Python loop",
             cases=lambda n: list(CALL_OPS), reps=5,
             targets=(Target("calls: every row below every peer", strict=True),)),
]
