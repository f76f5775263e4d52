"""The shared adapter core and the companion engine against independent references: dense
matrices, central differences, exact density matrices."""

import concurrent.futures
import multiprocessing
import os
import pickle
import re
import subprocess
import sys
import textwrap
from collections import Counter
from pathlib import Path

import _velquin_native as va_native
import numpy as np
import pytest
import velquin_adapters as va
from scipy.stats import chisquare

S2 = 1 / np.sqrt(2)
FIXED = {
    "x": [[0, 1], [1, 0]], "y": [[0, -1j], [1j, 0]], "z": [[1, 0], [0, -1]],
    "h": [[S2, S2], [S2, -S2]], "s": [[1, 0], [0, 1j]], "sdg": [[1, 0], [0, -1j]],
    "t": [[1, 0], [0, np.exp(1j * np.pi / 4)]], "tdg": [[1, 0], [0, np.exp(-1j * np.pi / 4)]],
    "sx": [[(1 + 1j) / 2, (1 - 1j) / 2], [(1 - 1j) / 2, (1 + 1j) / 2]],
}


def random_unitary(rng, k):
    q, r = np.linalg.qr(rng.normal(size=(2 ** k, 2 ** k)) + 1j * rng.normal(size=(2 ** k, 2 ** k)))
    return np.ascontiguousarray(q * (np.diag(r) / abs(np.diag(r))))


def apply_matrix(state, n, matrix, qubits):
    """The dense-matrix model: member bit i of `matrix` is qubit qubits[i]."""
    k = len(qubits)
    axes = [n - 1 - q for q in reversed(qubits)]  # the matrix's high bit first
    tensor = np.moveaxis(state.reshape([2] * n), axes, range(k))
    tensor = (matrix @ tensor.reshape(2 ** k, -1)).reshape([2] * n)
    return np.moveaxis(tensor, range(k), axes).reshape(-1)


def random_gate_program(rng, n, used, count):
    """velquin's sixteen gates and payload operations (unitary, diagonal, permutation, Pauli
    words, with controls and values) on the qubits `used`, and the dense model's steps."""
    ops, steps = [], []
    for _ in range(count):
        kind = rng.integers(4)
        qubits = [int(q) for q in rng.permutation(used)]
        if kind == 0:
            name = sorted(FIXED)[rng.integers(len(FIXED))]
            ops.append(va.Op(name, (qubits[0],)))
            steps.append((np.array(FIXED[name]), (qubits[0],)))
            continue
        k = int(rng.integers(1, min(3, len(used)) + 1))
        controls = tuple(qubits[k:k + int(rng.integers(0, min(2, len(used) - k) + 1))])
        values = tuple(int(v) for v in rng.integers(0, 2, len(controls)))
        targets = tuple(qubits[:k])
        if kind == 1:
            m = random_unitary(rng, k)
            ops.append(va.Op("unitary", targets, controls, values, payload=m))
        elif kind == 2:
            d = np.exp(1j * rng.uniform(-np.pi, np.pi, 2 ** k))
            ops.append(va.Op("diagonal", targets, controls, values, payload=d))
            m = np.diag(d)
        else:
            perm = tuple(int(p) for p in rng.permutation(2 ** k))
            ops.append(va.Op("permutation", targets, controls, values, payload=perm))
            m = np.eye(2 ** k)[list(perm)]
        full = np.eye(2 ** (k + len(controls)), dtype=complex)
        on = sum(v << (k + i) for i, v in enumerate(values))
        full[on:on + 2 ** k, on:on + 2 ** k] = m
        steps.append((full, targets + controls))
    return ops, steps


