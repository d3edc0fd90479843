#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests beside the code and the end-to-end tests.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh default
ctest --preset default
