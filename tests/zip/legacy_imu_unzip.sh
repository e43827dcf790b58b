#!/bin/bash
# Extracts the archives with shrunk and imploded entries through imu-unzip and
# compares the files with what Info-ZIP's unzip extracts.
#
#   legacy_imu_unzip.sh <imu-unzip> <archive folder> <work folder> [wine]
#
# With "wine" the program is a Windows build; it then gets its paths on the
# drive Z: that Wine maps to the Linux root.
set -euo pipefail
export LC_ALL=C

if [ $# -lt 3 ] || [ $# -gt 4 ]; then
  echo "usage: $0 <imu-unzip> <archive folder> <work folder> [wine]" >&2
  exit 2
fi
program=$1
source_dir=$2
work_dir=$3
runner=${4:-}
command -v unzip >/dev/null || { echo "unzip (Debian package unzip) is missing" >&2; exit 1; }

rm -rf "$work_dir"
mkdir -p "$work_dir/expected" "$work_dir/actual"
status=0
for archive in SHRUNK.ZIP imploding-4Kdict-2trees.zip imploding-8Kdict-3trees.zip lorem-ipsum-implode.zip mixed.zip; do
  unzip -qq -o "$source_dir/$archive" -d "$work_dir/expected/$archive"
  if [ "$runner" = wine ]; then
    wine "$program" "Z:$source_dir/$archive" -d "Z:$work_dir/actual/$archive" >"$work_dir/$archive.log" 2>&1 || {
      echo "imu-unzip failed on $archive:"; cat "$work_dir/$archive.log"; status=1; }
  else
    "$program" "$source_dir/$archive" -d "$work_dir/actual/$archive" >"$work_dir/$archive.log" 2>&1 || {
      echo "imu-unzip failed on $archive:"; cat "$work_dir/$archive.log"; status=1; }
  fi
done
if ! diff -r "$work_dir/expected" "$work_dir/actual"; then
  echo "imu-unzip's output differs from unzip's"
  status=1
fi
[ $status -eq 0 ] && echo "imu-unzip extracted every entry as unzip does"
exit $status