@pytest.mark.parametrize("seed", range(4))
def test_program_state_matches_dense_reference_and_shrinking_changes_no_bit(seed):
    rng = np.random.default_rng(seed)
    used = sorted(rng.choice(9, 5, replace=False).tolist())
    ops, steps = random_gate_program(rng, 9, used, 60)
    full = va.state(va.Program(9, ops, global_phase=0.7))
    expected = np.zeros(2 ** 9, complex)
    expected[0] = np.exp(0.7j)
    for matrix, qubits in steps:
        expected = apply_matrix(expected, 9, matrix, qubits)
    np.testing.assert_allclose(full, expected, rtol=0, atol=1e-12)
    program = pickle.loads(pickle.dumps(va.Program(9, ops, global_phase=0.7)))
    layout, small = program.shrunk()
    assert layout.qubits == tuple(used) and small.n_qubits == 5
    index = sum(((np.arange(32) >> i) & 1) << q for i, q in enumerate(used))
    assert np.array_equal(full[index], va.state(small))  # never depends on register size
    assert not np.any(np.delete(full, index))


def pauli_matrix(n, paulis):
    """Kronecker product, qubit n - 1 first (the most significant bit)."""
    matrices = {"I": np.eye(2), "X": FIXED["x"], "Y": FIXED["y"], "Z": FIXED["z"]}
    m = np.eye(1)
    for q in reversed(range(n)):
        m = np.kron(m, matrices[paulis.get(q, "I")])
    return m


@pytest.mark.parametrize("n", [1, 5, 7])
def test_pauli_sums_match_dense_matrices(n):
    rng = np.random.default_rng(n)
    ops, _ = random_gate_program(rng, n, list(range(n)), 30)
    program = va.Program(n, ops)
    state = va.state(program)
    terms = [(complex(rng.normal(), rng.normal() * (i % 2)),
              {int(q): "XYZ"[rng.integers(3)] for q in rng.choice(n, rng.integers(0, n + 1), replace=False)})
             for i in range(12)]
    values = va.expectations(va.ExpectationJob(program, va.parameter_rows(None, 0),
                                               tuple(va.PauliSum.of([t]) for t in terms)))[0]
    for value, (c, paulis) in zip(values, terms):
        expected = c * np.vdot(state, pauli_matrix(n, paulis) @ state)
        assert value == pytest.approx(expected, rel=1e-12, abs=1e-12)


def test_more_than_thirty_active_qubits_is_refused_naming_the_count():
    program = va.Program(63, [va.Op("cx", (q, q + 1)) for q in range(0, 62, 2)])
    with pytest.raises(va.TooManyQubitsError, match="acts on 62 qubits; velquin simulates at most 30"):
        program.shrunk()
    layout = va.layout_of([(126,)], keep=range(100, 129))
    assert layout.n_qubits == 29 and layout.positions([0, 126]) == [None, 26]


def test_seeds_follow_the_documented_rule_and_differ_between_neighbours():
    words = np.random.SeedSequence(5, spawn_key=(2, 7)).generate_state(3, np.uint64)
    seeds = va.job_seeds(va.resolve_seed(5), (2, 7))
    assert seeds == (int(words[0]), int(words[1]) + (int(words[2]) << 64))
    neighbours = {va.job_seeds(root, path).velquin for root in range(4)
                  for path in [(0,), (1,), (0, 0), (0, 1), (1, 0)]}
    assert len(neighbours) == 20
    assert va.resolve_seed(None) != va.resolve_seed(None)
    with pytest.raises(ValueError):
        va.resolve_seed(-1)
    with pytest.raises(TypeError):
        va.resolve_seed(1.5)


def worker_job(job):
    return va.sample(job), os.environ.get("OMP_NUM_THREADS")


@pytest.mark.parametrize("n_jobs", [0, 1, 7, 19])
def test_executors_return_the_serial_results_in_order(n_jobs):
    program = va.Program(3, [va.Op("h", (0,)), va.Op("rx", (1,), params=(va.parameter(0),)),
                             va.Op("cx", (0, 2))], n_params=1)
    jobs = [va.SampleJob(program, np.array([[0.1 * s]]), 50, (s,)) for s in range(n_jobs)]
    serial = [va.sample(job) for job in jobs]
    with concurrent.futures.ThreadPoolExecutor(3) as pool:
        assert all(np.array_equal(a, b) for (a, _), b in zip(va.fan_out(worker_job, jobs, pool), serial))
    spawn = multiprocessing.get_context("spawn")
    with concurrent.futures.ProcessPoolExecutor(2, mp_context=spawn) as pool:
        results = va.fan_out(worker_job, jobs, pool)
    assert all(np.array_equal(a, b) for (a, _), b in zip(results, serial))
    assert all(threads == "1" for _, threads in results)


