#!/usr/bin/env bash
# The download pins at the configure step: a malformed one stops it with a
# message that names the variable; a good one reaches the settings header in
# lower case; an empty one stays empty.
# Usage: pins_test.sh CMAKE SOURCE_DIR WORK_DIR
set -uo pipefail
cmake=$1 source_dir=$2 work=$3
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then echo "ok: $1"; else echo "FAILED: $1"; echo "  expected: [$2]"; echo "  actual:   [$3]"; failures=$((failures + 1)); fi
}
configure() {
  rm -rf "$work"
  "$cmake" -S "$source_dir/tests/pins" -B "$work" -DIMU_SOURCE_DIR="$source_dir" "$@" >"$work.out" 2>&1
}
pin() { sed -n "s/^#define $1 \"\([^\"]*\)\"$/\1/p" "$work/settings.h"; }
digits=0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef

# The last as sha256sum prints it, with the file name.
for bad in IMU_ZADIG_SHA256=${digits%?} IMU_ZADIG_XP_SHA256=${digits%?}g IMU_DRIVERS_SHA256="$digits  zadig.exe"; do
  name=${bad%%=*}
  configure -D"$bad"
  check "$name=${bad#*=} stops the configure step" "1" "$?"
  check "the message names $name" "1" "$(grep -c "$name must be 64 hexadecimal digits" "$work.out")"
done

configure -DIMU_ZADIG_SHA256="${digits^^}" -DIMU_DRIVERS_SHA256="$digits"
check "good pins configure" "0" "$?"
check "a pin in capitals is written in lower case" "$digits" "$(pin IMU_ZADIG_SHA256)"
check "a pin is written as given" "$digits" "$(pin IMU_DRIVERS_SHA256)"
check "an empty pin stays empty" "" "$(pin IMU_ZADIG_XP_SHA256)"
check "and is written" "1" "$(grep -c '^#define IMU_ZADIG_XP_SHA256 ""' "$work/settings.h")"
exit $((failures > 0))
