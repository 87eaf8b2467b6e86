#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shared set-up of run.sh and test.sh: missing Debian packages (as root), then
# configure once and build. Fast when everything is already there.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${PLENWICK_BUILD_DIR:-$top/build}"

packages=(build-essential cmake ninja-build pkg-config qt6-base-dev zlib1g-dev libssl-dev
          libgtest-dev libgmock-dev libbenchmark-dev libpam0g-dev iproute2 procps psmisc socat tcpdump openssl
          qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core
          xvfb xauth xdotool x11-utils dbus dbus-x11 at-spi2-core libatspi2.0-dev libglib2.0-dev
          libxcb1-dev libxcb-record0-dev libxcb-xtest0-dev libxcb-res0-dev libxcb-keysyms1-dev libx11-xcb-dev
          libgtk-3-dev openbox imagemagick curl desktop-file-utils lintian fakeroot dpkg-dev librsvg2-bin libqt6svg6
          clang-format)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installiere fehlende Pakete: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Fehlende Pakete (als root installieren): ${missing[*]}" >&2
    exit 1
  fi
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build" --parallel "$(nproc)"
