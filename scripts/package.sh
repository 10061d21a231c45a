#!/usr/bin/env bash
# Builds the Debian package build-pkg/Zeitnahme_<version>_<arch>.deb (program only, prefix /usr).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --package
cmake -S . -B build-pkg -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZN_BUILD_TESTS=OFF -DZN_UNITY_BUILD=ON -DZN_PRECOMPILED_HEADERS=ON
cmake --build build-pkg
(cd build-pkg && cpack -G DEB)
deb=$(ls build-pkg/Zeitnahme_*.deb)
echo "$deb"
# Excel export needs libxlsxwriter at run time: the linker must have recorded it, so that
# dpkg-shlibdeps names the package.
depends=$(dpkg-deb -f "$deb" Depends)
if ! grep -q 'libxlsxwriter' <<<"$depends"; then
  echo "The package's Depends lacks libxlsxwriter: $depends" >&2
  exit 1
fi
# Debian's checks: an error (E:) fails the build; warnings are shown.
rc=0
lintian --tag-display-limit 0 "$deb" >build-pkg/lintian.txt 2>&1 || rc=$?
cat build-pkg/lintian.txt
if grep -q '^E: ' build-pkg/lintian.txt || [ "$rc" -ne 0 ]; then
  echo "lintian reports errors for $deb (exit code $rc)" >&2
  exit 1
fi
