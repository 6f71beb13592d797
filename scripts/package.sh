#!/usr/bin/env bash
# Builds the Debian package from the CI build (no second compile) and tries
# it as a KiCad user would on this machine: installs it with apt, runs
# `orlune --version`, `update` and `verify` on a copy of KiCad's "video"
# demo, finds the man page and the bash completion, removes it and checks
# that none of its files is left. Needs root (CI is root on a fresh machine).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${ORLUNE_PACKAGE_BUILD:-build/ci}

if [ ! -f "$build/CPackConfig.cmake" ]; then cmake --preset ci >/dev/null; fi
# Where a package's files go decides the zsh completion's folder; nothing
# compiled depends on it.
cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build" --target orlune
rm -rf build/package
mkdir -p build/package
(cd build/package && cpack --config "$root/$build/CPackConfig.cmake" -G DEB >/dev/null)
cd build/package
deb=$(echo orlune_*.deb)
echo "== $deb"
dpkg-deb -f "$deb" Package Version Depends
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
echo "$files"

if dpkg-query -W -f='${Status}' orlune 2>/dev/null | grep -q "install ok installed"; then
  echo "orlune is installed already; not touching it" >&2
  exit 1
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./"$deb" >/dev/null
trap 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq orlune >/dev/null 2>&1 || true' EXIT

installed=$(command -v orlune)
[ "$installed" = /usr/bin/orlune ] || { echo "orlune is not /usr/bin/orlune: $installed" >&2; exit 1; }
orlune --version
man -w orlune
man orlune 2>/dev/null | grep -q "orlune update" || { echo "man orlune does not show the page" >&2; exit 1; }
# The completion completes a command's name.
completed=$(bash -c 'source /usr/share/bash-completion/bash_completion 2>/dev/null || true
  source /usr/share/bash-completion/completions/orlune
  COMP_LINE="orlune upd"; COMP_POINT=10; COMP_WORDS=(orlune upd); COMP_CWORD=1; _orlune; echo "${COMPREPLY[*]}"')
[ "$completed" = update ] || { echo "bash completion of 'orlune upd' gave '$completed'" >&2; exit 1; }

demo=/usr/share/kicad/demos/video
if [ -d "$demo" ]; then
  work=$(mktemp -d)
  cp -r "$demo" "$work/video"
  summary=$(cd "$work/video" && orlune update video.kicad_pro)
  echo "$summary"
  case "$summary" in
    "video.kicad_pro: "*" texts placed on "*"reload the schematic in KiCad") ;;
    *) echo "update printed no summary line" >&2; exit 1 ;;
  esac
  (cd "$work/video" && orlune verify video.kicad_pro)
  # The window under Xvfb after Update on a fresh copy: its title names the
  # project and the box reminds the user to reload.
  if command -v xvfb-run >/dev/null; then
    rm -rf "$work/video" && cp -r "$demo" "$work/video"
    boxes=$(cd "$work/video" && QT_QPA_PLATFORM=xcb xvfb-run -a orlune gui video.kicad_pro \
      --screenshot "$root/build/package/window-after-update.png" --pass update 2>&1)
    grep -q "Reload the schematic in KiCad" <<<"$boxes" || { echo "the window gave no reload reminder: $boxes" >&2; exit 1; }
    [ -s "$root/build/package/window-after-update.png" ]
  fi
  rm -rf "$work"
  # The pre-commit hook with the installed orlune.
  "$root/scripts/test-precommit-hook.sh"
fi

DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq orlune >/dev/null
trap - EXIT
if dpkg-query -W -f='${Status}' orlune 2>/dev/null | grep -q "installed"; then
  echo "orlune is still installed after apt-get remove" >&2
  exit 1
fi
left=0
while read -r f; do
  if [ -n "$f" ] && [ -e "$f" ]; then echo "left after removal: $f" >&2; left=1; fi
done <<<"$files"
[ "$left" -eq 0 ]
echo "package ok: installed, ran, removed without a trace"
