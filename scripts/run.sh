#!/usr/bin/env bash
# The main job: builds the shipped 32-bit Setup.exe, the 64-bit build of the
# same sources and mksetup; packs the sample product into a setup with
# mksetup, lists and tests it; then runs the setup under Wine as a customer
# would: the dialog in German (closed with Cancel), then in English, OK, the
# success message, and prints what was installed (files, registry values,
# links). Screenshots of the two dialogs and of the success message are left
# in build/screenshots/ (docs/ holds the committed copies).
#
# This machine cannot execute 32-bit programs, so the setup that runs is the
# 64-bit build of the same sources, packed with the same sample product.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/install-deps.sh

build() { # PRESET TARGET...
  local preset=$1
  shift
  echo "=== $preset: configure and build $*"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target "$@"
}
build host mksetup
build win32 Setup
build win64 Setup sample_ovdemo sample_uninst setup_e2e_test
ls -l build/win32/app/Setup.exe build/win64/app/Setup.exe

# --- The sample setup, as a vendor makes it -----------------------------------
mksetup=$root/build/host/tools/mksetup/mksetup
scripts/build-sample-setup.sh build/win32/app/Setup.exe "$mksetup" build/win64/samples build/sample/Setup-sample.exe
scripts/build-sample-setup.sh build/win64/app/Setup.exe "$mksetup" build/win64/samples build/sample/Setup-sample-x64.exe
"$mksetup" list build/sample/Setup-sample.exe
"$mksetup" test build/sample/Setup-sample.exe
"$mksetup" test build/sample/Setup-sample-x64.exe

# --- The setup, as a customer meets it ----------------------------------------
session=$root/build/run/wine
shots=$root/build/screenshots
pause=$root/build/run/pause
driver=$root/build/win64/tests/e2e/setup_e2e_test.exe
export OV_WINE_SESSION=$session
mkdir -p "$shots" "$pause"

in_session() { # runs a command with the session's environment (Wine prefix, HOME, DISPLAY)
  (
    # shellcheck source=/dev/null
    . "$session/env.sh"
    "$@"
  )
}

scripts/wine-session.sh start "$session" >"$root/build/run/session.log" 2>&1
trap 'scripts/wine-session.sh stop "$session" >/dev/null 2>&1 || true' EXIT
# A Wine virtual desktop as large as the display: Wine then draws the window
# frames and captions itself, which makes the screenshots readable without a
# window manager. It takes effect after a server restart.
in_session /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
in_session /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
in_session /usr/lib/wine/wineserver -k || true
in_session /usr/lib/wine/wineserver -p

# screenshot STEP LOG PNG: waits for the driver to hold STEP, takes the
# screenshot of that window (with its frame) and lets the driver go on.
screenshot() {
  local step=$1 log=$2 png=$3 line=""
  for _ in $(seq 1200); do
    line=$(grep "^$step shown at" "$log" 2>/dev/null | tr -d '\r' || true)
    [ -n "$line" ] && break
    sleep 0.1
  done
  if [ -z "$line" ]; then
    cat "$log" >&2
    echo "run: no $step appeared" >&2
    return 1
  fi
  read -r _ _ _ x y w h <<<"$line"
  sleep 1 # let the window finish painting
  in_session import -window root "$png.full.png"
  convert "$png.full.png" -crop "$((w + 16))x$((h + 16))+$((x > 8 ? x - 8 : 0))+$((y > 8 ? y - 8 : 0))" +repage "$png"
  rm -f "$png.full.png"
  touch "$pause/$step.done"
  echo "screenshot: $png"
}

# demo LANGUAGE CODE NAME [--install]: one run of the sample setup.
demo() {
  local locale=$1 code=$2 name=$3 install=${4:-} log=$root/build/run/$3.log
  rm -f "$pause"/*.done
  LANG=$locale.UTF-8 LC_ALL=$locale.UTF-8 scripts/wine-run.sh "$driver" --demo="$root/build/sample/Setup-sample-x64.exe" \
    --pause-dir="$pause" --language="$code" $install >"$log" 2>&1 &
  local pid=$!
  screenshot dialog "$log" "$shots/dialog-$name.png"
  [ -n "$install" ] && screenshot success "$log" "$shots/success-$name.png"
  if ! wait "$pid"; then
    cat "$log" >&2
    echo "run: the $name run of the setup failed" >&2
    return 1
  fi
  grep -v " shown at " "$log" || true
}

demo de_DE DE de
demo en_US US en --install

# What the install left behind.
drive_c=$session/prefix/drive_c
echo "=== installed files"
ls -l "$drive_c/Program Files/Orvanex Demo"
echo "=== registry values"
in_session /usr/lib/wine/wine64 reg query 'HKCU\Software\Orvanex' 2>/dev/null | tr -d '\r' | grep -v '^$'
in_session /usr/lib/wine/wine64 reg query \
  'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Orvanex Demo' 2>/dev/null | tr -d '\r' | grep -v '^$'
echo "=== links (file -> target)"
for link in "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvanex Demo"/*.lnk \
  "$session/home/Orvanex Demo.lnk"; do
  echo "${link#"$drive_c/"} -> $(strings -n 6 "$link" | grep -m 1 -i '^[A-Z]:\\')"
done
