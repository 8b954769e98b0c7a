#!/usr/bin/env bash
# Checks the packages that prepare.sh built in OUT/dist: their names, what each one holds, the
# split debug information, the exe's imports and version texts, the MSI's properties and the
# checksums.
#   package_test.sh OUT
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dist=$1/dist
version=$(<"$root/VERSION")
name="quillmark-$version-x64"
objdump=x86_64-w64-mingw32-objdump
export LC_ALL=C

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
expect() { [[ "$1" == "$2" ]] || fail "$3: got '$1', expected '$2'"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

expect "$(ls "$dist" | sort | xargs)" "SHA256SUMS $name-debug.zip $name.msi $name.zip" "files in dist"

echo "$name.zip:"
unzip -l "$dist/$name.zip"
expect "$(unzip -Z1 "$dist/$name.zip" | sort | xargs)" "LICENSE README.md THIRD-PARTY-NOTICES quillmark.exe" \
       "files in the zip"
expect "$(unzip -Z1 "$dist/$name-debug.zip" | xargs)" "quillmark.exe.debug" "files in the debug zip"
unzip -q "$dist/$name.zip" -d "$work/zip"
unzip -q "$dist/$name-debug.zip" -d "$work/debug"
exe=$work/zip/quillmark.exe

for doc in README.md LICENSE THIRD-PARTY-NOTICES; do
    cmp -s <(sed 's/\r*$/\r/' "$root/$doc") "$work/zip/$doc" || fail "$doc in the zip is not the repository's, with CR LF"
done

# The exe carries no debug sections; its debug link names the debug file and its CRC-32.
# Section lists read whole first: grep -q leaving early would fail objdump's pipe under pipefail.
exe_sections=$("$objdump" -h "$exe") || fail "objdump cannot read the shipped exe"
debug_sections=$("$objdump" -h "$work/debug/quillmark.exe.debug") || fail "objdump cannot read the debug file"
grep -q '\.debug_' <<<"$exe_sections" && fail "the shipped exe still carries debug sections"
grep -q '\.debug_info' <<<"$debug_sections" || fail "the debug file holds no .debug_info"
x86_64-w64-mingw32-objcopy --dump-section .gnu_debuglink="$work/link" "$exe" "$work/scratch.exe" ||
    fail "the shipped exe has no debug link"
python3 - "$work/link" "$work/debug/quillmark.exe.debug" <<'PY' || fail "the debug link does not match the debug file"
import struct, sys, zlib
link, debug = open(sys.argv[1], "rb").read(), open(sys.argv[2], "rb").read()
name = link[:link.index(b"\0")].decode()
crc, = struct.unpack("<I", link[-4:])
print(f"debug link: {name}, CRC-32 {crc:08x}")
sys.exit(name != "quillmark.exe.debug" or crc != zlib.crc32(debug))
PY

echo "imports of quillmark.exe:" $("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
"$root/tools/package.sh" --check-imports "$exe" || fail "the shipped exe loads a DLL that Windows does not ship"
# The check itself: the same exe with one import renamed to a DLL Windows lacks is refused.
python3 - "$exe" "$work/foreign.exe" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
assert b"VERSION.dll" in data
open(sys.argv[2], "wb").write(data.replace(b"VERSION.dll", b"libqm-1.dll"))
PY
"$root/tools/package.sh" --check-imports "$work/foreign.exe" 2>/dev/null && fail "an exe loading libqm-1.dll passed the import check"

# The file description ends with the commit unless the build is the release's tagged commit.
commit=$(git -C "$root" rev-parse --short HEAD)
note=" (commit $commit)"
[[ -n "$(git -C "$root" tag --points-at HEAD --list "v$version")" ]] && note=""
description=$(python3 - "$exe" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
key = "FileDescription\0".encode("utf-16-le")
at = data.index(key) + len(key)
while data[at:at + 2] == b"\0\0":
    at += 2
end = at
while data[end:end + 2] != b"\0\0":
    end += 2
print(data[at:end].decode("utf-16-le"))
PY
)
expect "$description" "Quillmark security and policy restrictions$note" "FileDescription"

msi=$dist/$name.msi
property() { msiinfo export "$msi" Property | tr -d '\r' | awk -F'\t' -v k="$1" '$1 == k { print $2 }'; }
expect "$(property ProductVersion)" "$version" "ProductVersion of the MSI"
expect "$(property ALLUSERS)" "1" "ALLUSERS (a per-machine install)"
# Every release must carry the same UpgradeCode, or it installs beside older ones.
expect "$(property UpgradeCode)" "{8EEF7456-6CB6-436A-8739-0C93D8CA394B}" "UpgradeCode"
expect "$(msiinfo suminfo "$msi" | tr -d '\r' | sed -n 's/^Template: //p')" "x64;1033" "MSI platform"
msiextract -C "$work/msi" "$msi" >/dev/null  # into the folder's name, without Program Files
for file in quillmark.exe README.md LICENSE THIRD-PARTY-NOTICES; do
    cmp -s "$work/msi/Quillmark/$file" "$work/zip/$file" || fail "$file differs between the MSI and the zip"
done

(cd "$dist" && sha256sum --check --quiet SHA256SUMS) || fail "SHA256SUMS does not match the packages"
expect "$(awk '{ print $2 }' "$dist/SHA256SUMS" | sort | xargs)" "$name-debug.zip $name.msi $name.zip" "files in SHA256SUMS"

((failures == 0)) && echo "packages of $version: all checks passed"
exit $((failures != 0))