def test_installed_distribution_ships_the_adapters_and_their_extras():
    import importlib.metadata

    try:
        files = {str(f).replace(os.sep, "/") for f in importlib.metadata.files("velquin") or []}
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("velquin is not installed from a distribution")
    site = Path(importlib.metadata.distribution("velquin").locate_file("")).resolve()
    if Path(va.__file__).resolve().parents[1] != site:
        pytest.skip("the adapters under test come from the source tree, not the distribution")
    for package in ["velquin_adapters", "velquin_qiskit"]:
        assert {f"{package}/__init__.py", f"{package}/py.typed"} <= files
    extras = importlib.metadata.metadata("velquin").get_all("Provides-Extra")
    assert {"qiskit", "dask"} <= set(extras)
    requires = importlib.metadata.requires("velquin")
    assert [r for r in requires if "extra" not in r] == ["numpy>=1.26"]  # velquin itself


def random_parameterised_program(rng, n, n_params, count):
    """Library operations with angles on random qubits, controls, control values and phases."""
    table = va_native.operations()
    names = sorted(name for name, (targets, lead, params, payload) in table.items()
                   if params != 0 and payload in ("none", "word"))
    def angle():
        if rng.random() < 0.3:
            return float(rng.uniform(-3, 3))
        terms = tuple((int(rng.integers(n_params)), float(rng.uniform(-2, 2)))
                      for _ in range(rng.integers(1, 3)))
        return va.Linear(float(rng.uniform(-1, 1)) if rng.random() < 0.5 else 0.0, terms)
    ops = [va.Op("h", (q,)) for q in range(n)]
    while len(ops) < count:
        name = names[rng.integers(len(names))]
        targets, lead, params, payload = table[name]
        k = int(rng.integers(1, 4)) if targets is None else targets
        order = [int(q) for q in rng.permutation(n)]
        if k + lead + (name == "global_phase") > n:
            continue
        extra = int(rng.integers(name == "global_phase", min(2, n - k - lead) + 1))
        controls = tuple(order[k + lead:k + lead + extra])
        ops.append(va.Op(name, tuple(order[:k + lead]), controls,
                         tuple(int(v) for v in rng.integers(0, 2, extra)),
                         tuple(angle() for _ in range(params if params is not None else 2 ** k)),
                         "".join(rng.choice(list("XYZ"), k)) if payload == "word" else None,
                         angle() if rng.random() < 0.3 else None))
    return va.Program(n, ops, n_params)


def hermitian_observables(rng, n):
    terms = [(float(rng.normal()), {int(q): "XYZ"[rng.integers(3)]
                                    for q in rng.choice(n, rng.integers(1, n + 1), replace=False)})
             for _ in range(5)]
    matrix = rng.normal(size=(4, 4)) + 1j * rng.normal(size=(4, 4))
    qubits = tuple(int(q) for q in rng.choice(n, 2, replace=False))
    return [va.PauliSum.of(terms).native(), (qubits, np.ascontiguousarray(matrix + matrix.conj().T))]


@pytest.mark.parametrize("seed", range(3))
def test_adjoint_gradient_is_the_derivative_of_every_operation(seed):
    rng = np.random.default_rng(seed)
    program = random_parameterised_program(rng, 4, 3, 40).compiled()
    observables = hermitian_observables(rng, 4)
    x = rng.uniform(-2, 2, 3)
    values, jacobian = program.gradient(x, observables)
    np.testing.assert_allclose(values, program.expectations(x, observables).real, rtol=0, atol=1e-12)
    step = 1e-5
    for j in range(3):
        e = np.zeros(3)
        e[j] = step
        central = (program.expectations(x + e, observables).real
                   - program.expectations(x - e, observables).real) / (2 * step)
        np.testing.assert_allclose(jacobian[:, j], central, rtol=0, atol=1e-7)
    rows = np.stack([x, x + 0.1])
    batched_values, batched = program.gradient(rows, observables)
    assert batched.shape == (2, 2, 3) and np.array_equal(batched[0], jacobian)


