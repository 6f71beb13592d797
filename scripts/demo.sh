#!/usr/bin/env bash
# Builds orlune and runs Update and Status on a copy of the bundled example
# design, so the example in the repository stays as it is; then Update and
# Verify on a copy of KiCad's "video" demo project when KiCad's demos are
# installed (scripts/install-deps.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release >/dev/null
cmake --build --preset release --target orlune

work=build/demo
mkdir -p "$work"
cp examples/board.json "$work/board.json"
orlune=build/release/src/app/orlune

echo "== orlune update $work/board.json --list"
"$orlune" update "$work/board.json" --list
echo
echo "== orlune status $work/board.json"
"$orlune" status "$work/board.json"
echo
echo "The updated design is $work/board.json."

kicad_demo=/usr/share/kicad/demos/video
if [ -d "$kicad_demo" ]; then
  rm -rf "$work/video"
  cp -r "$kicad_demo" "$work/video"
  echo
  echo "== orlune update $work/video/video.kicad_pro"
  "$orlune" update "$work/video/video.kicad_pro"
  echo "== orlune verify $work/video/video.kicad_pro"
  "$orlune" verify "$work/video/video.kicad_pro"
  echo
  echo "The annotated KiCad project is $work/video; open it in KiCad or draw it with"
  echo "kicad-cli sch export svg $work/video/video.kicad_sch -o $work/video-svg"
fi
