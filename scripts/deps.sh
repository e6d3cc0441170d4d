#!/usr/bin/env bash
# Installs the Debian packages Kelvara needs to build, test and run its demo, as listed in
# scripts/packages.txt.
# As root: apt-get update, then apt-get install of whatever is missing.
# Otherwise: prints the exact command to run and fails.
set -euo pipefail

# The list lives in packages.txt beside this script, one package per line, "#" for comments.
list="$(dirname "$0")/packages.txt"
packages=()
while IFS= read -r line || [[ -n "$line" ]]; do
  read -ra words <<<"${line%%#*}"
  packages+=("${words[@]}")
done <"$list"
[[ ${#packages[@]} -gt 0 ]] || { echo "No packages listed in $list" >&2; exit 1; }

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

[[ ${#missing[@]} -eq 0 ]] && exit 0

if [[ $(id -u) -eq 0 ]]; then
  echo "Installing missing packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
else
  echo "Kelvara needs these Debian packages, which are not installed:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  echo "Run that command (or run make as root) and try again." >&2
  exit 1
fi
