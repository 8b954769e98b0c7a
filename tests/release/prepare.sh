#!/usr/bin/env bash
# Builds the release packages into OUT/dist and, for the upgrade test, OUT/next.msi: the same
# files as version NEXT, with NEXT also in the exe's version record.
#   prepare.sh OUT NEXT
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$1 next=$2
"$root/tools/package.sh" --out "$out/dist"

rm -rf "$out/next" "$out/next.msi" && mkdir -p "$out/next"
unzip -q "$out/dist/quillmark-$(<"$root/VERSION")-x64.zip" -d "$out/next"
python3 - "$out/next/quillmark.exe" "$next" <<'PY'
import struct, sys
path, version = sys.argv[1], [int(n) for n in sys.argv[2].split(".")]
data = bytearray(open(path, "rb").read())
# VS_FIXEDFILEINFO: signature, structure version, then file and product version, each as
# (major << 16 | minor, patch << 16 | build).
signature = struct.pack("<I", 0xFEEF04BD)
at = data.find(signature)
assert at >= 0 and data.find(signature, at + 1) < 0, "expected exactly one version record"
high, low = version[0] << 16 | version[1], version[2] << 16
struct.pack_into("<IIII", data, at + 8, high, low, high, low)
open(path, "wb").write(data)
PY
"$root/tools/package.sh" --msi "$next" "$out/next" "$out/next.msi"
