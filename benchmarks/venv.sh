#!/usr/bin/env bash
# Every benchmark script starts here: makes benchmarks/.venv (a Python >= 3.12 from
# scripts/find_python.sh) with the pinned peers of requirements.txt, then builds velquin from
# this checkout into it (no build isolation, in build/bench-<wheel tag>, so rebuilds are
# incremental and never touch other builds). Exits 2 when only velquin's build failed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

venv=benchmarks/.venv
if [ ! -x "$venv/bin/python" ]; then
  py="$(scripts/find_python.sh)"
  echo "bench: creating $venv with $py"
  "$py" -m venv "$venv"
fi
stamp="$venv/.peers-installed"
if [ ! -f "$stamp" ] || [ benchmarks/requirements.txt -nt "$stamp" ]; then
  echo "bench: installing the peers"
  "$venv/bin/python" -m pip install -q --upgrade pip
  "$venv/bin/python" -m pip install -q -r benchmarks/requirements.txt
  touch "$stamp"
fi

echo "bench: building velquin into $venv"
"$venv/bin/python" -m pip install -q --no-build-isolation --no-deps \
  "$root" -Cbuild-dir='build/bench-{wheel_tag}' || exit 2
