#!/usr/bin/env bash
# Regenerates docs/main-window.png: the program in a real X window under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target Zeitnahme
out=${1:-docs/main-window.png}
xvfb-run -a -s "-screen 0 800x600x24" sh -c "
  ./build/Zeitnahme & pid=\$!
  sleep 2
  /usr/bin/import -window root -crop 742x515+0+0 '$out'
  kill \$pid"
echo "wrote $out"
