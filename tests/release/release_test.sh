#!/usr/bin/env bash
# tools/release without all three pins: it stops before building anything and
# names each pin that is missing, whether the others came as arguments or
# from the environment.
# Usage: release_test.sh SOURCE_DIR
set -uo pipefail
release=$1/tools/release
unset IMU_ZADIG_SHA256 IMU_ZADIG_XP_SHA256 IMU_DRIVERS_SHA256
digits=0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAILED: $1"; echo "  expected: [$2]"; echo "  actual:   [$3]"; failures=$((failures + 1)); fi
}
out=$("$release" 2>&1); status=$?
check "no pins: refused" "2 tools/release: missing IMU_ZADIG_SHA256 IMU_ZADIG_XP_SHA256 IMU_DRIVERS_SHA256" \
  "$status $(head -n 1 <<<"$out")"
out=$(IMU_DRIVERS_SHA256=$digits "$release" IMU_ZADIG_SHA256=$digits IMU_ZADIG_XP_SHA256= 2>&1); status=$?
check "one pin empty: refused" "2 tools/release: missing IMU_ZADIG_XP_SHA256" "$status $(head -n 1 <<<"$out")"
exit $((failures > 0))
