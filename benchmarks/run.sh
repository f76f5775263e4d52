#!/usr/bin/env bash
# make bench [ARGS='--quick --only qiskit']: venv.sh (peers, and velquin built into
# benchmarks/.venv), the yardstick compiled, then the harness with every argument passed
# through (benchmarks/run.sh --help lists them).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

built=0
benchmarks/venv.sh || built=$?
if [ "$built" = 2 ]; then  # never time a stale build: without a fresh one velquin's cells say why
  echo "bench: velquin did not build; its cells will say so" >&2
  benchmarks/.venv/bin/python -m pip uninstall -q -y velquin >/dev/null 2>&1 || true
elif [ "$built" != 0 ]; then
  exit "$built"
fi

# Built for and run on this machine only, so it may use what the CPU has (never FMA: the
# pass must do exactly the multiply it says).
yard=build/bench-yardstick/librmw_pass.so
flags="-O3 -fopenmp -ffp-contract=off -fPIC -shared$(grep -qw avx2 /proc/cpuinfo && echo ' -mavx2')"
if [ ! -f "$yard" ] || [ benchmarks/yardstick/rmw_pass.cpp -nt "$yard" ] || [ "$(cat "$yard.flags" 2>/dev/null)" != "$flags" ]; then
  mkdir -p "$(dirname "$yard")"
  # shellcheck disable=SC2086
  g++ $flags -o "$yard" benchmarks/yardstick/rmw_pass.cpp && echo "$flags" > "$yard.flags"
fi

export VELQUIN_BENCH_YARDSTICK="$root/$yard" VELQUIN_BENCH_YARDSTICK_FLAGS="g++ $flags" PYTHONUNBUFFERED=1
cd "$root/benchmarks"
exec "$root/benchmarks/.venv/bin/python" -m velquin_bench "$@"
