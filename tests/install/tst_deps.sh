#!/usr/bin/env bash
# The run command and the package install only what the program needs; the test command
# adds the test tools. A table: package, in the program's list, in the test command's list.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
program=$(bash "$root/scripts/install-deps.sh" --list)
all=$(bash "$root/scripts/install-deps.sh" --list --tests)
fail=0
check() { # package in-program in-tests
  local inp=no int=no
  grep -qx "$1" <<<"$program" && inp=yes
  grep -qx "$1" <<<"$all" && int=yes
  if [ "$inp/$int" != "$2/$3" ]; then
    echo "FAIL: $1 in the program's list: $inp (want $2), in the tests' list: $int (want $3)"
    fail=1
  fi
}
check build-essential yes yes
check cmake yes yes
check qt6-base-dev yes yes
check qt6-svg-dev yes yes
check qt6-multimedia-dev yes yes
check qt6-translations-l10n yes yes
check fonts-liberation2 yes yes
check libxlsxwriter-dev yes yes
check libminizip-dev yes yes
check libfreexl-dev yes yes
check libqrencode-dev yes yes
check chromium no yes
check python3-openpyxl no yes
check python3-docx no yes
check poppler-utils no yes
check xvfb no yes
check xdotool no yes
check imagemagick no yes
check openbox no yes
check clang-format no yes
check libqt6sql6-psql yes yes
check libpq-dev yes yes
check postgresql no yes
check lintian no no
grep -qx lintian <<<"$(bash "$root/scripts/install-deps.sh" --list --package)" ||
  { echo "FAIL: lintian is not in the package build's list"; fail=1; }

# Every program package is also installed for the tests.
while read -r p; do check "$p" yes yes; done <<<"$program"

# Which list each command installs.
grep -qx 'bash scripts/install-deps.sh' "$root/scripts/run.sh" || { echo "FAIL: run.sh"; fail=1; }
grep -qx 'bash scripts/install-deps.sh --package' "$root/scripts/package.sh" || { echo "FAIL: package.sh"; fail=1; }
grep -qx 'bash scripts/install-deps.sh --tests' "$root/scripts/test.sh" || { echo "FAIL: test.sh"; fail=1; }

# The package depends on nothing only the tests need.
depends=$(sed -n 's/^set(CPACK_DEBIAN_PACKAGE_DEPENDS "\(.*\)")$/\1/p' "$root/packaging/Packaging.cmake")
for p in $(tr ',' ' ' <<<"$depends"); do
  if grep -qx "$p" <<<"$all" && ! grep -qx "$p" <<<"$program"; then
    echo "FAIL: the .deb depends on the test tool $p"
    fail=1
  fi
done
if bash "$root/scripts/install-deps.sh" --bogus >/dev/null 2>&1; then
  echo "FAIL: an unknown option is accepted"
  fail=1
fi
[ "$fail" -eq 0 ] && echo "package lists split"
exit "$fail"
