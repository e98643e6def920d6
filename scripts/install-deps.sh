#!/usr/bin/env bash
# Installs what building, testing and running the program need on Debian 12.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
PACKAGES=(
  cmake g++ make ccache
  qt6-base-dev qt6-multimedia-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  qt6-translations-l10n libqt6sql6-sqlite libsqlite3-dev sqlite3
  fonts-liberation espeak-ng libespeak-ng-dev sox
  xvfb xdotool imagemagick
  mdbtools-dev pkg-config
  # The teachers' program: spreadsheets read with libcsv; its PDF tests read
  # the files back with pdftotext.
  libcsv-dev poppler-utils
  # The PostgreSQL back end: libpq, and the server programs from which the
  # tests start throwaway servers of their own.
  libpq-dev postgresql-15
  # The sanitizer build and the fuzz targets (libFuzzer); llvm-symbolizer
  # turns their reports' addresses into lines of code.
  clang libclang-rt-14-dev llvm
)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
