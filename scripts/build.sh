#!/usr/bin/env bash
# Builds the extension into .venv (incremental: CMake keeps its tree in build/).
#   scripts/build.sh --build   with only the build's requirements in .venv (make demo)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/setup.sh "$@"
.venv/bin/python -m pip install -q --no-build-isolation --no-deps \
  -Ccmake.define.VELQUIN_WERROR=ON .
