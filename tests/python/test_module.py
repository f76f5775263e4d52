"""The module object, the two classes and their member tables."""
import os
import subprocess
import sys
import textwrap

import pytest
import velquin
from velquin import QuantumCircuit, StateVecPy

SEP = "\n--\n\n"

# (name, text signature, descriptive text or None), in registration order.
STATEVEC_METHODS = [
    ("h_cpp", "($self, q)", "Hadamard on qubit q (using C++ backend)."),
    ("x_cpp", "($self, q)", None),
    ("cx_cpp", "($self, c, t)", None),
    ("amplitude", "($self, i)", "Return amplitude of basis index `i` as (re, im)."),
    ("amplitudes", "($self)", "Return full state vector as a NumPy array of complex128."),
    ("statevector", "($self)", "Alias for amplitudes(), matching earlier API."),
    ("length", "($self)", None),
    ("x", "($self, q)", "Pauli-X on qubit q."),
    ("y", "($self, q)", "Pauli-Y on qubit q."),
    ("z", "($self, q)", "Pauli-Z on qubit q."),
    ("h", "($self, q)", "Hadamard on qubit q."),
    ("s", "($self, q)", "Phase S gate (diag(1, i)) on qubit q."),
    ("sdg", "($self, q)", "S-dagger (phase -\u03c0/2) on qubit q."),
    ("t", "($self, q)", "T gate (diag(1, e^{i\u03c0/4})) on qubit q."),
    ("tdg", "($self, q)", "T-dagger on qubit q."),
    ("sx", "($self, q)", "\u221aX (SX) on qubit q. Matrix = (1/2)[[1+i, 1-i],[1-i,1+i]]."),
    ("rx", "($self, q, theta)", "RX(\u03b8) on qubit q: exp(-i \u03b8 X / 2)."),
    ("ry", "($self, q, theta)", "RY(\u03b8) on qubit q: exp(-i \u03b8 Y / 2)."),
    ("rz", "($self, q, theta)", "RZ(\u03b8) on qubit q: diag(e^{-i\u03b8/2}, e^{+i\u03b8/2})."),
    ("cx", "($self, control, target)", "Controlled-X on (control, target)."),
    ("swap", "($self, q1, q2)", "SWAP(q1, q2) exchanges the two qubits."),
    ("cy", "($self, control, target)", "Controlled-Y on (control, target)."),
    ("cz", "($self, control, target)", "Controlled-Z on (control, target)."),
    ("measure_counts", "($self, shots, seed=None)", "Sample counts dict of bitstrings -> counts."),
]

CIRCUIT_METHODS = [
    ("x", "($self, q)"), ("y", "($self, q)"), ("z", "($self, q)"), ("h", "($self, q)"),
    ("s", "($self, q)"), ("sdg", "($self, q)"), ("t", "($self, q)"), ("tdg", "($self, q)"),
    ("sx", "($self, q)"), ("rx", "($self, q, theta)"), ("ry", "($self, q, theta)"),
    ("rz", "($self, q, theta)"), ("cx", "($self, control, target)"), ("swap", "($self, q1, q2)"),
    ("cy", "($self, control, target)"), ("cz", "($self, control, target)"),
    ("run", "($self, shots, seed=None)"), ("statevector", "($self)"), ("apply_gates", "($self, sv)"),
]

NOARGS = {"amplitudes", "statevector", "length"}


def own_members(cls):
    return [k for k in cls.__dict__ if not k.startswith("__")]


def test_module_object():
    assert velquin.__all__ == ["StateVecPy", "QuantumCircuit"]
    assert velquin.__doc__ == ""
    assert velquin.StateVecPy is StateVecPy and velquin.QuantumCircuit is QuantumCircuit


@pytest.mark.parametrize("cls, signature", [(StateVecPy, "(n_qubits, seed=None)"),
                                            (QuantumCircuit, "(n_qubits)")])
def test_class_identity(cls, signature):
    assert cls.__module__ == "builtins"
    assert cls.__qualname__ == cls.__name__
    assert cls.__text_signature__ == signature
    assert cls.__doc__ is None
    assert cls.__base__ is object


def test_member_tables_in_registration_order():
    assert own_members(StateVecPy) == [m[0] for m in STATEVEC_METHODS] + ["n_qubits"]
    assert own_members(QuantumCircuit) == [m[0] for m in CIRCUIT_METHODS]


