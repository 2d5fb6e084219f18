#!/usr/bin/env bash
# Installs what is needed, builds, registers the bundled demo geodata server
# in the configuration beside the program, and starts Atlasdesk on it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
build=${ATLASDESK_BUILD_DIR:-$root/build}
bin=$build/bin
demo=$root/data/demo-server
config=$bin/AtlasdeskView.ini.xml
if [ -f "$config" ] && ! grep -qF "<path>$demo</path>" "$config"; then
  "$bin/atlasdesk-register-server" "$config" "$demo"
fi
# The page renderer cannot sandbox itself as root; everyone else keeps it.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
cd "$bin"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting Atlasdesk on a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a "$bin/AtlasdeskView" "$demo"
fi
exec "$bin/AtlasdeskView" "$demo"
