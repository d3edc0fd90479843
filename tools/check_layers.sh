#!/usr/bin/env bash
# Fails when the folders depend on each other in a circle, through #include lines or CMake library
# links (a test's too), and names the edges; with --edges it lists them all. The layers read one
# way only while every dependency points one way.
set -euo pipefail
cd "$(dirname "$0")/.."

folders=()
for list in */CMakeLists.txt; do folders+=("${list%%/*}"); done

# The folder that defines each library.
declare -A home
for folder in "${folders[@]}"; do
  for library in $(grep -o 'add_library([A-Za-z0-9_]*' "$folder/CMakeLists.txt" | cut -d'(' -f2); do
    home[$library]=$folder
  done
done

edges=""
for folder in "${folders[@]}"; do
  for used in $(grep -rhoE '^#include "[a-z_]+/' "$folder" --include='*.h' --include='*.cc' |
                cut -d'"' -f2 | tr -d / | sort -u); do
    [ "$used" != "$folder" ] && edges+="$folder $used include"$'\n'
  done
  for token in $(tr '\n' ' ' <"$folder/CMakeLists.txt" |
                 grep -oE '(target_link_libraries|korvel_add_test)\([^)]*\)' | tr '()' '  '); do
    used=${home[$token]:-}
    [ -n "$used" ] && [ "$used" != "$folder" ] && edges+="$folder $used link"$'\n'
  done
done
edges=$(sort -u <<<"$edges" | sed '/^$/d')

if [ "${1:-}" = --edges ]; then echo "$edges"; fi
# tsort reads "A B" as A before B and fails on a loop, whatever its length.
if ! cut -d' ' -f1,2 <<<"$edges" | tsort >/dev/null 2>&1; then
  echo "check_layers: the folders depend on each other in a circle:" >&2
  { cut -d' ' -f1,2 <<<"$edges" | tsort 2>&1 >/dev/null || true; } | sed 's/^/  /' >&2
  echo "check_layers: every edge (from, to, through):" >&2
  sed 's/^/  /' <<<"$edges" >&2
  exit 1
fi
echo "check_layers: ${#folders[@]} folders, $(wc -l <<<"$edges") edges, all one way"
