#!/usr/bin/env bash
# Writes small archives of every format a Debian tool makes into folder $1,
# as the seed corpus of the fuzz targets.
set -uo pipefail
mkdir -p "$1"
dest=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p src/sub
printf 'hello archive\n%.0s' {1..40} > src/a.txt
head -c 2000 /dev/urandom > src/b.bin
printf 'nested\n' > src/sub/c.txt
have() { command -v "$1" >/dev/null 2>&1; }
have zip && zip -q -r "$dest/plain.zip" src && zip -q -0 -r "$dest/stored.zip" src &&
  zip -q -r -P pw "$dest/enc.zip" src
have 7z && 7z a -tzip -bd "$dest/7z.zip" src >/dev/null
have bsdtar && bsdtar --format zip -cf "$dest/bsd.zip" src
tar --format=gnu -cf "$dest/gnu.tar" src && tar --format=posix -cf "$dest/posix.tar" src
gzip -c src/a.txt > "$dest/a.gz"
tar czf "$dest/src.tgz" src && cat "$dest/a.gz" "$dest/a.gz" > "$dest/two.gz"
have compress && compress -c src/a.txt > "$dest/a.Z"
have arj && arj a -y "$dest/a.arj" src/a.txt src/b.bin >/dev/null
have jlha && (cd src && jlha a "$dest/a.lzh" a.txt b.bin >/dev/null 2>&1)
have gcab && gcab -c "$dest/a.cab" src/a.txt src/b.bin && gcab -c -z "$dest/z.cab" src/a.txt src/b.bin src/sub/c.txt
have uuencode && uuencode src/a.txt a.txt > "$dest/a.uue"
have uuencode && uuencode -m src/b.bin b.bin > "$dest/b.b64"
# Archives no Debian tool writes: the small ones carried for the tests.
find "$root/tests/fixtures" -type f -size -128k ! -name '*.md' -exec cp {} "$dest/" \;
exit 0
