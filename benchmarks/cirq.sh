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

benchmarks/venv.sh

export PYTHONUNBUFFERED=1
exec benchmarks/.venv/bin/python benchmarks/cirq_simulator.py "$@"
