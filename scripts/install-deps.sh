#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/install-deps.sh [extra packages...]
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config googletest libgtest-dev libbenchmark-dev zlib1g-dev libsqlite3-dev libxml2-dev libsoup-3.0-dev libqpdf-dev libpoppler-glib-dev epubcheck unzip poppler-utils qpdf
          clang libclang-rt-14-dev
          libgtk-3-dev libwebkit2gtk-4.1-dev bubblewrap xdg-dbus-proxy libxtst-dev xvfb xauth
          dpkg-dev desktop-file-utils groff-base lintian appstream "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
