#!/usr/bin/env bash
# Builds the data block fuzzers and runs each for SECONDS (default 60) from the seed corpus, with
# the dictionary. Exits non-zero when a fuzzer finds a crash, a sanitizer report or a broken
# invariant; the input that did it is kept in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
case "$seconds" in
  --help | -h)
    echo "usage: fuzz/run.sh [SECONDS]   run each data block fuzzer for SECONDS (default 60)"
    exit 0
    ;;
  '' | *[!0-9]*)
    echo "fuzz/run.sh: SECONDS must be a whole number, not '$seconds'" >&2
    exit 2
    ;;
esac

tools/setup.sh fuzz
bin=build-fuzz/bin
seeds=build-fuzz/seeds
rm -rf "$seeds"
"$bin/make_seed_corpus" "$seeds"
mkdir -p build-fuzz/artifacts

for fuzzer in parse_data_block_fuzzer read_data_block_fuzzer; do
  corpus=build-fuzz/corpus/$fuzzer
  mkdir -p "$corpus"
  echo "== $fuzzer for ${seconds}s"
  # The working corpus comes first: new inputs go there, the seeds stay as generated.
  "$bin/$fuzzer" "$corpus" "$seeds" -dict=fuzz/data_block.dict -max_len=20000 \
    -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/artifacts/"$fuzzer"- 2>&1 | grep -v '^#[0-9]*\s*\(NEW\|REDUCE\|pulse\)'
done