def test_adjoint_gradient_has_the_same_bits_at_one_and_two_threads():
    rng = np.random.default_rng(7)
    program = random_parameterised_program(rng, 20, 4, 36).compiled()
    observables = hermitian_observables(rng, 20)
    x = rng.uniform(-2, 2, 4)
    one, two = (program.gradient(x, observables, threads=t) for t in (1, 2))
    assert np.array_equal(one[0], two[0]) and np.array_equal(one[1], two[1])


def test_adjoint_gradient_refuses_what_cannot_fit_before_making_any_state():
    body = textwrap.dedent("""
        import resource, numpy as np, _velquin_native as native
        n = 23
        program = native.Program(n, [("h", (q,)) for q in range(n)] +
                                 [("rx", (0,), (), (), ((0.0, ((0, 1.0),)),))], 1)
        program.state(np.array([0.1]))  # one state fits
        words = (np.array([0], np.uint64), np.array([1], np.uint64), np.array([1.0 + 0j]))
        size = next(int(l.split()[1]) * 1024 for l in open("/proc/self/status") if l.startswith("VmSize"))
        resource.setrlimit(resource.RLIMIT_AS, (size + (5 << n) * 16 // 2, resource.RLIM_INFINITY))
        try:
            program.gradient(np.array([0.3]), [words])
        except MemoryError as error:
            print(error)
    """)
    done = subprocess.run([sys.executable, "-c", body], capture_output=True, text=True, timeout=120,
                          env=dict(os.environ, OMP_NUM_THREADS="1"))
    assert done.returncode == 0, done.stderr
    assert re.fullmatch(r"cannot allocate 402653184 bytes for the adjoint method's states "
                        r"\(\d+ bytes available\)\n", done.stdout)


def embed(matrix, qubits, n):
    """The 2^n x 2^n operator of `matrix` (member bit i on qubits[i])."""
    k = len(qubits)
    full = np.zeros((2 ** n, 2 ** n), complex)
    for j in range(2 ** n):
        member = sum(((j >> q) & 1) << i for i, q in enumerate(qubits))
        base = j & ~sum(1 << q for q in qubits)
        for r in range(2 ** k):
            full[base | sum(((r >> i) & 1) << q for i, q in enumerate(qubits)), j] += matrix[r, member]
    return full


def random_dynamic_program(rng, n, n_clbits, count):
    """Unitaries, measurements (some with readout errors), resets, mixtures, Kraus channels
    and conditions on earlier bits, as Ops and as the steps of an exact reference."""
    ops, steps = [], []
    for _ in range(count):
        qubits = tuple(int(q) for q in rng.choice(n, int(rng.integers(1, 3)), replace=False))
        kind = rng.choice(["unitary", "measure", "reset", "mixture", "kraus"], p=[.4, .25, .1, .15, .1])
        condition = None
        if rng.random() < 0.3:
            bit = int(rng.integers(n_clbits))
            condition = (("bit", bit),) if rng.random() < 0.5 else (("bit", bit), ("not",))
        dynamic = (("condition", condition),) if condition else ()
        if kind == "unitary":
            u = random_unitary(rng, len(qubits))
            ops.append(va.Op("unitary", qubits, payload=u, dynamic=dynamic))
            steps.append(("kraus", [embed(u, qubits, n)], condition))
        elif kind == "measure":
            bit = int(rng.integers(n_clbits))
            readout = (float(rng.uniform(0, 0.4)), float(rng.uniform(0, 0.1))) if rng.random() < 0.6 else ()
            extra = (("clbits", (bit,)),) + ((("probabilities", readout),) if readout else ())
            ops.append(va.Op("measure", qubits[:1], dynamic=dynamic + extra))
            steps.append(("measure", (qubits[0], bit, readout), condition))
        elif kind == "reset":
            ops.append(va.Op("reset", qubits[:1], dynamic=dynamic))
            zero = np.array([[1, 0], [0, 0]], complex)
            flip = np.array([[0, 1], [0, 0]], complex)  # |0><1|
            steps.append(("kraus", [embed(zero, qubits[:1], n), embed(flip, qubits[:1], n)], condition))
        elif kind == "mixture":
            paulis = [np.eye(2), np.array([[0, 1], [1, 0]]), np.array([[1, 0], [0, -1]])]
            p = rng.dirichlet([4, 1, 1])
            branches = ((), (va.Op("x", qubits[:1]),), (va.Op("z", qubits[:1]),))
            ops.append(va.Op("mixture", (), dynamic=dynamic + (("probabilities", tuple(p)),
                                                              ("branches", branches))))
            steps.append(("kraus", [np.sqrt(pb) * embed(m, qubits[:1], n) for pb, m in zip(p, paulis)],
                          condition))
        else:
            g = float(rng.uniform(0.1, 0.6))
            ks = [np.array([[1, 0], [0, np.sqrt(1 - g)]], complex), np.array([[0, np.sqrt(g)], [0, 0]], complex)]
            ops.append(va.Op("kraus", qubits[:1], dynamic=dynamic + (("kraus", tuple(ks)),)))
            steps.append(("kraus", [embed(k, qubits[:1], n) for k in ks], condition))
    for q in range(min(n, n_clbits)):  # terminal measurements, some with readout errors
        readout = (0.3, 0.05) if q == 0 else ()
        extra = (("probabilities", readout),) if readout else ()
        ops.append(va.Op("measure", (q,), dynamic=(("clbits", (q,)),) + extra))
        steps.append(("measure", (q, q, readout), None))
    return va.Program(n, ops, n_clbits=n_clbits), steps


