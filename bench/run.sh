#!/usr/bin/env bash
# Builds the start-up benchmark with its own preset (installing what is missing) and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--help" ] || [ "${1:-}" = "-h" ]; then
  cat <<'USAGE'
usage: bench/run.sh [BENCHMARK OPTION...]
       bench/run.sh --qpa-copy [--scratch DIR] [--repetitions N]
Installs what the build needs, builds the bench preset into build-bench/, and runs
build-bench/bin/startup_benchmark with the options given (build-bench/bin/startup_benchmark
--help lists them, e.g. --benchmark_filter=REGEX); with --qpa-copy, it runs
build-bench/bin/qpa_copy_benchmark instead, which times qpa pack, embed, extract and strip beside
cp. The build's output goes to standard error, the benchmark's results and its targets to
standard output. Nothing is asserted: the exit status is non-zero only when the build or the
benchmark itself fails.
USAGE
  exit 0
fi

tools/setup.sh bench >&2
if [ "${1:-}" = "--qpa-copy" ]; then
  shift
  exec build-bench/bin/qpa_copy_benchmark "$@"
fi
exec build-bench/bin/startup_benchmark "$@"
