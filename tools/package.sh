#!/usr/bin/env bash
# Builds a release of Quillmark into dist/ (or --out DIR):
#   quillmark-<version>-x64.zip        quillmark.exe, README.md, LICENSE, THIRD-PARTY-NOTICES
#   quillmark-<version>-x64.msi        the same files, installed per machine
#   quillmark-<version>-x64-debug.zip  quillmark.exe.debug, the exe's debug information
#   SHA256SUMS
# The exe is an optimised build of its own tree (build/release), stripped, with a debug link to
# the separate debug file, and refused if it loads any DLL that Windows does not ship.
#
#   tools/package.sh [--out DIR]
#   tools/package.sh --msi VERSION FOLDER OUT.msi   an MSI of the files in FOLDER
#   tools/package.sh --check-imports EXE            fails unless EXE loads only system DLLs
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=x86_64-w64-mingw32

# What every supported Windows has in System32; a DLL beyond these would have to ship beside
# the exe, which the release promises not to need.
is_system_dll() {
    case "${1,,}" in
        advapi32.dll | bcrypt.dll | comctl32.dll | comdlg32.dll | gdi32.dll | kernel32.dll | msvcrt.dll | ole32.dll | \
        ntdll.dll | oleaut32.dll | shell32.dll | shlwapi.dll | user32.dll | uxtheme.dll | version.dll) return 0 ;;
        *) return 1 ;;
    esac
}

check_imports() {
    local dll dlls bad=0
    dlls=$("$prefix-objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [[ -n "$dlls" ]] || { echo "package: no imports found in $1" >&2; return 1; }
    for dll in $dlls; do
        is_system_dll "$dll" || { echo "package: $1 loads $dll, which Windows does not ship" >&2; bad=1; }
    done
    return "$bad"
}

# wixl reads the files named in the .wxs relative to the .wxs itself.
build_msi() {
    local version=$1 folder out work status=0
    folder=$(cd "$2" && pwd)
    out=$(realpath -m "$3")
    work=$(mktemp -d)
    cp "$root/tools/package/quillmark.wxs" "$root/resources/icons/quillmark.ico" "$work/"
    ln -s "$folder" "$work/payload"
    wixl -a x64 -D Version="$version" -D SourceDir=payload -D IconFile=quillmark.ico \
         -o "$out" "$work/quillmark.wxs" >"$work/wixl.log" 2>&1 || status=$?
    # It reports through GLib warnings even when all is well: show them only on failure.
    ((status == 0)) || cat "$work/wixl.log" >&2
    rm -rf "$work"
    return "$status"
}

case "${1:-}" in
    --check-imports) check_imports "$2"; exit ;;
    --msi) build_msi "$2" "$3" "$4"; exit ;;
esac

out="$root/dist"
[[ "${1:-}" == "--out" ]] && out=$(realpath -m "$2")
version=$(<"$root/VERSION")
name="quillmark-$version-x64"

"$root/tools/setup.sh"
# Compiled as the tested tree is (-O2 -g -DNDEBUG), so the shipped code is the code the
# suite runs. Sections aligned to pages in the file let Wine map the image instead of copying
# it: 3.4 MB less private memory at start-up.
build="$root/build/release"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_EXE_LINKER_FLAGS=-Wl,--file-alignment=4096 >/dev/null
cmake --build "$build" --target quillmark -j "$(nproc)"

# The packages' files, exactly; the debug information goes beside them, packaged apart.
stage="$build/stage"
debug="$build/debug"
rm -rf "$stage" "$debug" && mkdir -p "$stage" "$debug"
"$prefix-objcopy" --only-keep-debug "$build/quillmark.exe" "$debug/quillmark.exe.debug"
"$prefix-objcopy" --strip-all "$build/quillmark.exe" "$stage/quillmark.exe"
"$prefix-objcopy" --add-gnu-debuglink="$debug/quillmark.exe.debug" "$stage/quillmark.exe"
check_imports "$stage/quillmark.exe"
# CR LF, so that every Notepad shows the texts with their lines.
for doc in README.md LICENSE THIRD-PARTY-NOTICES; do
    sed 's/\r*$/\r/' "$root/$doc" >"$stage/$doc"
done

mkdir -p "$out"
rm -f "$out/$name.zip" "$out/$name.msi" "$out/$name-debug.zip" "$out/SHA256SUMS"
(cd "$stage" && zip -q -X -9 "$out/$name.zip" quillmark.exe README.md LICENSE THIRD-PARTY-NOTICES)
(cd "$debug" && zip -q -X -9 "$out/$name-debug.zip" quillmark.exe.debug)
build_msi "$version" "$stage" "$out/$name.msi"
(cd "$out" && sha256sum "$name.zip" "$name.msi" "$name-debug.zip" >SHA256SUMS)
ls -l "$out/$name.zip" "$out/$name.msi" "$out/$name-debug.zip" "$build/quillmark.exe" "$stage/quillmark.exe"
