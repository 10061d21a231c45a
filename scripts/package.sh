#!/usr/bin/env bash
# Builds the Debian package build-pkg/Zeitnahme_<version>_<arch>.deb (program only, prefix /usr).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-pkg -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZN_BUILD_TESTS=OFF
cmake --build build-pkg
(cd build-pkg && cpack -G DEB)
ls build-pkg/Zeitnahme_*.deb
