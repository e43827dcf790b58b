#!/bin/bash
# Writes what Info-ZIP's unzip extracts from the archives that hold shrunk and
# imploded entries, for the legacy decoders' tests to compare against. Run on
# the Linux side, so that the Windows build (whose tests run under Wine,
# without unzip) compares with the same files.
#
#   legacy_expected.sh <archive folder> <output folder>
#
# <output folder>/<archive name>/ holds the extracted entries.
set -euo pipefail
export LC_ALL=C

if [ $# -ne 2 ]; then
  echo "usage: $0 <archive folder> <output folder>" >&2
  exit 2
fi
source_dir=$1
out_dir=$2
command -v unzip >/dev/null || { echo "unzip (Debian package unzip) is missing" >&2; exit 1; }

rm -rf "$out_dir"
mkdir -p "$out_dir"
for archive in SHRUNK.ZIP imploding-4Kdict-2trees.zip imploding-8Kdict-3trees.zip lorem-ipsum-implode.zip mixed.zip; do
  unzip -qq -o "$source_dir/$archive" -d "$out_dir/$archive"
done
echo "extracted $(find "$out_dir" -type f | wc -l) files into $out_dir"
