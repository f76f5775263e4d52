#!/usr/bin/env bash
# Times velquin against its peers (make bench; make bench ARGS='--quick --only qiskit').
# Makes benchmarks/.venv and builds velquin into it (venv.sh), compiles the yardstick, then
# runs the harness with every argument passed through: benchmarks/run.sh --help lists them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

venv=benchmarks/.venv
built=0
benchmarks/venv.sh || built=$?
if [ "$built" = 2 ]; then
  # Never time a stale build: without a fresh one the velquin columns say why.
  echo "bench: velquin did not build; its cells will say so" >&2
  "$venv/bin/python" -m pip uninstall -q -y velquin >/dev/null 2>&1 || true
elif [ "$built" != 0 ]; then
  exit "$built"
fi

yard_dir=build/bench-yardstick
yard_lib="$yard_dir/librmw_pass.so"
# Built for and run on this machine only, so it may use what the CPU has (never FMA: the
# pass must do exactly the multiply it says).
yard_flags="-O3 -fopenmp -ffp-contract=off -fPIC -shared"
grep -qw avx2 /proc/cpuinfo && yard_flags="$yard_flags -mavx2"
if [ ! -f "$yard_lib" ] || [ benchmarks/yardstick/rmw_pass.cpp -nt "$yard_lib" ] ||
   [ "$(cat "$yard_dir/flags" 2>/dev/null)" != "$yard_flags" ]; then
  mkdir -p "$yard_dir"
  # shellcheck disable=SC2086
  g++ $yard_flags -o "$yard_lib" benchmarks/yardstick/rmw_pass.cpp
  echo "$yard_flags" > "$yard_dir/flags"
fi

export VELQUIN_BENCH_YARDSTICK="$root/$yard_lib" VELQUIN_BENCH_YARDSTICK_FLAGS="g++ $yard_flags"
export PYTHONUNBUFFERED=1
cd "$root/benchmarks"
exec "$root/$venv/bin/python" -m velquin_bench "$@"
