#!/usr/bin/env bash
# velquin_qiskit's primitives against Qiskit Aer's, with the same thread count;
# writes results/qiskit.md (and qiskit.json).
#
#   benchmarks/qiskit.sh                 both workloads, 5 alternating runs each
#   benchmarks/qiskit.sh --runs 3 --threads 2 --only estimator
#
# Uses the same benchmarks/.venv as run.sh (made here too when missing).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

venv=benchmarks/.venv
if [ ! -x "$venv/bin/python" ]; then
  "$(scripts/find_python.sh)" -m venv "$venv"
fi
stamp="$venv/.peers-installed"
if [ ! -f "$stamp" ] || [ benchmarks/requirements.txt -nt "$stamp" ]; then
  "$venv/bin/python" -m pip install -q --upgrade pip
  "$venv/bin/python" -m pip install -q -r benchmarks/requirements.txt
  touch "$stamp"
fi
echo "qiskit bench: building velquin into $venv"
"$venv/bin/python" -m pip install -q --no-build-isolation --no-deps \
  "$root" -Cbuild-dir='build/bench-{wheel_tag}'

export PYTHONUNBUFFERED=1
exec "$venv/bin/python" benchmarks/qiskit_primitives.py --out benchmarks/results "$@"
