#!/usr/bin/env bash
# Regenerates the pictures in docs/: the program as it starts, in a real X window
# under Xvfb, and the window after two runs timed from the keyboard and ranked.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target Zeitnahme window_shot
mkdir -p docs
xvfb-run -a -s "-screen 0 800x600x24" sh -c "
  ./build/Zeitnahme & pid=\$!
  sleep 2
  /usr/bin/import -window root -crop 742x515+0+0 docs/main-window.png
  kill \$pid"
xvfb-run -a -s "-screen 0 800x600x24" ./build/tools/window_shot docs/runs.png
echo "wrote docs/main-window.png docs/runs.png"
