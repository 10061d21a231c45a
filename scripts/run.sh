#!/usr/bin/env bash
# Installs what the program needs (no test tools), builds and starts Zeitnahme.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Unity build and precompiled Qt headers: the first build from a fresh clone is the wait.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZN_UNITY_BUILD=ON -DZN_PRECOMPILED_HEADERS=ON
# Only the program: tests and benchmarks are built by scripts/test.sh.
cmake --build build --target Zeitnahme
exec ./build/Zeitnahme
