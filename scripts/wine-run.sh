#!/usr/bin/env bash
# Runs one Windows program in the isolated Wine session that
# scripts/wine-session.sh started (CTest's emulator for the win64 build).
# The session folder is $OV_WINE_SESSION, by default build/win64/wine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
session=${OV_WINE_SESSION:-$here/../build/win64/wine}
if [ ! -f "$session/env.sh" ]; then
  echo "wine-run: no Wine session in $session; start one with scripts/wine-session.sh start $session" >&2
  exit 125
fi
# shellcheck source=/dev/null
. "$session/env.sh"
exec /usr/lib/wine/wine64 "$@"
