#!/usr/bin/env bash
# Installs everything Atlasdesk needs to build, run and test on Debian 12.
# Safe to run again: apt skips what is already there.
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev libqt6sql6-mysql libqt6sql6-sqlite
  libxml2-dev libxslt1-dev libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fuse3 libfuse3-dev
  mariadb-server mariadb-client galera-4 rsync
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring
  xvfb xauth xdg-utils fonts-dejavu-core xdotool dbus-daemon
  openbox  # a window manager for the start-up figure under Xvfb
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
