#!/usr/bin/env bash
# Times velquin against Qiskit Aer, qulacs, qsim and PennyLane Lightning on this
# machine and writes results/latest.md, latest.json and latest.png.
#
#   benchmarks/run.sh                 full run (allow 45 minutes on 2 quiet cores)
#   benchmarks/run.sh --quick         n = 20 only, into results/quick/
#   benchmarks/run.sh --threads 4     thread count for every simulator
#                                     (default: the CPUs this process may use)
#   benchmarks/run.sh --only gates,sampling   a subset of the workloads
#   benchmarks/run.sh --sims velquin,qulacs   a subset of the simulators
#   benchmarks/run.sh --ns 24,26      these qubit counts instead of the profile's
#
# A run with --only, --sims or --ns writes into results/partial/ (or
# results/quick/ with --quick); only a complete run writes results/latest.*.
# Every simulator runs in worker processes of its own, one at a time.
#
# The peers live only in benchmarks/.venv (never velquin's dependencies);
# velquin is built from this checkout into it, in build/bench-<wheel tag>.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

usage="usage: benchmarks/run.sh [--quick] [--threads N] [--only LIST] [--sims LIST] [--ns LIST]"
quick=0
partial=0
harness_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1; harness_args+=(--quick) ;;
    --threads) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      harness_args+=(--threads "$2"); shift ;;
    --only|--sims|--ns) [ $# -ge 2 ] || { echo "$usage" >&2; exit 2; }
      partial=1; harness_args+=("$1" "$2"); shift ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
  shift
done
out=benchmarks/results
if [ "$quick" = 1 ]; then
  out=benchmarks/results/quick
elif [ "$partial" = 1 ]; then
  out=benchmarks/results/partial
fi

venv=benchmarks/.venv
built=0
benchmarks/venv.sh || built=$?
if [ "$built" = 2 ]; then
  # Never time a stale build: without a fresh one the velquin columns say why.
  echo "bench: velquin did not build; its columns will be n/a" >&2
  "$venv/bin/python" -m pip uninstall -q -y velquin >/dev/null 2>&1 || true
elif [ "$built" != 0 ]; then
  exit "$built"
fi

yard_dir=build/bench-yardstick
yard_lib="$yard_dir/librmw_pass.so"
yard_flags="-O3 -fopenmp -ffp-contract=off -fPIC -shared"
# Built for and run on this machine only, so it may use what the CPU has
# (never FMA: the pass must do exactly the multiply it says).
grep -qw avx2 /proc/cpuinfo && yard_flags="$yard_flags -mavx2"
if [ ! -f "$yard_lib" ] || [ benchmarks/yardstick/rmw_pass.cpp -nt "$yard_lib" ] ||
   [ "$(cat "$yard_dir/flags" 2>/dev/null)" != "$yard_flags" ]; then
  mkdir -p "$yard_dir"
  # shellcheck disable=SC2086
  g++ $yard_flags -o "$yard_lib" benchmarks/yardstick/rmw_pass.cpp
  echo "$yard_flags" > "$yard_dir/flags"
fi

export VELQUIN_BENCH_YARDSTICK_FLAGS="g++ $yard_flags"
export PYTHONUNBUFFERED=1
cd "$root/benchmarks"
exec "$root/$venv/bin/python" -m velquin_bench "${harness_args[@]}" \
  --yardstick "$root/$yard_lib" --out "$root/$out" \
  --earlier "$root/benchmarks/results/latest.json" \
  --command "benchmarks/run.sh${harness_args[*]:+ ${harness_args[*]}}"
