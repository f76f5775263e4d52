#!/usr/bin/env bash
# Builds velquin and runs the demo.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
scripts/build.sh --build
.venv/bin/python examples/demo.py
