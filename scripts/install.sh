#!/usr/bin/env bash
# Installs every system package the build, the tests, the benchmarks and the demo need
# (`install.sh clang`: the extra ones of `make sanitize` and `make fuzz`).
# Quick when everything is already there: it only calls apt-get for what is missing.
# Packages are installed without their recommendations, so every package whose files the build
# touches is named here; scripts/check_deps.py (run by `make test`) fails when one is not.
# `install.sh --list` prints every package named here, one a line.
set -euo pipefail
BASE=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-charts-dev libqt6opengl6-dev libgl1-mesa-dev libglu1-mesa-dev
  nlohmann-json3-dev libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth python3
)
CLANG=(clang libclang-rt-14-dev llvm-14 llvm lld)
case "${1:-}" in
  --list) printf '%s\n' "${BASE[@]}" "${CLANG[@]}"; exit 0 ;;
  clang) PKGS=("${CLANG[@]}") ;;
  *) PKGS=("${BASE[@]}") ;;
esac
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
