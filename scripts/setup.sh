#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev libgl-dev qt6-translations-l10n
  libgtest-dev libgmock-dev googletest
  clang libclang-rt-14-dev
  fonts-ipafont-gothic fonts-ipafont-mincho
  python3
  perl
  locales
  xvfb xdotool x11-utils
  libxtst-dev libsqlite3-dev openbox
  libonig-dev
  libpng-dev libjpeg62-turbo-dev libgif-dev zlib1g-dev
  libffi-dev
  libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc unixodbc libsqliteodbc postgresql
  libespeak-ng-dev espeak-ng-data
  libcurl4-openssl-dev ca-certificates
  python3-aiosmtpd python3-pyftpdlib openssl curl
  libarchive-dev libarchive-tools lhasa zip unzip
  libavahi-client-dev libsmbclient-dev
  qt6-multimedia-dev libfluidsynth-dev fluidsynth fluid-soundfont-gm sox
  libreoffice-calc libreoffice-writer libreoffice-gtk3 libreoffice-dev python3-uno python3-openpyxl python3-docx
  poppler-utils python3-pil
  cups-daemon
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
