#!/usr/bin/env bash
# Takes the README's screenshots of the main window on the demo server, in a
# virtual X server, into docs/screenshots/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
build=${ATLASDESK_BUILD_DIR:-$root/build}
export QT_QPA_PLATFORM=xcb
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu"
# The page renderer cannot sandbox itself as root; everyone else keeps it.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
xvfb-run -a -s "-screen 0 1280x900x24" "$build/tests/atlasdesk_screenshots" "$root/docs/screenshots"
