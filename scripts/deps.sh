#!/usr/bin/env bash
# Installs the Debian packages Kelvara needs to build, test and run its demo.
# As root: apt-get update, then apt-get install of whatever is missing.
# Otherwise: prints the exact command to run and fails.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libpugixml-dev nlohmann-json3-dev libutf8proc-dev libcli11-dev libsystemd-dev
  libmp3lame-dev libid3-3.8.3-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libjpeg62-turbo-dev libpng-dev libxlsxwriter-dev
  libgtest-dev libgmock-dev
  ffmpeg python3 python3-mutagen python3-openpyxl python3-xlrd
)

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