@pytest.mark.parametrize("name, signature, doc", STATEVEC_METHODS)
def test_statevec_member_docs(name, signature, doc):
    member = getattr(StateVecPy, name)
    assert member.__text_signature__ == signature
    assert member.__doc__ == doc


@pytest.mark.parametrize("name, signature", CIRCUIT_METHODS)
def test_circuit_member_docs(name, signature):
    member = getattr(QuantumCircuit, name)
    assert member.__text_signature__ == signature
    assert member.__doc__ is None


@pytest.mark.parametrize("name", sorted(NOARGS))
def test_noargs_members_refuse_arguments(name):
    sv = StateVecPy(1, seed=0)
    with pytest.raises(TypeError, match="takes no arguments"):
        getattr(sv, name)(1)


def test_n_qubits_attribute_is_read_only():
    sv = StateVecPy(3, seed=0)
    assert type(sv.n_qubits) is int and sv.n_qubits == 3
    assert StateVecPy.n_qubits.__doc__ in ("", None)
    with pytest.raises(AttributeError):
        sv.n_qubits = 4
    with pytest.raises(AttributeError):
        del sv.n_qubits
    with pytest.raises(AttributeError):
        sv.anything = 1
    with pytest.raises(AttributeError):
        QuantumCircuit(2).n_qubits
    with pytest.raises(AttributeError):
        QuantumCircuit(2).anything = 1


@pytest.mark.parametrize("cls", [StateVecPy, QuantumCircuit])
def test_classes_are_final_and_plain(cls):
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})
    obj = cls(2, seed=0) if cls is StateVecPy else cls(2)
    with pytest.raises(TypeError):
        len(obj)
    assert not hasattr(obj, "__dict__")
    with pytest.raises(TypeError):
        import weakref

        weakref.ref(obj)
    assert obj == obj and obj != (cls(2, seed=0) if cls is StateVecPy else cls(2))


def test_reimport_returns_same_module():
    del sys.modules["velquin"]
    try:
        import velquin as again

        assert again is velquin
    finally:
        sys.modules["velquin"] = velquin


def run_python(code, **env):
    environment = dict(os.environ, PYTHONPATH=os.pathsep.join(p for p in sys.path if p), **env)
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                          text=True, env=environment, timeout=120)


@pytest.mark.parametrize("legacy", [True, False])
def test_import_in_subinterpreter_fails(tmp_path, legacy):
    out = tmp_path / "result.txt"
    code = f"""
        import sys
        sys.path[:] = {sys.path!r}
        try:
            import velquin
            result = "imported"
        except ImportError as e:
            result = "ImportError: " + str(e)
        open({str(out)!r}, "w").write(result)
    """
    proc = run_python(f"""
        import sys, velquin
        code = {textwrap.dedent(code)!r}
        try:
            import _interpreters as api
            interp = api.create("legacy" if {legacy} else "isolated")
        except ImportError:
            import _xxsubinterpreters as api
            interp = api.create(isolated={not legacy})
        api.run_string(interp, code)
        api.destroy(interp)
    """)
    assert proc.returncode == 0, proc.stderr
    text = out.read_text()
    assert text.startswith("ImportError: ")
    if legacy:
        assert "sub-interpreters" in text


def test_missing_numpy_is_a_panic_not_import_error():
    proc = run_python("""
        import sys
        sys.modules["numpy"] = None
        import velquin
        sv = velquin.StateVecPy(1, seed=0)
        try:
            sv.amplitudes()
        except Exception:
            print("caught as Exception")
        except BaseException as e:
            t = type(e)
            print(t.__module__, t.__qualname__, str(e).startswith("Failed to access NumPy array API capsule"))
    """)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.split() == ["pyo3_runtime", "PanicException", "True"]
    assert "Failed to access NumPy array API capsule" in proc.stderr


def test_import_does_not_import_numpy():
    proc = run_python("""
        import sys, velquin
        sv = velquin.StateVecPy(2, seed=1)
        print("numpy" in sys.modules)
        sv.amplitudes()
        print("numpy" in sys.modules)
    """)
    assert proc.stdout.split() == ["False", "True"], proc.stderr


def test_no_deprecation_warning_from_numpy_import():
    proc = run_python("""
        import warnings, velquin
        warnings.simplefilter("error")
        velquin.StateVecPy(1, seed=0).amplitudes()
        print("ok")
    """)
    assert proc.stdout.strip() == "ok", proc.stderr
