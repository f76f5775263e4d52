#!/usr/bin/env bash
# velquin.qubit against lightning.qubit: 100 parameter-shift gradient steps of a 10-qubit,
# 4-layer hardware-efficient ansatz, same thread count; writes results/pennylane.md (and
# pennylane.json).
#
#   benchmarks/pennylane.sh                       3 alternating runs per device
#   benchmarks/pennylane.sh --runs 1 --steps 10 --threads 1
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
echo "pennylane bench: building velquin into $venv"
"$venv/bin/python" -m pip install -q --no-build-isolation --no-deps \
  "$root" -Cbuild-dir='build/bench-{wheel_tag}'

export PYTHONUNBUFFERED=1
exec "$venv/bin/python" benchmarks/pennylane_gradients.py --out benchmarks/results "$@"
