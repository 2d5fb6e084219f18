#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test (with a private
# MariaDB server on loopback for the catalogue tests).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
build=${ATLASDESK_BUILD_DIR:-$root/build}
dbdir=$(mktemp -d /tmp/atlasdesk-db.XXXXXX)
galeradir=""
cleanup() {
  bash "$root/scripts/test-db.sh" stop "$dbdir" || true
  rm -rf "$dbdir"
  if [ -n "$galeradir" ]; then bash "$root/scripts/galera-cluster.sh" stop "$galeradir" || true; rm -rf "$galeradir"; fi
}
trap cleanup EXIT
# A server that does not start stops the run here (no suite without it).
dbenv=$(bash "$root/scripts/test-db.sh" start "$dbdir")
eval "$dbenv"
# The cluster tests' 3-node Galera cluster, when galera-4 can run here. Its
# ports follow the test server's, so that runs beside each other (one per
# test server port) do not meet.
export ATLASDESK_GALERA_BASE_PORT=${ATLASDESK_GALERA_BASE_PORT:-$((40000 + (${ATLASDESK_TEST_DB_PORT:-33306} % 100) * 40))}
if why=$(bash "$root/scripts/galera-cluster.sh" available 2>&1); then
  galeradir=$(mktemp -d /tmp/atlasdesk-galera.XXXXXX)
  if galeraenv=$(bash "$root/scripts/galera-cluster.sh" start "$galeradir"); then
    eval "$galeraenv"
  else
    export ATLASDESK_GALERA_UNAVAILABLE="the cluster did not start (see above)"
  fi
else
  export ATLASDESK_GALERA_UNAVAILABLE="$why"
fi
export QT_QPA_PLATFORM=offscreen
# The page renderer cannot sandbox itself as root; everyone else keeps it.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
ctest --test-dir "$build" --output-on-failure -j2
