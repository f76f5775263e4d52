#!/usr/bin/env bash
# PennyLane's own device test suite (pennylane.devices.tests) on velquin.qubit, run the way
# PennyLane documents for plugin authors (pytest --device): once exact (shots=None) and once
# with 10000 shots. -rs prints every skip with its reason; python/velquin_pennylane/README.md
# says why each is justified. Extra arguments go to both pytest runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
py=.venv/bin/python
# jax: the suite's JAX gradient tests skip without it, and nothing velquin.qubit declares
# justifies that skip.
if ! "$py" -c "import pennylane, jax, pytest_mock, flaky" 2>/dev/null; then
  echo "pennylane_device_suite: .venv lacks pennylane, jax, pytest-mock or flaky (scripts/setup.sh installs them)" >&2
  exit 1
fi
suite="$("$py" -c 'from pennylane.devices.tests import get_device_tests; print(get_device_tests())')"
status=0
for shots in None 10000; do
  echo "== PennyLane device suite on velquin.qubit, shots=$shots"
  "$py" -m pytest "$suite" --device velquin.qubit --shots "$shots" -q -rs -p no:cacheprovider \
    --no-flaky-report --disable-warnings "$@" || status=1
done
exit $status
