#!/usr/bin/env bash
# Makes the project-local virtual environment (.venv) with a Python >= 3.12
# and the packages the build and the tests need, the adapters' frameworks
# included; installs GoogleTest from the distribution when it is missing. Safe to run again: it only adds what lacks.
#   scripts/setup.sh --build   only what building the extension needs (make demo)
set -euo pipefail
build_only=0
[ "${1:-}" = "--build" ] && build_only=1
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

if [ ! -x .venv/bin/python ]; then
  py="$(scripts/find_python.sh)"
  echo "setup: creating .venv with $py"
  "$py" -m venv .venv
fi

build_stamp=.venv/.velquin-build-deps
if [ ! -f "$build_stamp" ] || [ requirements-build.txt -nt "$build_stamp" ]; then
  .venv/bin/python -m pip install -q --upgrade pip
  .venv/bin/python -m pip install -q -r requirements-build.txt
  touch "$build_stamp"
fi
[ "$build_only" = 1 ] && exit 0

stamp=.venv/.velquin-deps
if [ ! -f "$stamp" ] || [ requirements-dev.txt -nt "$stamp" ] || [ pyproject.toml -nt "$stamp" ]; then
  .venv/bin/python -m pip install -q -r requirements-dev.txt
  # The frameworks the adapters' tests need: every optional extra of pyproject.toml but "test".
  extras="$(mktemp)"
  .venv/bin/python - >"$extras" <<'PY'
import tomllib
with open("pyproject.toml", "rb") as f:
    extras = tomllib.load(f)["project"].get("optional-dependencies", {})
print("\n".join(req for name, reqs in extras.items() if name != "test" for req in reqs))
PY
  .venv/bin/python -m pip install -q -r "$extras"
  rm -f "$extras"
  touch "$stamp"
fi

have_gtest() {
  [ -f /usr/lib/x86_64-linux-gnu/cmake/GTest/GTestConfig.cmake ] ||
    [ -f /usr/lib/cmake/GTest/GTestConfig.cmake ] ||
    [ -f /usr/local/lib/cmake/GTest/GTestConfig.cmake ]
}
if ! have_gtest; then
  echo "setup: installing GoogleTest (libgtest-dev)"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq libgtest-dev >/dev/null
fi
