#!/usr/bin/env bash
# Tests what users install: builds the sdist, builds from it one wheel per
# supported CPython (the extension uses the full C API, so each minor version
# gets its own wheel), installs each wheel into a fresh virtual environment and
# runs the Python tests and stubtest against the installed copy:
#   cpython 3.12 + newest NumPy, cpython 3.13 + newest NumPy,
#   cpython 3.12 + the oldest supported NumPy (1.26, the first with 3.12 wheels).
# Building from the sdist proves that it holds everything the build needs.
# Needs the two interpreters (PATH, pyenv or VELQUIN_PYTHON312/313) and PyPI.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
work="$root/build/check-wheels"
oldest_numpy="numpy==1.26.*"

# Finds a CPython of exactly this minor version, the way find_python.sh looks.
find_cpython() {
  local want="$1" var="VELQUIN_PYTHON${1/./}" c
  local candidates=()
  [ -n "${!var:-}" ] && candidates+=("${!var}")
  command -v "python$want" >/dev/null 2>&1 && candidates+=("$(command -v "python$want")")
  for d in "${PYENV_ROOT:-$HOME/.pyenv}"/versions/"$want".*; do
    [ -x "$d/bin/python3" ] && candidates+=("$d/bin/python3")
  done
  candidates+=("/usr/bin/python$want" "/usr/local/bin/python$want")
  for c in "${candidates[@]}"; do
    if [ -x "$c" ] && "$c" -c "import sys; sys.exit(sys.version_info[:2] != tuple(map(int, '$want'.split('.'))))" 2>/dev/null; then
      "$c" -c 'import sys; print(sys.executable)'
      return 0
    fi
  done
  echo "check_wheels: no CPython $want found; set $var" >&2
  return 1
}

step() { printf '\n== %s\n' "$*"; }

py312="$(find_cpython 3.12)"
py313="$(find_cpython 3.13)"
rm -rf "$work"
mkdir -p "$work/sdist" "$work/wheels"

step "sdist (scikit-build-core's own hook, in a throwaway environment)"
"$py312" -m venv "$work/tools"
"$work/tools/bin/python" -m pip install -q --disable-pip-version-check "scikit-build-core>=0.10"
"$work/tools/bin/python" -c "from scikit_build_core.build import build_sdist; build_sdist('$work/sdist')"
sdist="$(ls "$work"/sdist/velquin-*.tar.gz)"
tar -tzf "$sdist" | sed -n '1,400p' | awk -F/ '{print $2}' | sort | uniq -c | sort -rn | head -20

for py in "$py312" "$py313"; do
  step "wheel for $("$py" -V) from the sdist (isolated build: only the declared requirements)"
  "$py" -m pip wheel -q --disable-pip-version-check --no-deps -w "$work/wheels" "$sdist"
done
ls -l "$work/wheels"

status=0
# check NAME PYTHON NUMPY-REQUIREMENT
check() {
  local name="$1" py="$2" numpy_req="$3" venv="$work/venv-$1"
  step "$name: $("$py" -V), $numpy_req"
  "$py" -m venv "$venv"
  local tag
  tag="$("$venv/bin/python" -c 'import sys; print(f"cp{sys.version_info[0]}{sys.version_info[1]}")')"
  "$venv/bin/python" -m pip install -q --disable-pip-version-check \
    "$work"/wheels/velquin-*-"$tag"-"$tag"-*.whl "$numpy_req" pytest hypothesis mypy
  "$venv/bin/python" -c 'import numpy, velquin; print("numpy", numpy.__version__, "velquin from", velquin.__file__)'
  # Run outside the checkout's build trees; PYTHONPATH must not point at a local build.
  (env -u PYTHONPATH "$venv/bin/python" -m mypy.stubtest velquin) || { echo "$name: stubtest FAILED"; status=1; }
  (env -u PYTHONPATH "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python) ||
    { echo "$name: tests FAILED"; status=1; }
}
check py312 "$py312" "numpy"
check py313 "$py313" "numpy"
check py312-oldest-numpy "$py312" "$oldest_numpy"

step "result"
[ "$status" = 0 ] && echo "all wheel checks passed" || echo "some wheel checks FAILED"
exit "$status"
