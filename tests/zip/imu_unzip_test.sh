#!/bin/bash
# imu-unzip as a user meets it: extraction against unzip's, a mask, the
# listing, and the exit codes.
# usage: imu_unzip_test.sh IMU_UNZIP ARCHIVES_DIR WORK_DIR [RUNNER...]
set -euo pipefail
exe=$1 archives=$2 work=$3
shift 3
runner=("$@")
testdata=$(cd "$(dirname "$0")/../data/zip" && pwd)
run() { "${runner[@]}" "$exe" "$@"; }
rm -rf "$work"
mkdir -p "$work"

for name in zip-9 zip-streamed python-streamed-stored bsdtar; do
    run "$archives/$name.zip" -d "$work/$name" > "$work/$name.log"
    diff -r "$archives/expected/$name" "$work/$name"
    grep -q "entries extracted, 0 failed" "$work/$name.log"
done

run "$archives/zip-6.zip" -d "$work/mask" '*.TXT' > "$work/mask.log"
test -f "$work/mask/docs/manual.txt"
test ! -e "$work/mask/data"

run -l "$archives/zip-6.zip" > "$work/list.log"
grep -q "manual.txt" "$work/list.log"
grep -q "4206649 .* 8 " "$work/list.log"   # size and method of the large entry

if run "$archives/missing.zip" -d "$work/none" > "$work/missing.log" 2>&1; then
    echo "a missing archive must fail"; exit 1
fi
if run "$testdata/ppmd.zip" -d "$work/ppmd" > "$work/ppmd.log" 2>&1 ||
   ! grep -q "failed:" "$work/ppmd.log"; then
    echo "an entry that fails must fail the run"; exit 1
fi
if run > /dev/null 2>&1; then
    echo "no arguments is a usage error"; exit 1
fi
echo "imu-unzip: all checks passed"
