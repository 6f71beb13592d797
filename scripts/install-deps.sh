#!/usr/bin/env bash
# Installs what building and testing ORLUNE needs, from Debian 12's packages.
# With --runtime: only what building, packaging and running it needs.
set -euo pipefail
runtime_only=false
case "${1:-}" in
  "") ;;
  --runtime) runtime_only=true ;;
  *) echo "usage: $0 [--runtime]" >&2; exit 2 ;;
esac

packages=(
  cmake ninja-build g++ git python3
  libgtest-dev libgmock-dev
  qt6-base-dev nlohmann-json3-dev libcli11-dev
  xvfb xauth fonts-dejavu-core
  clang-format
  clang libclang-rt-14-dev valgrind
  debootstrap
  dpkg-dev file man-db bash-completion pre-commit
)
if $runtime_only; then
  packages=(cmake ninja-build g++ qt6-base-dev nlohmann-json3-dev libcli11-dev dpkg-dev file)
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if $runtime_only; then exit 0; fi

# KiCad 9 (kicad-cli is the tests' oracle) and its demo projects, from
# bookworm-backports; the recommended libraries are not needed.
installed=$(dpkg-query -W -f='${Status}\n' kicad kicad-demos 2>/dev/null | grep -c "install ok installed" || true)
if [ "$installed" -ne 2 ] || ! kicad-cli version >/dev/null 2>&1; then
  if ! grep -rqs "bookworm-backports" /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "deb http://deb.debian.org/debian bookworm-backports main" |
      $sudo tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    -t bookworm-backports kicad kicad-demos
  kicad-cli version >/dev/null
fi

# KiCad 6's demo projects (the oldest file format read), unpacked into the
# build folder where CMake looks for them.
kicad6_demos="$(cd "$(dirname "$0")/.." && pwd)/build/kicad6-demos"
if [ ! -d "$kicad6_demos/usr/share/kicad/demos" ]; then
  download=$(mktemp -d)
  chmod 777 "$download"  # apt downloads as its own user
  # The package lists may be stale or empty (a fresh container): refresh once.
  (cd "$download" && apt-get download -qq kicad-demos=6.0.11+dfsg-1 2>/dev/null) ||
    { $sudo apt-get update -qq && (cd "$download" && apt-get download -qq kicad-demos=6.0.11+dfsg-1); }
  mkdir -p "$kicad6_demos"
  dpkg-deb -x "$download"/kicad-demos_6.0.11*.deb "$kicad6_demos"
  rm -rf "$download"
fi

# KiCad 10 (the reference the tests hold ORLUNE to) is not in Debian 12: it
# lives in a Debian testing chroot with its demo projects; scripts/kicad-cli-10
# runs its kicad-cli. Built once, into a side folder that is renamed into
# place only when complete, so an interrupted run starts over cleanly.
kicad10_root="${ORLUNE_KICAD10_ROOT:-/var/lib/orlune/kicad10}"
build_kicad10() {
  local partial="$kicad10_root.partial" old
  # Never remove a folder something is still mounted into (a bind-mounted
  # /tmp would go with it); scripts/kicad-cli-10 mounts only in a namespace
  # of its own, so mounts here are someone else's.
  for old in "$partial" "$kicad10_root"; do
    [ -e "$old" ] || continue
    if grep -qs " $old/" /proc/mounts; then
      echo "install-deps: $old has mounts; unmount them first" >&2
      return 1
    fi
    $sudo rm -rf --one-file-system "$old" || return 1
  done
  $sudo mkdir -p "$(dirname "$kicad10_root")" || return 1
  # Debian 12's debootstrap has no script of its own for "forky": sid's fits.
  $sudo debootstrap --variant=minbase forky "$partial" http://deb.debian.org/debian \
    /usr/share/debootstrap/scripts/sid >/dev/null || return 1
  # The mirror may serve a dated snapshot, whose Release file has expired.
  $sudo chroot "$partial" apt-get -o Acquire::Check-Valid-Until=false update -qq || return 1
  $sudo chroot "$partial" /usr/bin/env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends kicad kicad-demos >/dev/null || return 1
  $sudo chroot "$partial" apt-get clean || return 1
  $sudo mv "$partial" "$kicad10_root"
}
if [ ! -x "$kicad10_root/usr/bin/kicad-cli" ] || [ ! -d "$kicad10_root/usr/share/kicad/demos" ]; then
  # The KiCad 9 oracle above is what the tests need; without KiCad 10 the
  # checks against it are skipped, so a failed chroot only warns.
  build_kicad10 || echo "install-deps: warning: KiCad 10 could not be installed in $kicad10_root" >&2
fi
