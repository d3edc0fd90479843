#!/usr/bin/env bash
# Installs what the build needs from Debian's packages (only what is missing), then configures and
# builds with the given CMake preset (default: "default").
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${1:-default}

packages=(cmake make g++ libboost-dev libcli11-dev nlohmann-json3-dev libgtest-dev libgmock-dev
  valgrind libbenchmark-dev libelf-dev)
# The fuzzers build with clang and link its fuzzing runtime.
if [ "$preset" = fuzz ]; then packages+=(clang-14 libclang-rt-14-dev); fi
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages ${missing[*]}; run as root to install them" >&2
    exit 1
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

cmake --preset "$preset"
cmake --build --preset "$preset"
