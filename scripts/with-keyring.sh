#!/usr/bin/env bash
# Runs a command with a desktop keyring of its own, for the tests: a private
# D-Bus session with GNOME Keyring's Secret Service, unlocked, and HOME in a
# temporary folder, so the user's own keyring is never touched. Tells the
# command through ATLASDESK_TEST_KEYRING: "present", or why it is absent.
#   with-keyring.sh COMMAND...         with a keyring (when one can be made)
#   with-keyring.sh --none COMMAND...  with no keyring and no session bus at all
set -euo pipefail
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home XDG_DATA_HOME=$home/.local/share XDG_CONFIG_HOME=$home/.config XDG_CACHE_HOME=$home/.cache
export XDG_RUNTIME_DIR=$home/run
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
if [ "${1:-}" = --none ]; then
  shift
  unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY
  ATLASDESK_TEST_KEYRING="absent: run without a session bus" "$@"
  exit
fi
if ! command -v dbus-run-session >/dev/null || ! command -v gnome-keyring-daemon >/dev/null; then
  ATLASDESK_TEST_KEYRING="absent: dbus-run-session or gnome-keyring-daemon is not installed (scripts/install-deps.sh installs them)" "$@"
  exit
fi
# The daemon ends with the session's bus.
dbus-run-session -- bash -c \
  'printf %s atlasdesk-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null &&
   ATLASDESK_TEST_KEYRING=present exec "$@"' keyring "$@" 2> >(grep -v "Failed to set fd limit" >&2)
