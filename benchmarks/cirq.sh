#!/usr/bin/env bash
# velquin_cirq.Simulator against qsimcirq's QSimSimulator (fusion 1 and its default), with the
# same thread count; writes results/cirq.md.
#
#   benchmarks/cirq.sh                       3 rounds (about 10 minutes on a busy 2-CPU machine)
#   benchmarks/cirq.sh --rounds 5 --threads 2
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
echo "cirq bench: building velquin into $venv"
"$venv/bin/python" -m pip install -q --no-build-isolation --no-deps \
  "$root" -Cbuild-dir='build/bench-{wheel_tag}'

export PYTHONUNBUFFERED=1
exec "$venv/bin/python" benchmarks/cirq_simulator.py "$@"
