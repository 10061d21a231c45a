#!/usr/bin/env bash
# Each addition of the main window is a folder of its own under src/app and knows
# no other addition: what two of them share lies below them (src/events, src/core,
# src/eventviews, src/documents) or goes through the window.
set -euo pipefail
app=$(cd "$(dirname "$0")/../../src/app" && pwd)
fail=0
for folder in "$app"/*/; do
  folder=${folder%/}
  name=$(basename "$folder")
  for file in "$folder"/*.cpp "$folder"/*.h; do
    [ -e "$file" ] || continue
    for header in $(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file"); do
      for other in "$app"/*/; do
        other=${other%/}
        [ "$other" = "$folder" ] && continue
        if [ -e "$other/$(basename "$header")" ]; then
          echo "FAIL: $name/$(basename "$file") includes $(basename "$other")/$(basename "$header")"
          fail=1
        fi
      done
    done
  done
done
units=$(find "$app" -maxdepth 1 -name '*.cpp' | wc -l)
if [ "$units" -gt 22 ]; then
  echo "FAIL: $units units directly in src/app; additions belong in folders of their own"
  fail=1
fi
[ "$fail" -eq 0 ] && echo "no addition includes another; $units units in src/app"
exit "$fail"
