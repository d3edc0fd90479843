#!/usr/bin/env bash
# Builds the launcher inside a Debian 11 (bullseye) root, so that it starts on every x86-64 Linux
# with glibc 2.17 or later, and checks that its symbol versions stay at that floor.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = "--help" ] || [ "${1:-}" = "-h" ]; then
  cat <<'USAGE'
usage: tools/build-portable.sh
Builds the launcher and the stand-in proxy library inside a Debian 11 (bullseye) root and writes
them to build-portable/bin. The root is made once with debootstrap, from the Debian archive that
the host's apt sources name, and kept in build-portable/root for later runs. Fails with one line
when a symbol of the launcher needs a version above GLIBC_2.17 or GLIBCXX_3.4.19. Runs as root;
installs debootstrap on the host when it is missing.
USAGE
  exit 0
fi
if [ $# -gt 0 ]; then
  echo "build-portable: unknown argument $1 (see --help)" >&2
  exit 1
fi

fail() {
  echo "build-portable: $*" >&2
  exit 1
}

out=build-portable
root=$out/root
suite=bullseye
# What the launcher and the stand-in need to build, and nothing more.
packages=(g++ make cmake libboost-dev)
glibc_floor=2.17
glibcxx_floor=3.4.19

[ "$(id -u)" -eq 0 ] || fail "must run as root: debootstrap and entering the root need it"
mkdir -p "$out"

# The Debian archive among the host's apt sources; the Release files name it, so apt's lists must
# have been fetched once.
debian_mirror() {
  apt-get indextargets --format '$(REPO_URI)' 'Label: Debian' 'Target-Of: deb' | head -n 1
}

if ! command -v debootstrap >/dev/null; then
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap; } \
    >"$out/apt.log" 2>&1 ||
    fail "cannot install debootstrap from the host's apt sources; see $out/apt.log"
fi

# The root is remade when it is missing, was left unfinished or was made for another package list.
stamp="$suite ${packages[*]}"
if [ "$(cat "$root/.korvel-root" 2>/dev/null)" != "$stamp" ]; then
  mirror=$(debian_mirror)
  if [ -z "$mirror" ]; then
    apt-get update -qq >/dev/null 2>&1 || true
    mirror=$(debian_mirror)
  fi
  [ -n "$mirror" ] || fail "no Debian archive among the host's apt sources (apt-get indextargets)"
  # Never remove a tree with something mounted in it.
  if awk -v r="$(realpath "$out")/root" 'index($5, r) == 1' /proc/self/mountinfo | grep -q .; then
    fail "something is mounted below $root; unmount it first"
  fi
  rm -rf "$root" "$root.partial"
  echo "build-portable: making the $suite root in $root from $mirror" >&2
  debootstrap --variant=minbase --include="$(IFS=,; echo "${packages[*]}")" \
    "$suite" "$root.partial" "$mirror" >"$out/debootstrap.log" 2>&1 ||
    fail "debootstrap of $suite from $mirror failed; see $out/debootstrap.log"
  echo "$stamp" >"$root.partial/.korvel-root"
  mv "$root.partial" "$root"
fi

# The sources, with their times kept so that the build in the root rebuilds only what changed.
rm -rf "$root/src"
mkdir "$root/src"
tar -C . --exclude=./.git --exclude='./build*' --exclude=./.cache -cf - . | tar -C "$root/src" -xf -

# A private mount namespace gives the root its own /proc, which ends with the command: nothing is
# left mounted, whatever happens to this script.
in_root() {
  unshare --mount-proc=/proc --root="$root" --wd=/ \
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LC_ALL=C "$@"
}
rm -rf "$out/bin"
in_root cmake -S /src -B /build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKORVEL_BUILD_TESTS=OFF -DKORVEL_BUILD_TOOLS=OFF >"$out/build.log" 2>&1 &&
  in_root cmake --build /build -j2 --target launcher qxzekztvrt >>"$out/build.log" 2>&1 ||
  fail "the build in the $suite root failed; see $out/build.log"

# Every symbol the launcher takes from the C and C++ libraries, with its version; any above the
# floor is named.
above=$(in_root objdump -T /build/bin/launcher |
  awk -v glibc="$glibc_floor" -v glibcxx="$glibcxx_floor" '
    function newer(a, b,   x, y, n, i) {
      n = split(a, x, ".")
      split(b, y, ".")
      for (i = 1; i <= n || i in y; i++) {
        if (x[i] + 0 != y[i] + 0) return x[i] + 0 > y[i] + 0
      }
      return 0
    }
    /\*UND\*/ && match($0, /GLIBC(XX)?_[0-9.]+/) {
      version = substr($0, RSTART, RLENGTH)
      split(version, part, "_")
      floor = part[1] == "GLIBC" ? glibc : glibcxx
      if (newer(part[2], floor)) {
        found = found sep $NF " needs " version
        sep = ", "
      }
    }
    END { print found }') || fail "cannot list the launcher's dynamic symbols with objdump"
[ -z "$above" ] ||
  fail "the launcher needs more than GLIBC_$glibc_floor and GLIBCXX_$glibcxx_floor: $above"

rm -rf "$out/bin.partial"
mkdir "$out/bin.partial"
cp "$root/build/bin/launcher" "$root/build/bin/libqxzekztvrt.so" "$out/bin.partial/"
mv "$out/bin.partial" "$out/bin"
echo "build-portable: wrote $out/bin/launcher" >&2
