#!/usr/bin/env bash
# Installs the Debian packages of the project; packages already present are skipped.
#   install-deps.sh                 what the program needs to build and run (run.sh, the .deb)
#   install-deps.sh --tests         that, and what tests, benchmarks and screenshots need on top
#   install-deps.sh --package       that, and the package checker (package.sh)
#   install-deps.sh --list [--tests|--package]  prints the packages instead, one a line
set -euo pipefail

# Building and running the program. One package a line, so that additions merge.
PROGRAM_PACKAGES=(
  build-essential
  cmake
  ninja-build
  pkgconf
  dpkg-dev
  file
  qt6-base-dev
  qt6-base-dev-tools
  qt6-svg-dev
  libqt6svg6
  libgl-dev
  qt6-multimedia-dev
  qt6-translations-l10n
  fonts-liberation2
  libxlsxwriter-dev
  libminizip-dev
  libfreexl-dev
  libqrencode-dev
  libqt6sql6
  libqt6sql6-sqlite
  libqt6sql6-psql
  libpq-dev
)

# On top for the tests, benchmarks, screenshots and the package checks.
TEST_PACKAGES=(
  clang-format
  xvfb
  xauth
  openbox
  imagemagick
  xdotool
  python3-openpyxl
  python3-docx
  poppler-utils
  chromium
  desktop-file-utils
  appstream
  qt6-httpserver-dev
  qt6-websockets-dev
  postgresql
)

# On top for building the Debian package: its checker.
PACKAGE_PACKAGES=(
  lintian
)

tests=0
package=0
list=0
for arg in "$@"; do
  case "$arg" in
    --tests) tests=1 ;;
    --package) package=1 ;;
    --list) list=1 ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

PACKAGES=("${PROGRAM_PACKAGES[@]}")
if [ "$tests" -eq 1 ]; then PACKAGES+=("${TEST_PACKAGES[@]}"); fi
if [ "$package" -eq 1 ]; then PACKAGES+=("${PACKAGE_PACKAGES[@]}"); fi

if [ "$list" -eq 1 ]; then
  printf '%s\n' "${PACKAGES[@]}"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
