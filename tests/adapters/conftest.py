"""Adapter tests: one folder per framework, plus core/ for the shared package.

A folder whose framework is not installed is skipped, unless
VELQUIN_REQUIRE_FRAMEWORKS=1 (set by scripts/test.sh, so `make test` and CI
fail instead of passing without having tested an adapter).
"""

import importlib.util
import os

import pytest

# Folder -> the modules its tests import.
FRAMEWORKS = {
    "qiskit_adapter": ["qiskit", "qiskit_qasm3_import", "distributed", "scipy"],
    "pennylane": ["pennylane", "scipy"],
    "cirq": ["cirq", "scipy"],
}

collect_ignore_glob = []
_missing = {folder: [m for m in modules if importlib.util.find_spec(m) is None]
            for folder, modules in FRAMEWORKS.items()}
for _folder, _modules in _missing.items():
    if not _modules:
        continue
    if os.environ.get("VELQUIN_REQUIRE_FRAMEWORKS") == "1":
        raise pytest.UsageError(
            f"tests/adapters/{_folder} needs {', '.join(_modules)}, which is not installed "
            "(VELQUIN_REQUIRE_FRAMEWORKS=1 makes that a failure)")
    collect_ignore_glob.append(f"{_folder}/*")
