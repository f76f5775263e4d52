#!/usr/bin/env bash
# Builds everything and runs every test: the C++ unit tests through CTest,
# then the Python tests through pytest. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/build.sh

jobs="$(nproc 2>/dev/null || echo 2)"
cmake -S . -B build/cpp -DCMAKE_BUILD_TYPE=Release \
  -DVELQUIN_BUILD_MODULE=OFF -DVELQUIN_BUILD_TESTS=ON -DVELQUIN_WERROR=ON >/dev/null
cmake --build build/cpp -j "$jobs"

status=0
echo "== C++ unit tests (ctest)"
(cd build/cpp && ctest --output-on-failure -j "$jobs") || status=1
echo "== Python tests (pytest)"
.venv/bin/python -m pytest -q tests/python "$@" || status=1
echo "== Framework adapter tests (pytest)"
# A framework missing from .venv fails this run instead of skipping its tests.
VELQUIN_REQUIRE_FRAMEWORKS=1 .venv/bin/python -m pytest -q tests/adapters "$@" || status=1
echo "== PennyLane's device test suite on velquin.qubit"
scripts/pennylane_device_suite.sh || status=1
exit $status
