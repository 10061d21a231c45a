#!/usr/bin/env bash
# Regenerates the pictures in docs/: the program as it starts, in a real X window
# under Xvfb, and the window after two runs timed from the keyboard and ranked.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target Zeitnahme window_shot standings_shot tst_livepage
mkdir -p docs
# Fresh settings, and no real serial port probed: the pictures show the defaults.
export XDG_CONFIG_HOME="$(mktemp -d)"
for n in $(seq 1 16); do echo "COM$n=/nonexistent/COM$n"; done |
  { echo "[Ports]"; cat; } > "$XDG_CONFIG_HOME/Zeitnahme.conf"
xvfb-run -a -s "-screen 0 800x600x24" sh -c "
  ./build/Zeitnahme & pid=\$!
  sleep 2
  /usr/bin/import -window root -crop 742x515+0+0 docs/main-window.png
  kill \$pid"
xvfb-run -a -s "-screen 0 800x600x24" ./build/tools/window_shot docs/runs.png
xvfb-run -a -s "-screen 0 1280x1024x24" ./build/tools/standings_shot /tmp/zn-shot
mv /tmp/zn-shot-wertung.png docs/standings.png && rm -f /tmp/zn-shot-laeufe.png
# The live page in headless Chromium during a two-car run: phone (dark and light) and desktop.
(cd docs && QT_QPA_PLATFORM=offscreen ../build/tests/tst_livepage shots >/dev/null)
echo "wrote docs/main-window.png docs/runs.png docs/live-phone.png docs/live-phone-light.png docs/live-desktop.png docs/standings.png"
