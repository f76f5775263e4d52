"""One seeded batch on velquin.qubit; its fingerprint must not depend on where it ran.

Run as a script (seed as the argument), it prints the fingerprint of a serial run.
"""

import hashlib
import sys

import numpy as np
import pennylane as qml
from pennylane_circuits import random_circuit

WIRES = list(range(17))  # velquin threads its gates from 16 qubits on


def fingerprint(seed, executor=None):
    dev = qml.device("velquin.qubit", wires=WIRES, seed=seed, executor=executor)
    tapes = []
    for k in range(3):
        with qml.queuing.AnnotatedQueue() as q:
            random_circuit(WIRES, 60, k)()
        measurements = [qml.sample(wires=[16, 0, 3, 9]), qml.counts(qml.X(5) @ qml.Z(11)),
                        qml.expval(qml.Y(2))]
        tapes.append(qml.tape.QuantumScript(q.queue, measurements, shots=[300, 200]))
    exact = qml.tape.QuantumScript(tapes[0].operations, [qml.state()])
    results = qml.execute([*tapes, exact], dev)
    digest = hashlib.sha256()
    for result in results[:3]:
        for samples, counts, mean in result:
            digest.update(samples.tobytes())
            digest.update(repr(sorted(counts.items())).encode())
            digest.update(np.float64(mean).tobytes())
    digest.update(results[3].tobytes())
    return digest.hexdigest()


if __name__ == "__main__":
    print(fingerprint(int(sys.argv[1])))
