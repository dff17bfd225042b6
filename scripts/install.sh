#!/usr/bin/env bash
# Installs every system package the build, the tests and the demo need.
# Quick when everything is already there: it only calls apt-get for what is missing.
set -euo pipefail
PKGS=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev libgl1-mesa-dev
  nlohmann-json3-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth python3
)
# Extra packages for the sanitizer and fuzz builds: `install.sh clang`.
if [ "${1:-}" = "clang" ]; then
  PKGS=(clang libclang-rt-14-dev)
fi
missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install.sh: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
