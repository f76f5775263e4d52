#!/usr/bin/env bash
# Runs the whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer:
# the C++ unit tests built instrumented, then pytest against an instrumented
# extension (the interpreter itself is not instrumented, so the sanitizer runtime is
# preloaded and Python's allocator is switched to malloc so every object is checked).
#   scripts/sanitize.sh [pytest arguments]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
jobs="$(nproc 2>/dev/null || echo 2)"
python=.venv/bin/python
[ -x "$python" ] || scripts/setup.sh

common=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELQUIN_SANITIZE=ON -DVELQUIN_WERROR=ON)
cmake -S . -B build/rel-asan-cpp "${common[@]}" -DVELQUIN_BUILD_MODULE=OFF \
  -DVELQUIN_BUILD_TESTS=ON >/dev/null
cmake --build build/rel-asan-cpp -j "$jobs" >/dev/null
cmake -S . -B build/rel-asan-py "${common[@]}" -DVELQUIN_BUILD_MODULE=ON \
  -DPython_EXECUTABLE="$root/$python" >/dev/null
cmake --build build/rel-asan-py -j "$jobs" >/dev/null

# A sanitizer report ends the process with a failure. Leak checking stays on for
# the C++ tests; the interpreter keeps some memory to the end by design, so it is
# off for pytest, where the leak tests measure growth instead. Tests that lower
# the address-space limit cannot run beside AddressSanitizer's reservations and
# are skipped (VELQUIN_UNDER_SANITIZER) or deselected.
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
echo "== C++ unit tests (ASan + UBSan)"
(cd build/rel-asan-cpp &&
  ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:allocator_may_return_null=1" \
    ctest --output-on-failure -j "$jobs") || status=1

echo "== Python tests (ASan + UBSan)"
asan_runtime="$(${CXX:-c++} -print-file-name=libasan.so)"
ubsan_runtime="$(${CXX:-c++} -print-file-name=libubsan.so)"
LD_PRELOAD="$asan_runtime $ubsan_runtime" \
  ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:allocator_may_return_null=1" \
  PYTHONMALLOC=malloc PYTHONPATH="$root/build/rel-asan-py/src/lib" \
  VELQUIN_UNDER_SANITIZER=1 \
  "$python" -m pytest -q -p no:cacheprovider tests/python \
  --deselect tests/python/test_conventions.py::test_too_large_register_raises_memory_error_naming_the_bytes \
  "$@" || status=1
exit $status
