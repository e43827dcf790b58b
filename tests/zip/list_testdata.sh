#!/bin/bash
# Writes what Info-ZIP's zipinfo reports of every test archive, for the
# directory walk's tests to compare against: run on the Linux side, so the
# Windows build (whose tests run under Wine, without unzip) has the same
# listings to read.
#
#   list_testdata.sh <archive folder> <output folder>
#
# <output folder>/index names the archives, one a line. <name>.list holds one
# line per entry, fields separated by tabs: stored name (as "unzip -Z1 -UU"
# prints it), host (fat or other), uncompressed size, compressed size, method
# number, DOS date and time (YYYY-MM-DD hh:mm:ss), MS-DOS attribute byte (hex),
# local header offset, CRC-32 (hex). An archive Info-ZIP cannot list gets an
# empty list.
set -euo pipefail
export LC_ALL=C

if [ $# -ne 2 ]; then
  echo "usage: $0 <archive folder> <output folder>" >&2
  exit 2
fi
source_dir=$1
out_dir=$2
command -v zipinfo >/dev/null || { echo "zipinfo (Debian package unzip) is missing" >&2; exit 1; }

mkdir -p "$out_dir"
rm -f "$out_dir"/*.list "$out_dir"/index
: >"$out_dir/index.new"

for archive in "$source_dir"/*; do
  [ -f "$archive" ] || continue
  base=$(basename "$archive")
  case $base in README*) continue ;; esac
  list="$out_dir/$base.list"

  # -UU: the stored name, not one from a Unicode extra field.
  names=$(unzip -Z1 -UU "$archive" 2>/dev/null || true)
  details=$(zipinfo -v "$archive" 2>/dev/null) || true
  printf '%s\n' "$details" | awk -v names="$names" -v archive="$base" '
    function method_number(text,    m) {
      if (text == "none (stored)") return 0
      if (text == "shrunk") return 1
      if (text ~ /^reduced \(factor [1-4]\)$/) { m = text; gsub(/[^0-9]/, "", m); return m + 1 }
      if (text == "imploded") return 6
      if (text == "tokenized") return 7
      if (text == "deflated") return 8
      if (text == "bzipped") return 12
      if (text == "LZMA-ed") return 14
      if (text == "PPMd-ed") return 98
      if (text ~ /^unknown \([0-9]+\)$/) { m = text; gsub(/[^0-9]/, "", m); return m + 0 }
      printf "%s: unrecognised compression method \"%s\"\n", archive, text > "/dev/stderr"
      failed = 1
      return -1
    }
    function value_after_colon(line) { sub(/^[^:]*:[ ]*/, "", line); return line }
    BEGIN {
      split("Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec", month_names, " ")
      for (i = 1; i <= 12; i++) month[month_names[i]] = i
    }
    /^Central directory entry #[0-9]+:/ { n++; next }
    n == 0 { next }
    /^  file system or operating system of origin:/ {
      host[n] = (value_after_colon($0) == "MS-DOS, OS/2 or NT FAT") ? "fat" : "other"
    }
    /^  compression method:/ { method[n] = method_number(value_after_colon($0)) }
    /^  file last modified on \(DOS date\/time\):/ {
      split(value_after_colon($0), d, " ")
      stamp[n] = sprintf("%04d-%02d-%02d %s", d[1], month[d[2]], d[3], d[4])
    }
    /^  compressed size:/ { csize[n] = $3 }
    /^  uncompressed size:/ { usize[n] = $3 }
    /^  MS-DOS file attributes \(/ { a = $0; sub(/^[^(]*\(/, "", a); sub(/ hex.*/, "", a); attr[n] = a }
    /^  offset of local header from start of archive:/ { offset[n] = $NF }
    /^  32-bit CRC value \(hex\):/ { crc[n] = $NF }
    END {
      # With no entries, unzip prints a remark such as "Empty zipfile." instead.
      if (n == 0) exit failed
      count = (names == "") ? 0 : split(names, name, "\n")
      if (count != n) {
        printf "%s: unzip -Z1 lists %d entries, zipinfo -v %d\n", archive, count, n > "/dev/stderr"
        exit 1
      }
      for (i = 1; i <= n; i++)
        printf "%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n", name[i], host[i], usize[i], csize[i], method[i],
               stamp[i], attr[i], offset[i], crc[i]
      exit failed
    }' >"$list"
  printf '%s\n' "$base" >>"$out_dir/index.new"
done

mv "$out_dir/index.new" "$out_dir/index"
echo "listed $(wc -l <"$out_dir/index") archives into $out_dir"
