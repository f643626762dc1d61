#!/usr/bin/env bash
# The whole corruption sweep: the packed sample product cut at every length
# from its archive on and changed in some 100,000 single bytes, each damaged
# file read by the setup's pass, `mksetup test` and `mksetup extract` (ctest
# runs every 29th case). Builds the sweep in the host build folder
# OV_HOST_BUILD (default build/host, configured like the host preset when
# missing); arguments go to the sweep (--sample=K, --case=N).
set -uo pipefail
cd "$(dirname "$0")/.."
build=${OV_HOST_BUILD:-build/host}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
fi
cmake --build "$build" -j2 --target corruption_sweep >/dev/null || exit 1
start=$(date +%s)
"$build/tests/sweep/corruption_sweep" "$@"
rc=$?
echo "corruption sweep: $(( $(date +%s) - start )) s"
exit $rc
