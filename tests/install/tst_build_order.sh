#!/usr/bin/env bash
# The program's libraries compile side by side: no compile step waits until
# another library is archived, or a clean build on two cores runs one library
# after another with a core idle (moc steps used to wait for the libraries their
# target links). A table: target, folder of its objects.
set -euo pipefail
build=$1
[ -f "$build/build.ninja" ] || { echo "SKIP: not a Ninja build folder"; exit 77; }
fail=0
while read -r target folder; do
  objects=$(ninja -C "$build" -t inputs Zeitnahme | grep -- "^$folder/CMakeFiles/$target\.dir/.*\.o$" || true)
  if [ -z "$objects" ]; then
    echo "FAIL: the program has no objects of $target"
    fail=1
    continue
  fi
  for object in $objects; do
    archives=$(ninja -C "$build" -t inputs "$object" | grep -- '\.a$' | tr '\n' ' ' || true)
    if [ -n "$archives" ]; then
      echo "FAIL: $object waits for $archives"
      fail=1
    fi
  done
done <<'TABLE'
zn_core src/core
zn_widgets src/widgets
zn_grid src/grid
zn_serial src/serial
zn_office src/office
zn_web src/web
zn_web_resources src/web
zn_events src/events
zn_documents src/documents
zn_eventviews src/eventviews
zn_app src/app
zn_app_resources src/app
Zeitnahme src/app
TABLE
[ "$fail" -eq 0 ] && echo "no compile step of the program waits for a library"
exit "$fail"
