#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test (with a private
# MariaDB server on loopback for the catalogue tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
build=${ATLASDESK_BUILD_DIR:-$root/build}
dbdir=$(mktemp -d /tmp/atlasdesk-db.XXXXXX)
cleanup() { bash "$root/scripts/test-db.sh" stop "$dbdir" || true; rm -rf "$dbdir"; }
trap cleanup EXIT
# A server that does not start stops the run here (no suite without it).
dbenv=$(bash "$root/scripts/test-db.sh" start "$dbdir")
eval "$dbenv"
export QT_QPA_PLATFORM=offscreen
# The page renderer cannot sandbox itself as root; everyone else keeps it.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
ctest --test-dir "$build" --output-on-failure -j2
