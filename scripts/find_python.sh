#!/usr/bin/env bash
# Prints the path of a CPython >= 3.12 interpreter, or fails.
# Looks at PATH first, then at pyenv's and the system's install locations,
# and checks every candidate by running it (pyenv shims exist even when the
# version behind them is not active).
set -u
want_ok() { "$1" -c 'import sys; sys.exit(0 if sys.version_info >= (3, 12) else 1)' >/dev/null 2>&1; }
candidates=()
[ -n "${VELQUIN_PYTHON:-}" ] && candidates+=("$VELQUIN_PYTHON")
for v in 3.12 3.13 3.14; do
  command -v "python$v" >/dev/null 2>&1 && candidates+=("$(command -v "python$v")")
done
pyroot="${PYENV_ROOT:-$HOME/.pyenv}"
for d in "$pyroot"/versions/3.12* "$pyroot"/versions/3.13* "$pyroot"/versions/3.14*; do
  [ -x "$d/bin/python3" ] && candidates+=("$d/bin/python3")
done
for p in /usr/bin/python3.12 /usr/bin/python3.13 /usr/local/bin/python3.12 /usr/local/bin/python3.13 python3; do
  command -v "$p" >/dev/null 2>&1 && candidates+=("$(command -v "$p")")
done
for c in "${candidates[@]}"; do
  if want_ok "$c"; then
    "$c" -c 'import sys; print(sys.executable)'
    exit 0
  fi
done
echo "no Python >= 3.12 found; set VELQUIN_PYTHON to one" >&2
exit 1
