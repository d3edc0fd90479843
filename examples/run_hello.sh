#!/usr/bin/env bash
# Builds everything, then deploys the sample application twice under build/hello and runs it:
# once with its archive beside the executable (hello + hello.qpa), once with it appended.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh default

bin=$PWD/build/bin
out=$PWD/build/hello
rm -rf "$out"

# A deployment: the executable, the proxy library beside it, and the version-specific runtime
# library in runtime/tzora64 (here the stand-in itself stands for it).
deploy() {
  mkdir -p "$1/runtime/tzora64"
  cp "$bin/libqxzekztvrt.so" "$1/"
  cp "$bin/libqxzekztvrt.so" "$1/runtime/tzora64/libqxzekztvrt.so.7.14.1"
}

deploy "$out/sidecar"
cp "$bin/launcher" "$out/sidecar/hello"
examples/hello/pack.sh "$bin/qpa" "$out/sidecar/hello.qpa"

deploy "$out/embedded"
"$bin/qpa" embed "$bin/launcher" "$out/sidecar/hello.qpa" -o "$out/embedded/hello"

status=0
for kind in sidecar embedded; do
  echo "== $kind: $out/$kind/hello one two"
  "$out/$kind/hello" one two || status=$?
  echo "== exit status $status"
done
exit "$status"
