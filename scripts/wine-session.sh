#!/usr/bin/env bash
# Starts or stops an isolated Wine session for one test run.
#
#   scripts/wine-session.sh start DIR   fresh prefix and HOME under DIR, an Xvfb
#                                       display and a persistent wineserver;
#                                       writes DIR/env.sh for the programs run
#   scripts/wine-session.sh stop DIR    stops the wineserver and the display
#
# The fresh prefix is also kept as DIR/template, so that a test can start
# from an untouched system of its own (scripts/wine-scenario.sh).
#
# Nothing touches the real home folder: Wine links the prefix's Desktop and
# Documents to $HOME, so HOME lives under DIR too, and the menu builder is off.
set -euo pipefail
action=${1:?start or stop}
dir=$(mkdir -p "${2:?session folder}" && cd "$2" && pwd)
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

case "$action" in
start)
  "$0" stop "$dir" >/dev/null 2>&1 || true
  rm -rf "$dir/prefix" "$dir/home"
  mkdir -p "$dir/home"
  # The first free display from :90 on.
  display=90
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
  echo $! >"$dir/xvfb.pid"
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
  cat >"$dir/env.sh" <<ENV
export WINEPREFIX="$dir/prefix"
export HOME="$dir/home"
export XDG_CONFIG_HOME="$dir/home/.config"
export XDG_DATA_HOME="$dir/home/.local/share"
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export WINEDEBUG=-all
export WINEARCH=win64
export DISPLAY=":$display"
ENV
  # shellcheck source=/dev/null
  . "$dir/env.sh"
  # A persistent server for the whole run, then the prefix.
  mkdir -p "$WINEPREFIX"
  "$wineserver" -p
  "$wine" wineboot --init >"$dir/wineboot.log" 2>&1 || true
  # The server writes the registry out when it stops; then the untouched
  # prefix is kept for scenarios, and the session's server starts again.
  "$wineserver" -k 2>/dev/null || true
  "$wineserver" -w 2>/dev/null || true
  rm -rf "$dir/template"
  mv "$WINEPREFIX" "$dir/template"
  "$(dirname "$0")/wine-copy-prefix.sh" "$dir/template" "$WINEPREFIX"
  "$wineserver" -p
  # One program now brings Wine's services up outside any caller's output
  # pipe (a test runner would otherwise wait for them to close it).
  "$wine" cmd /c exit >>"$dir/wineboot.log" 2>&1 </dev/null || true
  echo "Wine session ready: $dir (DISPLAY=:$display)"
  ;;
stop)
  if [ -f "$dir/env.sh" ]; then
    # shellcheck source=/dev/null
    . "$dir/env.sh"
    "$wineserver" -k 2>/dev/null || true
  fi
  if [ -f "$dir/xvfb.pid" ]; then
    kill "$(cat "$dir/xvfb.pid")" 2>/dev/null || true
    rm -f "$dir/xvfb.pid"
  fi
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