def exact_distribution(n, n_clbits, steps):
    """Classical bits -> probability, from density matrices kept per classical record."""
    rho = np.zeros((2 ** n, 2 ** n), complex)
    rho[0, 0] = 1
    branches = {(0,) * n_clbits: rho}
    for kind, what, condition in steps:
        out = {}
        for bits, r in branches.items():
            if condition is not None:
                holds = bool(bits[condition[0][1]]) != (len(condition) == 2)
                if not holds:
                    out[bits] = out.get(bits, 0) + r
                    continue
            if kind == "kraus":
                out[bits] = out.get(bits, 0) + sum(k @ r @ k.conj().T for k in what)
                continue
            qubit, bit, readout = what
            for outcome in (0, 1):
                projector = np.diag([((j >> qubit) & 1) == outcome for j in range(2 ** n)]).astype(complex)
                part = projector @ r @ projector
                flip = readout[outcome] if readout else 0.0
                for recorded, weight in ((outcome, 1 - flip), (1 - outcome, flip)):
                    if weight:
                        key = bits[:bit] + (recorded,) + bits[bit + 1:]
                        out[key] = out.get(key, 0) + weight * part
        branches = out
    return {bits: float(np.trace(r).real) for bits, r in branches.items()}


@pytest.mark.parametrize("seed", range(6))
def test_dynamic_shots_follow_the_exact_density_matrix(seed):
    # Chi-square at a false-alarm rate of 1e-4 per test (6 tests: about 6e-4 in all).
    rng = np.random.default_rng(seed)
    n, n_clbits, shots = 3, 3, 20000
    program, steps = random_dynamic_program(rng, n, n_clbits, 14)
    bits = va.run_shots(va.ShotsJob(program, va.parameter_rows(None, 0), shots, (seed,)))[0]
    want = exact_distribution(n, n_clbits, steps)
    got = Counter(map(tuple, bits.tolist()))
    keys = sorted(k for k in want if want[k] * shots >= 5)
    observed = [got.get(k, 0) for k in keys]
    expected = np.array([want[k] for k in keys]) * shots
    rest = shots - sum(observed)
    observed.append(rest)
    expected = np.append(expected, shots - expected.sum())
    keep = expected > 0
    assert chisquare(np.array(observed)[keep], expected[keep]).pvalue > 1e-4
    # A shot's bits depend only on the seed and its index: any thread count, any subset.
    again = va.run_shots(va.ShotsJob(program, va.parameter_rows(None, 0), 500, (seed,)))[0]
    assert np.array_equal(again, bits[:500])
    assert np.array_equal(program.compiled().run_shots(None, 500, seed, threads=1), again)
