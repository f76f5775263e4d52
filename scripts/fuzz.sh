#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for a bounded time.
#   scripts/fuzz.sh [seconds per target, default 60] [target ...]
# Exits non-zero when a target crashes or a check fails; the input that did it
# is saved as build/rel-fuzz/crash-* (add it to tests/fuzz/corpus/<target>/).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
seconds="${1:-60}"
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(sampler generator)

clangxx="$(command -v clang++ || command -v clang++-14 || true)"
if [ -z "$clangxx" ]; then
  echo "fuzz: clang++ not found (Debian: apt-get install clang-14 libclang-rt-14-dev)" >&2
  exit 2
fi
build=build/rel-fuzz
cmake -S tests/fuzz -B "$build" -DCMAKE_CXX_COMPILER="$clangxx" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="-g" >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target: ${seconds}s"
  if ! "$build/${target}_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=20 \
      -artifact_prefix="$build/" -print_final_stats=1 "$corpus" "tests/fuzz/corpus/$target" \
      2>&1 | tail -n 12; then
    status=1
  fi
done
exit $status
