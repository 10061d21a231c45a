#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test and look at the program.
# Idempotent: packages already present are skipped by apt.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkgconf clang-format
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libgl-dev
  fonts-liberation2
  xvfb xauth imagemagick xdotool
  qt6-multimedia-dev qt6-httpserver-dev qt6-websockets-dev qt6-translations-l10n
  libxlsxwriter-dev libquazip1-qt6-dev libfreexl-dev libqrencode-dev
  python3-openpyxl python3-docx poppler-utils chromium openbox
  desktop-file-utils appstream dpkg-dev file
)

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
