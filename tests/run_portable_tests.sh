#!/usr/bin/env bash
# Builds the portable launcher in its Debian 11 root, runs the end-to-end suite against it, and
# runs it inside that root. Runs as root, after tests/run_tests.sh (which builds the suite).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/build-portable.sh
KORVEL_TEST_LAUNCHER="$PWD/build-portable/bin/launcher" ctest --preset default -L e2e
KORVEL_TEST_LAUNCHER="$PWD/build-portable/bin/launcher" build/tests/debian11_root_e2e_tests
