# Seeds for fuzz_zip_reader: archives in every form the zip reader knows, made by the zip tool,
# and two damaged ones. The password of the encrypted ones is "pw", as the target tries.
set -euo pipefail
mkdir -p "$ROOT/fuzz_zip_reader"
dir=$(cd "$ROOT/fuzz_zip_reader" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/sub"
printf 'hello hello hello\r\n' > "$work/in/a.txt"
printf 'nested' > "$work/in/sub/b.txt"
: > "$work/in/empty.txt"
ln -s a.txt "$work/in/link"
cd "$work/in"
zip -q -r -y "$dir/deflated.zip" .
zip -q -r -0 "$dir/stored.zip" .
zip -q -P pw "$dir/encrypted.zip" a.txt sub/b.txt
zip -q -fz "$dir/zip64.zip" a.txt sub/b.txt
zip -q -r - . | cat > "$dir/streamed.zip"
zip -q -P pw - a.txt | cat > "$dir/streamed-encrypted.zip"
# Streamed with -fz, the zip tool marks the directory's offset for ZIP64 but writes no ZIP64
# end record; with the offset mended the archive is whole (ZIP64 data descriptors).
zip -q -fz - a.txt | cat > "$dir/damaged-streamed-zip64"
cp "$dir/damaged-streamed-zip64" "$dir/streamed-zip64-mended.zip"
offset=$(grep -obUaP 'PK\x01\x02' "$dir/streamed-zip64-mended.zip" | head -1 | cut -d: -f1)
size=$(stat -c %s "$dir/streamed-zip64-mended.zip")
printf "$(printf '\\%03o' $((offset & 255)) $((offset >> 8 & 255)) $((offset >> 16 & 255)) \
  $((offset >> 24 & 255)))" |
  dd of="$dir/streamed-zip64-mended.zip" bs=1 seek=$((size - 6)) conv=notrunc status=none
size=$(stat -c %s "$dir/deflated.zip")
head -c $((size - 30)) "$dir/deflated.zip" > "$dir/damaged-cut"
head -c 40 "$dir/stored.zip" > "$dir/damaged-front"
