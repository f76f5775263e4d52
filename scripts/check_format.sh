#!/usr/bin/env bash
# Checks that every C++ file under src/ and tests/ is formatted as .clang-format
# says, with Debian's clang-format (version 14); --fix formats them instead.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
tool="$(command -v clang-format-14 || command -v clang-format || true)"
if [ -z "$tool" ]; then
  echo "check_format: clang-format not found (Debian: apt-get install clang-format)" >&2
  exit 2
fi
mapfile -t files < <(git ls-files 'src/*.h' 'src/*.cpp' 'tests/*.h' 'tests/*.cpp')
if [ "${1:-}" = "--fix" ]; then
  "$tool" -i "${files[@]}"
else
  "$tool" --dry-run --Werror "${files[@]}"
  echo "check_format: ${#files[@]} files formatted as .clang-format says"
fi
