#!/usr/bin/env bash
# Installs what the program needs (no test tools), builds and starts Zeitnahme.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The first build from a fresh clone is the wait: a unity build with precompiled
# Qt headers and without debug information, in a folder of its own (test.sh
# builds with debug information in build/).
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZN_UNITY_BUILD=ON -DZN_PRECOMPILED_HEADERS=ON -DZN_DEBUG_INFO=OFF
# Only the program: tests and benchmarks are built by scripts/test.sh.
cmake --build build-run --target Zeitnahme
# The day's files (event database, journal, backup, pages) go where the installed
# program keeps them, never into this clone: a clean-up of the clone must not take
# a day's times along.
program=$(pwd)/build-run/Zeitnahme
data=${XDG_DATA_HOME:-$HOME/.local/share}/Zeitnahme
mkdir -p "$data"
cd "$data"
echo "Die Dateien des Tages liegen in $data"
exec "$program"
