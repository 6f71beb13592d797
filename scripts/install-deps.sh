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
