"""velquin.qubit at its edges: seeds, threads and executors, refusals, idle and deferred wires."""

import concurrent.futures
import multiprocessing
import os
import subprocess
import sys
from pathlib import Path

import numpy as np
import pennylane as qml
import pytest
from pennylane.exceptions import DeviceError
from pennylane_seeded_runs import fingerprint
from velquin_adapters import TooManyQubitsError

HERE = Path(__file__).resolve().parent


def fingerprint_in_child(seed, threads):
    env = dict(os.environ, OMP_NUM_THREADS=str(threads))
    result = subprocess.run([sys.executable, str(HERE / "pennylane_seeded_runs.py"), str(seed)],
                            capture_output=True, text=True, env=env, cwd=HERE, timeout=300)
    assert result.returncode == 0, result.stderr
    return result.stdout.strip()


def test_seeds_fix_every_sample_at_any_thread_count_and_on_any_executor():
    serial = fingerprint_in_child(5, threads=1)
    assert fingerprint_in_child(5, threads=2) == serial
    context = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(2, mp_context=context) as pool:
        assert fingerprint(5, executor=pool) == serial
    assert fingerprint(6) != serial


def test_consecutive_batches_draw_fresh_samples_and_exact_ones_draw_nothing():
    def sample():
        qml.Hadamard(0)
        return qml.sample(wires=0)

    def exact():
        qml.Hadamard(0)
        return qml.probs(wires=0)

    def first_two(interleave):
        dev = qml.device("velquin.qubit", wires=1, seed=np.random.default_rng(3))
        node = qml.QNode(sample, dev, shots=64)
        first = node()
        if interleave:
            qml.QNode(exact, dev)()
        return first, node()

    first, second = first_two(interleave=False)
    assert not np.array_equal(first, second)
    for ours, again in zip((first, second), first_two(interleave=True)):
        assert np.array_equal(ours, again)


@pytest.mark.parametrize("operation, named", [
    (lambda: qml.DepolarizingChannel(0.1, wires=0), "DepolarizingChannel"),
    (lambda: qml.Projector([1], wires=0), "Projector"),
    (lambda: qml.StatePrep(np.array([0.6, 0.8]), wires=0), "StatePrep"),
    (lambda: qml.measure(0, postselect=1), "Postselection"),
])
def test_what_is_not_exactly_unitary_is_refused_naming_it(operation, named):
    def circuit():
        qml.Hadamard(0)
        operation()
        return qml.expval(qml.Z(0))

    with pytest.raises((DeviceError, ValueError), match=named):
        qml.QNode(circuit, qml.device("velquin.qubit", wires=2))()


def test_only_acting_wires_are_simulated_and_more_than_thirty_are_refused():
    def tape(acting):
        ops = [qml.Hadamard(w) for w in range(acting)] + [qml.Identity(40),
                                                          qml.GlobalPhase(0.5, wires=41)]
        return qml.tape.QuantumScript(ops, [qml.expval(qml.Z(0)), qml.probs(wires=[2, 45])])

    dev = qml.device("velquin.qubit")
    assert dev.simulated_wires(tape(3)) == (0, 1, 2, 45)  # and the measured, idle 45
    ours = qml.execute([tape(3)], dev)[0]
    assert abs(ours[0]) < 1e-12 and np.allclose(ours[1], [0.5, 0, 0.5, 0], rtol=0, atol=1e-15)
    with pytest.raises(TooManyQubitsError, match="31 qubits"):
        dev.simulated_wires(tape(30))  # 30 acting and one measured


def test_mid_circuit_measurements_are_deferred_onto_extra_wires():
    def circuit():
        qml.Hadamard("a")
        qml.RX(0.7, wires="b")
        m = qml.measure("a", reset=True)
        qml.cond(m, qml.CRY)(1.1, wires=["b", "a"])
        return qml.probs(wires=["a", "b"]), qml.expval(m)

    ours = qml.QNode(circuit, qml.device("velquin.qubit"))()
    reference = qml.QNode(circuit, qml.device("default.qubit"), mcm_method="deferred")()
    for a, b in zip(ours, reference):
        assert np.max(np.abs(a - b)) < 1e-12
