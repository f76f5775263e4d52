#!/usr/bin/env bash
# velquin_qiskit's primitives against Qiskit Aer's, with the same thread count;
# writes results/qiskit.md (and qiskit.json).
#
#   benchmarks/qiskit.sh                 both workloads, 5 alternating runs each
#   benchmarks/qiskit.sh --runs 3 --threads 2 --only estimator
#
# Uses the same benchmarks/.venv as run.sh (benchmarks/venv.sh makes it).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

benchmarks/venv.sh

export PYTHONUNBUFFERED=1
exec benchmarks/.venv/bin/python benchmarks/qiskit_primitives.py --out benchmarks/results "$@"
