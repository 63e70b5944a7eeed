# Seeds for fuzz_unzip: small real archives made by the zip tool, prefixed by the mode byte.
set -euo pipefail
dir=$ROOT/fuzz_unzip
mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/sub"
printf 'hello\r\n' > "$work/in/a.txt"
printf 'nested' > "$work/in/sub/b.txt"
ln -s a.txt "$work/in/link"
(cd "$work/in" && zip -q -r -y "$work/plain.zip" . && zip -q -P pw "$work/secret.zip" a.txt)
for name in plain secret; do
  { printf '\001'; cat "$work/$name.zip"; } > "$dir/$name-folders"
  { printf '\000'; cat "$work/$name.zip"; } > "$dir/$name-flat"
done
