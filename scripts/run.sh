#!/usr/bin/env bash
# The main job: builds the shipped 32-bit Setup.exe and the 64-bit build,
# starts the 64-bit Setup.exe under Wine in an isolated session, waits for its
# dialog, saves a screenshot to build/setup-dialog.png and closes the dialog
# with Cancel. (This machine cannot run 32-bit programs; the 64-bit program is
# built from the same sources.)
#
# The screenshot is taken on the session's own Xvfb display, whatever DISPLAY
# the caller has. Exit code 0 when everything was built, the dialog appeared
# and Cancel ended the program with exit code 0.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

for preset in win32 win64; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
ls -l build/win32/app/Setup.exe build/win64/app/Setup.exe

session=$root/build/run/wine
driver=$root/build/win64/tests/windows/setup_dialog_test.exe
export OV_WINE_SESSION=$session

in_session() { # runs a command with the session's environment (Wine prefix, HOME, DISPLAY)
  (
    # shellcheck source=/dev/null
    . "$session/env.sh"
    "$@"
  )
}

scripts/wine-session.sh start "$session"
trap 'scripts/wine-session.sh stop "$session" >/dev/null 2>&1 || true' EXIT

# A Wine virtual desktop as large as the display: Wine then draws the window
# frames and captions itself, which makes the screenshot readable without a
# window manager. It takes effect after a server restart.
in_session /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
in_session /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
in_session /usr/lib/wine/wineserver -k || true
in_session /usr/lib/wine/wineserver -p

# show_dialog SETUP_EXE PNG: starts the setup through the dialog driver, waits
# for its dialog, takes the screenshot, then lets the driver press Cancel.
show_dialog() {
  local exe=$1 png=$2 done_file=$root/build/run/dialog-done log=$root/build/run/driver.log
  rm -f "$done_file" "$png"
  scripts/wine-run.sh "$driver" --setup="$exe" --show-until="$done_file" >"$log" 2>&1 &
  local pid=$!
  for _ in $(seq 600); do
    grep -q 'dialog shown' "$log" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if ! grep -q 'dialog shown' "$log"; then
    touch "$done_file"
    wait "$pid" || true
    cat "$log" >&2
    echo "run: the dialog of $exe did not appear" >&2
    return 1
  fi
  sleep 1 # let the dialog finish painting
  in_session import -window root "$png"
  touch "$done_file"
  if ! wait "$pid"; then
    cat "$log" >&2
    echo "run: the dialog of $exe did not end cleanly" >&2
    return 1
  fi
  echo "screenshot of the dialog: $png"
}

show_dialog "$root/build/win64/app/Setup.exe" "$root/build/setup-dialog.png"

# --- The sample setup --------------------------------------------------------
# The vendor's view: mksetup packs samples/product with the sample programs.
# The shipped form has the 32-bit stub and programs; the one started here has
# the 64-bit ones, which this machine can run under Wine.
echo "=== host: mksetup"
cmake --preset host >/dev/null
cmake --build --preset host --target mksetup
mksetup=$root/build/host/tools/mksetup/mksetup
scripts/build-sample-setup.sh build/win32/app/Setup.exe "$mksetup" build/win32/samples build/sample/Setup-sample.exe
scripts/build-sample-setup.sh build/win64/app/Setup.exe "$mksetup" build/win64/samples build/sample/Setup-sample-x64.exe
"$mksetup" list build/sample/Setup-sample.exe
"$mksetup" test build/sample/Setup-sample.exe
"$mksetup" test build/sample/Setup-sample-x64.exe
show_dialog "$root/build/sample/Setup-sample-x64.exe" "$root/build/sample-dialog.png"
