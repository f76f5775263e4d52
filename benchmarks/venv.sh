#!/usr/bin/env bash
# Makes benchmarks/.venv (a Python >= 3.12 from scripts/find_python.sh) with the pinned peers of
# requirements.txt, then builds velquin into it without build isolation (incremental, apart from
# every other build). Exits 2 when only velquin's build failed. VELQUIN_BENCH_SRC=DIR builds
# velquin from DIR instead of this checkout: while others edit src/ the live tree may not
# compile, so the bench can time a snapshot (git worktree add --detach /tmp/velquin-bench-src HEAD).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

venv=benchmarks/.venv
[ -x "$venv/bin/python" ] || "$(scripts/find_python.sh)" -m venv "$venv"
if [ ! -f "$venv/.peers-installed" ] || [ benchmarks/requirements.txt -nt "$venv/.peers-installed" ]; then
  echo "bench: installing the peers"
  "$venv/bin/python" -m pip install -q --upgrade pip
  "$venv/bin/python" -m pip install -q -r benchmarks/requirements.txt
  touch "$venv/.peers-installed"
fi

src="${VELQUIN_BENCH_SRC:-$root}"
kind=$([ "$src" = "$root" ] && echo live || echo snapshot)  # a CMake cache knows its source tree
echo "bench: building velquin from $src into $venv"
"$venv/bin/python" -m pip install -q --no-build-isolation --no-deps "$src" \
  -Cbuild-dir="$root/build/bench-$kind-{wheel_tag}" || exit 2
git -C "$src" describe --always --dirty > "$venv/.velquin-commit" 2>/dev/null || true
