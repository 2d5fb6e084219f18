#!/usr/bin/env bash
# The installed program as an ordinary user: installs the build into a
# temporary prefix whose program folder the user may not change (owned by
# root when run as root), and runs InstalledProgramTest as that user (nobody,
# with a home of its own, when run as root; otherwise the caller) on a
# virtual X server. Afterwards the shared configuration must be as shipped.
#   installed-as-user.sh BUILD-DIR SOURCE-DIR TEST-PROGRAM
set -euo pipefail
build=$1 source=$2 test_program=$3

work=$(mktemp -d /tmp/atlasdesk-installed.XXXXXX)
cleanup() { chmod -R u+w "$work" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
chmod 755 "$work"

cmake --install "$build" --prefix "$work/prefix" > "$work/install.log"
program_dir=$(dirname "$(readlink -f "$work/prefix/bin/atlasdesk")")
cp -r "$source/data/demo-server" "$work/demo-server"
cp "$test_program" "$work/installed-program-test"
mkdir -p "$work/home/maps" "$work/runtime" "$work/shots"
chmod 700 "$work/runtime"

if [ "$(id -u)" -eq 0 ]; then
  chown -R root:root "$work/prefix"
  chmod -R go-w "$work/prefix"
  chown -R nobody:nogroup "$work/home" "$work/runtime" "$work/shots"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
else
  chmod a-w "$program_dir"
  as_user=()
fi
echo "program folder: $(stat -c '%U %A' "$program_dir") $program_dir"

status=0
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
  LANG=C.UTF-8 QT_QPA_PLATFORM=xcb QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu \
  ATLASDESK_PROGRAM="$work/prefix/bin/atlasdesk" ATLASDESK_DEMO="$work/demo-server" \
  ATLASDESK_MAPS="$work/home/maps" ATLASDESK_SHOTS="$work/shots" \
  xvfb-run -a -s "-screen 0 1280x1024x24" "$work/installed-program-test" || status=$?

if ! cmp -s "$source/data/AtlasdeskView.ini.xml" "$program_dir/AtlasdeskView.ini.xml"; then
  echo "the shared configuration was changed" >&2
  status=1
fi
if [ "$status" -ne 0 ] && [ -n "$(ls "$work/shots")" ]; then
  kept=$(mktemp -d /tmp/atlasdesk-installed-shots.XXXXXX)
  cp "$work"/shots/* "$kept"/
  echo "screens of the run kept in $kept" >&2
fi
exit "$status"
