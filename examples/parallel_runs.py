"""Many circuits on many cores: a process pool, one single-threaded simulation per process.

Registers and circuits cannot be pickled, so each job is a small description
(qubit count, depth, seed) from which the worker builds its own circuit. The
"spawn" start method gives every worker a fresh interpreter; "forkserver" works
too. Results never depend on where or how they ran: the pool returns exactly
the counts that a serial loop returns.

Run: python examples/parallel_runs.py
"""

import concurrent.futures
import multiprocessing
import os
import random
import time

import velquin

Job = tuple[int, int, int]  # (n_qubits, layers, seed)


def random_circuit(n: int, layers: int, seed: int) -> velquin.QuantumCircuit:
    rng = random.Random(seed)
    qc = velquin.QuantumCircuit(n)
    for layer in range(layers):
        for q in range(n):
            qc.rx(q, rng.uniform(0, 2 * 3.141592653589793))
            qc.rz(q, rng.uniform(0, 2 * 3.141592653589793))
        for q in range(layer % 2, n - 1, 2):
            qc.cx(q, q + 1)
    return qc


def simulate(job: Job) -> dict[str, int]:
    n, layers, seed = job
    return random_circuit(n, layers, seed).run(2000, seed=seed)


def main() -> None:
    jobs: list[Job] = [(16, 20, seed) for seed in range(12)]
    workers = min(4, len(os.sched_getaffinity(0)))
    # The processes already fill the cores; one thread each avoids oversubscription.
    # Spawned workers inherit this environment.
    os.environ["OMP_NUM_THREADS"] = "1"

    start = time.perf_counter()
    context = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(max_workers=workers, mp_context=context) as pool:
        parallel = list(pool.map(simulate, jobs))
    parallel_time = time.perf_counter() - start

    start = time.perf_counter()
    serial = [simulate(job) for job in jobs]
    serial_time = time.perf_counter() - start

    print(f"{len(jobs)} circuits of 16 qubits on {workers} worker processes: {parallel_time:.2f} s")
    print(f"the same circuits in one process: {serial_time:.2f} s")
    print(f"identical to a serial run: {parallel == serial}")


if __name__ == "__main__":
    main()
