#!/bin/sh
# Packs the sample application into an archive: pack.sh QPA OUT, where QPA is the qpa tool.
set -eu
if [ "$#" -ne 2 ]; then
  echo "usage: pack.sh QPA OUT" >&2
  exit 2
fi
exec "$1" pack "$(dirname "$0")/hello.payload" -o "$2" \
  --start-message "Starting the Korvel hello sample" \
  --complete-message "The Korvel hello sample is ready"
