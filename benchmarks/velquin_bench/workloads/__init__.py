"""Every workload the harness knows, family by family (one report section and one
plot per family). A new workload is one more declaration in one of these lists."""
from . import engine, noise, via_cirq, via_pennylane, via_qiskit

WORKLOADS = [*engine.WORKLOADS, *via_qiskit.WORKLOADS, *via_cirq.WORKLOADS,
             *via_pennylane.WORKLOADS, *noise.WORKLOADS]
BY_NAME = {w.name: w for w in WORKLOADS}
FAMILIES = list(dict.fromkeys(w.family for w in WORKLOADS))
