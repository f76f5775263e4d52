"""qsim through qsimcirq's compiled entry points, in single precision.

qsim keeps complex64 amplitudes (half the bytes of the others) and has no
call that applies one gate to a live register: every call simulates a whole
circuit from |0...0> and returns a new vector, so it has no single-gate or
per-call figure (a difference of two whole runs drowned one gate in noise).
Its sampler also simulates the preparation it samples from (a difference of
two runs was noise), so its sampling figure includes that. Circuits are
translated to qsim's form once, outside the timing. max_fused_gate_size 2 is
its default; 1 is the least fusion it offers (it cannot be switched off).
"""
from __future__ import annotations

import numpy as np

from ..circuits import Op, base_name
from .base import Simulator, Timed, Unsupported

SEED = 1


def cirq_op(cirq, line, op: Op):
    name, qs = base_name(op.name), [line[q] for q in op.qubits]
    plain = {"h": cirq.H, "x": cirq.X, "y": cirq.Y, "z": cirq.Z, "s": cirq.S,
             "sdg": cirq.S**-1, "t": cirq.T, "tdg": cirq.T**-1, "sx": cirq.X**0.5,
             "cx": cirq.CNOT, "cz": cirq.CZ, "swap": cirq.SWAP,
             "cy": cirq.ControlledGate(cirq.Y)}
    if name in plain:
        return plain[name].on(*qs)
    rotations = {"rx": cirq.rx, "ry": cirq.ry, "rz": cirq.rz}
    return rotations[name](op.theta).on(*qs)


class Qsim(Simulator):
    name = "qsim"
    distribution = "qsimcirq"
    precision = "complex64"

    def _options(self, n: int, ops: list[Op], fusion: bool) -> dict:
        import cirq
        import qsimcirq

        # qsim orders qubits the other way round from cirq: cirq's last qubit
        # is qsim's qubit 0, the least significant bit.
        line = list(reversed(cirq.LineQubit.range(n)))
        order = list(reversed(line))
        circuit = cirq.Circuit(cirq_op(cirq, line, op) for op in ops)
        if not ops:
            circuit = cirq.Circuit(cirq.I(line[0]))
        translated, _ = qsimcirq.QSimCircuit(circuit).translate_cirq_to_qsim(order)
        options = qsimcirq.QSimOptions(cpu_threads=self.threads,
                                       max_fused_gate_size=2 if fusion else 1)
        return dict(options.as_dict(), c=translated, s=SEED)

    @staticmethod
    def _module():
        import qsimcirq

        return qsimcirq.qsim

    def gate_state(self, n: int):
        raise Unsupported("no live register: every call simulates a whole circuit")

    def call_loop(self, op: Op, count: int) -> Timed:
        raise Unsupported("no per-gate call: every call simulates a whole circuit")

    def circuit_runner(self, n: int, ops: list[Op], fusion: bool) -> Timed:
        options, simulate = self._options(n, ops, fusion), self._module().qsim_simulate_fullstate

        def run():
            simulate(options, 0)

        return run

    def circuit_result(self, n: int, ops: list[Op], fusion: bool):
        options = self._options(n, ops, fusion)
        return self._module().qsim_simulate_fullstate(options, 0).view(np.complex64)

    def sampler(self, n: int, prep: list[Op], shots: int) -> Timed:
        options = self._options(n, prep, fusion=True)
        module = self._module()

        def run():
            module.qsim_sample_final(options, shots)

        return run
