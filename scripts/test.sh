#!/usr/bin/env bash
# Checks the source (folder layers, formatting, the share of test code), then
# builds every preset and runs every test: the native tests (also under
# AddressSanitizer and UndefinedBehaviorSanitizer), the checks of the shipped
# 32-bit stub, the Windows tests under an isolated Wine session, and each
# fuzz target for a few seconds.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh || exit 1

# The compression corpora (Windows DLLs and EXEs, documentation) that the
# packer's corpus tests read back at every level.
[ -f build/corpora/dlls.list ] || bash bench/make_corpora.sh || exit 1

presets=(win32 host host-sanitize win64)
failed=()
passed=0
failures=0
start=$(date +%s)

# A full run needs about 2 GB in build/ (the Wine prefix is most of it); a
# full disk shows up later as puzzling failures, so say it first.
free_mb=$(df -Pm build 2>/dev/null | awk 'NR == 2 { print $4 }')
if [ -n "$free_mb" ] && [ "$free_mb" -lt 2500 ]; then
  echo "=== warning: only $free_mb MB free for build/; a full run needs about 2 GB"
fi

echo "=== source checks"
python3 scripts/check-layers.py || failed+=("layers")
if ! git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror 2>build-format.log; then
  head -n 20 build-format.log
  echo "formatting differs from .clang-format (run: git ls-files '*.cpp' '*.h' | xargs clang-format -i)"
  failed+=("format")
fi
rm -f build-format.log
bash scripts/count-test-lines.sh || failed+=("test-ratio")

count() { # adds one ctest log's figures to the totals
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
  [ -n "$line" ] || return 0
  local bad total
  bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failures=$((failures + bad))
}

# Every preset is built before any test runs: the host's stub tests read
# both stubs, the Windows one included.
built=()
for p in "${presets[@]}"; do
  echo "=== $p: configure and build"
  if ! { cmake --preset "$p" >/dev/null && cmake --build --preset "$p"; } >"build-$p.log" 2>&1; then
    tail -n 40 "build-$p.log"
    echo "=== $p: build FAILED"
    failed+=("$p(build)")
    continue
  fi
  mkdir -p "build/$p"; mv "build-$p.log" "build/$p/build.log"
  built+=("$p")
done

for p in "${built[@]}"; do
  echo "=== $p: tests"
  if [ "$p" = win64 ]; then
    scripts/wine-session.sh start build/win64/wine
    ctest --preset "$p" 2>&1 | tee "build/$p/ctest.log"
    rc=${PIPESTATUS[0]}
    scripts/wine-session.sh stop build/win64/wine
  else
    ctest --preset "$p" 2>&1 | tee "build/$p/ctest.log"
    rc=${PIPESTATUS[0]}
  fi
  count "build/$p/ctest.log"
  [ "$rc" -eq 0 ] || failed+=("$p")
done

# What a vendor gets from `cmake --install`: the tool with the 32-bit stub
# beside it and its manual page, working from a folder of its own.
echo "=== install: cmake --install of the host build, then a setup built and tested with it"
rm -rf build/install-check
if cmake --install build/host --prefix build/install-check >build/install-check.log 2>&1 &&
  test -s build/install-check/share/man/man1/mksetup.1 &&
  (cd /tmp && "$OLDPWD/build/install-check/bin/mksetup" build "$OLDPWD/samples/product" -q \
    -o "$OLDPWD/build/install-check/sample.exe" 2>/dev/null) &&
  build/install-check/bin/mksetup test build/install-check/sample.exe; then
  echo "=== install: ok"
else
  cat build/install-check.log; echo "=== install: FAILED"
  failed+=("install")
fi

# The libFuzzer targets (clang), briefly each: a finding fails the run.
echo "=== fuzz: configure, build, run each target for 15 s from its seeds, two at a time"
if ! { cmake --preset fuzz >/dev/null && cmake --build --preset fuzz; } >build-fuzz.log 2>&1; then
  tail -n 40 build-fuzz.log
  echo "=== fuzz: build FAILED"
  failed+=("fuzz(build)")
else
  mkdir -p build/fuzz; mv build-fuzz.log build/fuzz/build.log
  bash fuzz/run.sh 15 || failed+=("fuzz")
fi

echo "=== took $(( $(date +%s) - start )) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}"
fi
echo "$passed passed, $failures failed"
[ ${#failed[@]} -eq 0 ]
