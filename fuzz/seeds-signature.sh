# Seeds for fuzz_signature: signature files made by the signing tool with the fuzz target's own
# key pair (signature-seeds.key, made for these seeds and used for nothing else), each followed
# by the bytes it signs.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
dir=$ROOT/fuzz_signature
mkdir -p "$dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '1.0.23\r\n' > "$work/versionZT.dat"
printf 'PK\003\004 a small archive stand-in\n' > "$work/setupZT.zip"
: > "$work/empty"
sign() {  # sign NAME FILE [minisign options...]
  local name=$1 file=$2
  shift 2
  minisign -S -s "$here/signature-seeds.key" -m "$file" -x "$work/$name.minisig" "$@" \
    </dev/null >/dev/null
  cat "$work/$name.minisig" "$file" > "$dir/$name"
}
sign version "$work/versionZT.dat"
sign archive "$work/setupZT.zip" -t 'version:1.0.23'
sign legacy "$work/setupZT.zip" -l -t 'timestamp:1700000000	file:setupZT.zip	version:1.0.23'
sign empty "$work/empty" -t 'version:'
sed 's/$/\r/' "$work/archive.minisig" > "$work/crlf.minisig"
cat "$work/crlf.minisig" "$work/setupZT.zip" > "$dir/archive-crlf"
# A .pub file alone, for the key parser.
printf 'untrusted comment: minisign public key 87F830FD5E858938\nRWQ4iYVe/TD4h5jX8MczT9kFJQtTop4tw4tLAf/GpjUbNgQ0vo2SVkrL\n' \
  > "$dir/public-key"
