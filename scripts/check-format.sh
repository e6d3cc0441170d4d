#!/usr/bin/env bash
# Fails, naming the files, when a C++ source of the repository differs from what clang-format
# makes of it under the repository's .clang-format. With --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format || true)
[[ -n "$format" ]] || { echo "clang-format is not installed (Debian package clang-format)" >&2; exit 1; }

mapfile -t files < <(git ls-files -co --exclude-standard -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' \
  'tests/*.h' 'fuzz/*.cpp' 'fuzz/*.h' 'bench/*.cpp' 'bench/*.h' | grep -v '^tests/fixtures/')
if [[ "${1:-}" == "--fix" ]]; then
  "$format" -i --style=file "${files[@]}"
  exit 0
fi
unformatted=()
for f in "${files[@]}"; do
  "$format" --style=file --dry-run -Werror "$f" >/dev/null 2>&1 || unformatted+=("$f")
done
if [[ ${#unformatted[@]} -gt 0 ]]; then
  echo "Not formatted with $format (run scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "All ${#files[@]} sources are formatted."
