#!/usr/bin/env bash
# Runs one Windows program in a system of its own: a copy of the untouched
# prefix that scripts/wine-session.sh keeps, with its own HOME and wineserver,
# on the session's display. Each end-to-end scenario starts from a fresh
# Windows this way without the cost of creating a prefix.
#
#   scripts/wine-scenario.sh NAME PROGRAM [ARGS...]
#
# The session folder is $OV_WINE_SESSION, by default build/win64/wine; the
# scenario's system is left in SESSION/scenarios/NAME for a look afterwards.
# With OV_SCENARIO_SMALL_DRIVE=LETTER:SIZE (x:256k) the system gets a drive
# of only that size, a tmpfs mounted for the run (root only), to fill up;
# where it cannot be mounted the scenario is skipped with exit code 77.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
session=${OV_WINE_SESSION:-$here/../build/win64/wine}
name=${1:?usage: $0 NAME PROGRAM [ARGS...]}
shift
if [ ! -d "$session/template" ]; then
  echo "wine-scenario: no Wine session in $session; start one with scripts/wine-session.sh start $session" >&2
  exit 125
fi
# shellcheck source=/dev/null
. "$session/env.sh"
dir=$session/scenarios/$name
rm -rf "$dir"
mkdir -p "$dir/home"
"$here/wine-copy-prefix.sh" "$session/template" "$dir/prefix"
export WINEPREFIX=$dir/prefix HOME=$dir/home
# The user's folders are links to HOME: point them at this scenario's.
for link in "$WINEPREFIX"/drive_c/users/*/*; do
  [ -L "$link" ] && ln -sfn "$HOME" "$link"
done
small=
finish() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  if [ -n "$small" ]; then umount "$small" 2>/dev/null || umount -l "$small"; rmdir "$small"; fi
}
trap finish EXIT
if [ -n "${OV_SCENARIO_SMALL_DRIVE:-}" ]; then
  small=$(mktemp -d "${TMPDIR:-/tmp}/ov-small-drive.XXXXXX")
  if ! why=$(mount -t tmpfs -o "size=${OV_SCENARIO_SMALL_DRIVE#*:}" none "$small" 2>&1); then
    rmdir "$small"
    small=
    echo "wine-scenario: $name skipped: cannot mount a small drive (${why:-mount failed})" >&2
    exit 77
  fi
  ln -sfn "$small" "$WINEPREFIX/dosdevices/${OV_SCENARIO_SMALL_DRIVE%%:*}:"
fi
/usr/lib/wine/wineserver -p
/usr/lib/wine/wine64 "$@"
