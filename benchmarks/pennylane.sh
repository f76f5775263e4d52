#!/usr/bin/env bash
# velquin.qubit against lightning.qubit: 100 parameter-shift gradient steps of a 10-qubit,
# 4-layer hardware-efficient ansatz, same thread count; writes results/pennylane.md (and
# pennylane.json).
#
#   benchmarks/pennylane.sh        3 alternating runs per device, 1 thread and all CPUs
#   benchmarks/pennylane.sh --runs 1 --steps 10 --threads 1,2
#
# Uses the same benchmarks/.venv as run.sh (made here too when missing).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

benchmarks/venv.sh

export PYTHONUNBUFFERED=1
exec benchmarks/.venv/bin/python benchmarks/pennylane_gradients.py --out benchmarks/results "$@"
