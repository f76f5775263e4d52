#!/usr/bin/env bash
# Makes benchmarks/.venv (a Python >= 3.12 from scripts/find_python.sh) with the pinned peers of
# requirements.txt, then builds velquin into it without build isolation, so rebuilds are
# incremental and never touch other builds. Exits 2 when only velquin's build failed.
#
# VELQUIN_BENCH_SRC=DIR builds velquin from DIR instead of this checkout: while others edit src/
# the live tree may not compile, so the bench can use a snapshot of a commit, e.g.
#   git worktree add --detach /tmp/velquin-bench-src HEAD
#   VELQUIN_BENCH_SRC=/tmp/velquin-bench-src make bench ARGS=--quick
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

src="${VELQUIN_BENCH_SRC:-$root}"
# One build folder per source tree: a CMake cache remembers the tree it was made for.
build="$root/build/bench-$([ "$src" = "$root" ] && echo live || echo snapshot)-{wheel_tag}"
echo "bench: building velquin from $src into $venv"
"$venv/bin/python" -m pip install -q --no-build-isolation --no-deps "$src" \
  -Cbuild-dir="$build" || exit 2
git -C "$src" describe --always --dirty > "$venv/.velquin-commit" 2>/dev/null || true
