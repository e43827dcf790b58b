#!/bin/bash
# Builds the archives the extraction tests compare against, and what Info-ZIP
# unzip makes of each, into the directory given as the only argument.
#
# archives.txt lists one archive a line: its file, the folder unzip filled, and
# how closely the library's output must match ("exact": names, contents and
# dates; "content": names and contents; "blobs": contents only, for names
# outside ASCII, which each system spells its own way).
set -euo pipefail
out=${1:?usage: make_archives.sh OUTDIR}
testdata=$(cd "$(dirname "$0")/../data/zip" && pwd)
rm -rf "$out"
mkdir -p "$out/src" "$out/expected"
cd "$out"

python3 - src <<'PY'
import os, random, sys
root = sys.argv[1]
rng = random.Random(1951)
def put(rel, data, stamp):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)
    # DOS times keep even seconds only; local noon avoids any daylight-saving edge.
    t = 1600000000 + stamp * 86400 * 3 + 43200 - (1600000000 % 86400)
    os.utime(path, (t, t))
words = [b'inflate', b'window', b'block', b'huffman', b'entry', b'archive', b' ', b'\n', b'the ', b'of ']
text = b''.join(rng.choice(words) for _ in range(9000))
put('readme.txt', b'ARVELON test archive\r\n', 1)
put('empty.txt', b'', 2)
put('docs/manual.txt', text, 3)
put('docs/notes/deep/leaf.txt', b'leaf\n' * 7, 4)
put('data/random-40k.bin', bytes(rng.getrandbits(8) for _ in range(40 * 1024)), 5)
put('data/zeros-33k.bin', bytes(33 * 1024), 6)
# Over 4 MiB: text with long-range repeats and some noise, so matches cross the window.
chunk = bytes(rng.getrandbits(8) for _ in range(50000))
big = bytearray()
while len(big) < 4 * 1024 * 1024 + 12345:
    big += text[rng.randrange(0, 5000):][:rng.randrange(100, 30000)]
    big += chunk[:rng.randrange(1, 3000)]
put('data/large-4m.bin', bytes(big[:4 * 1024 * 1024 + 12345]), 7)
put('data/exact-32k.bin', bytes((i * 7 + i // 256) & 0xFF for i in range(32768)), 8)
os.makedirs(os.path.join(root, 'emptydir'), exist_ok=True)
PY

manifest=archives.txt
: > "$manifest"
expect() {  # archive mode
    local name=$(basename "$1" .zip)
    mkdir -p "expected/$name"
    unzip -qq -o "$1" -d "expected/$name" || true
    echo "$1 expected/$name $2" >> "$manifest"
}

# Info-ZIP zip at every level, without extra fields so unzip dates files from
# the DOS date and time alone.
for level in 0 1 2 3 4 5 6 7 8 9; do
    (cd src && zip -X -q -r -$level "../zip-$level.zip" .)
    expect "zip-$level.zip" exact
done
# Streamed output: every entry carries a data descriptor.
(cd src && zip -X -q -fz- -r - . | cat > ../zip-streamed.zip)
expect zip-streamed.zip exact
(cd src && zip -X -q -0 -fz- -r - . | cat > ../zip-streamed-stored.zip)
expect zip-streamed-stored.zip exact
# Streamed input: one entry named "-".
zip -X -q -fz- zip-stdin.zip - < src/docs/manual.txt
expect zip-stdin.zip content

python3 - <<'PY'
import os, zipfile
class Unseekable:
    """A stream zipfile cannot seek in, so it writes data descriptors."""
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
    def tell(self): raise OSError('unseekable')
    def seek(self, *a): raise OSError('unseekable')
def build(name, method, level=None, stream=False):
    files = []
    for d, dirs, names in os.walk('src'):
        dirs.sort()
        for n in sorted(names):
            files.append(os.path.join(d, n))
    raw = open(name, 'wb')
    target = Unseekable(raw) if stream else raw
    with zipfile.ZipFile(target, 'w', compression=method, compresslevel=level) as z:
        z.write('src/emptydir', 'emptydir/')
        for path in files:
            z.write(path, os.path.relpath(path, 'src'))
    raw.close()
build('python-stored.zip', zipfile.ZIP_STORED)
build('python-deflated-1.zip', zipfile.ZIP_DEFLATED, 1)
build('python-deflated-9.zip', zipfile.ZIP_DEFLATED, 9)
build('python-streamed.zip', zipfile.ZIP_DEFLATED, 6, stream=True)
build('python-streamed-stored.zip', zipfile.ZIP_STORED, stream=True)
PY
for a in python-stored python-deflated-1 python-deflated-9 python-streamed python-streamed-stored; do
    expect "$a.zip" exact
done

(cd src && 7z a -tzip -mx=9 ../7z-ultra.zip . > /dev/null && 7z a -tzip -mx=0 ../7z-stored.zip . > /dev/null)
expect 7z-ultra.zip content
expect 7z-stored.zip content
(cd src && bsdtar -a -cf ../bsdtar.zip . && bsdtar --format zip --options zip:compression=store -cf ../bsdtar-stored.zip .)
expect bsdtar.zip content
expect bsdtar-stored.zip content

for name in data_descriptor files_and_dirs extended_timestamp mixed; do
    cp "$testdata/$name.zip" .
    expect "$name.zip" content
done
# Names outside ASCII: unzip's spelling of them is its own, and Wine lists
# names that are not UTF-8 unreliably, so only the contents are kept, under
# plain names.
for name in chinese windows-7zip non_utf8 linux-7z; do
    cp "$testdata/$name.zip" .
    mode=blobs
    # A UTF-8 name of Chinese characters has no spelling in a Western ANSI code page.
    [ "$name" = linux-7z ] && mode=blobs-unicode
    expect "$name.zip" $mode
    python3 - "expected/$name" <<'PY'
import os, sys
root = os.fsencode(sys.argv[1])
found = sorted(os.path.join(d, n) for d, _, names in os.walk(root) for n in names)
for i, path in enumerate(found, 1):
    os.rename(path, os.path.join(root, b'blob-%d' % i))
PY
done
echo "made $(wc -l < "$manifest") archives in $out"
