#!/usr/bin/env bash
# Installs what the program and the tests need, builds everything and runs every test offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --tests
# Unity build and precompiled headers as in run.sh, here with debug information.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZN_UNITY_BUILD=ON -DZN_PRECOMPILED_HEADERS=ON
cmake --build build
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure
