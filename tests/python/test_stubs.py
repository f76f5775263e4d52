"""The type stubs and the README reference describe the module as it is."""
import importlib.metadata
import importlib.util
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest
import velquin

ROOT = Path(__file__).resolve().parents[2]
STUBS = ROOT / "python" / "velquin-stubs"
NATIVE_STUBS = ROOT / "python" / "_velquin_native-stubs"
README = ROOT / "README.md"

needs_mypy = pytest.mark.skipif(importlib.util.find_spec("mypy") is None,
                                reason="mypy is not installed (requirements-dev.txt has it)")


@pytest.fixture(scope="module")
def mypy_env(tmp_path_factory):
    """An environment in which mypy sees this checkout's stubs and the velquin under test."""
    stub_dir = tmp_path_factory.mktemp("stubs")
    shutil.copy(STUBS / "__init__.pyi", stub_dir / "velquin.pyi")
    shutil.copy(NATIVE_STUBS / "__init__.pyi", stub_dir / "_velquin_native.pyi")
    env = dict(os.environ)
    env["MYPYPATH"] = str(stub_dir)
    import _velquin_native
    module_dirs = {str(Path(m.__file__).parent) for m in (velquin, _velquin_native)}
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [*sorted(module_dirs), env.get("PYTHONPATH")]))
    env["MYPY_CACHE_DIR"] = str(tmp_path_factory.mktemp("mypy-cache"))
    return env


def run_tool(args, env):
    return subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True,
                          env=env, cwd=ROOT, timeout=600)


@needs_mypy
@pytest.mark.parametrize("module", ["velquin", "_velquin_native"])
def test_stubs_match_the_runtime_module(mypy_env, module):
    result = run_tool(["mypy.stubtest", module], mypy_env)
    assert result.returncode == 0, result.stdout + result.stderr


@needs_mypy
def test_examples_type_check_strictly(mypy_env):
    result = run_tool(["mypy", "--strict", "examples"], mypy_env)
    assert result.returncode == 0, result.stdout + result.stderr


@needs_mypy
def test_stubs_reject_wrong_use(mypy_env, tmp_path):
    wrong = tmp_path / "wrong.py"
    wrong.write_text(
        "import velquin\n"
        "sv = velquin.StateVecPy(2)\n"
        "sv.h('0')\n"                       # a str is no qubit index
        "sv.cx(control=0, t=1)\n"           # cx's keywords are control and target
        "n: str = sv.length()\n"            # length() is an int
        "velquin.QuantumCircuit(2).apply_gates(velquin.QuantumCircuit(2))\n"
    )
    result = run_tool(["mypy", str(wrong)], mypy_env)
    assert result.returncode == 1
    assert sorted(int(m) for m in re.findall(r"wrong\.py:(\d+): error", result.stdout)) == [
        3, 4, 5, 6]


def test_installed_wheel_ships_the_stubs():
    try:
        files = importlib.metadata.files("velquin") or []
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("velquin is not installed from a distribution")
    dist = importlib.metadata.distribution("velquin")
    module = Path(velquin.__file__).resolve()
    if module.parent != Path(dist.locate_file("")).resolve():
        pytest.skip("the velquin under test is not the installed distribution")
    shipped = {str(f).replace(os.sep, "/"): f for f in files}
    assert "velquin-stubs/py.typed" in shipped
    stub = shipped["velquin-stubs/__init__.pyi"]
    assert Path(dist.locate_file(stub)).read_text() == (STUBS / "__init__.pyi").read_text()


def public_members(cls):
    return [name for name in vars(cls) if not name.startswith("__")]


def readme_section(heading):
    text = README.read_text(encoding="utf-8")
    start = text.index(heading)
    end = text.find("\n### ", start + len(heading))
    return text[start:end if end != -1 else None]


@pytest.mark.parametrize("cls", [velquin.StateVecPy, velquin.QuantumCircuit])
def test_readme_reference_lists_every_member(cls):
    section = readme_section(f"### `{cls.__name__}`")
    for name in public_members(cls):
        if name == "n_qubits":
            assert "`n_qubits`" in section
        else:
            assert f"`{name}(" in section, f"{cls.__name__}.{name} is missing from the README"


def message_constants():
    header = (ROOT / "src" / "base" / "messages.h").read_text(encoding="utf-8")
    texts = []
    for declaration in re.findall(r'const char\* k\w+\s*=\s*((?:\s*"[^"]*")+);', header):
        texts.append("".join(re.findall(r'"([^"]*)"', declaration)))
    return texts


def test_readme_quotes_every_user_visible_message():
    if not (ROOT / "src" / "base" / "messages.h").exists():
        pytest.skip("not a source checkout")
    readme = README.read_text(encoding="utf-8")
    texts = message_constants()
    assert "qubit index out of range" in texts
    missing = [t for t in texts if t not in readme]
    assert not missing, f"messages the README does not mention: {missing}"
