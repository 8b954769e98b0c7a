#!/usr/bin/env bash
# A profile exported by quillmark.exe in the tests' Wine prefix (one machine), applied with
# /apply in a prefix created afresh (another machine) and checked there with /check: the
# .reg file and the Group Policy folder both.
set -uo pipefail
: "${WINEPREFIX:?}" "${QM_EXE:?}" "${QM_FRESH_PREFIX:?}"
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
work=$(mktemp -d)
source_prefix=$WINEPREFIX
system='HKCU\Software\Microsoft\Windows\CurrentVersion\Policies\System'
explorer='HKCU\Software\Microsoft\Windows\CurrentVersion\Policies\Explorer'
winlogon='HKLM\Software\Microsoft\Windows NT\CurrentVersion\Winlogon'
failures=0

undo_source() {
  WINEPREFIX=$source_prefix wine reg delete "$system" /v NoDispCPL /f >/dev/null 2>&1
  WINEPREFIX=$source_prefix wine reg delete "$explorer" /v NoThemesTab /f >/dev/null 2>&1
  WINEPREFIX=$source_prefix wine reg delete "$winlogon" /v DisableCAD /f >/dev/null 2>&1
}
cleanup() {
  undo_source
  WINEPREFIX=$QM_FRESH_PREFIX wineserver -k 2>/dev/null
  rm -rf "$work" "$QM_FRESH_PREFIX"
}
trap cleanup EXIT

# quillmark.exe with its arguments; its output (kept in $out) and exit code.
quillmark() {
  out=$(wine "$work/quillmark.exe" "$@" 2>/dev/null | tr -d '\r')
  return "${PIPESTATUS[0]}"
}
expect() {  # expected exit code, what it is, then the command
  local want=$1 what=$2
  shift 2
  "$@"
  local got=$?
  if [[ $got != "$want" ]]; then
    echo "FAILED: $what: exit code $got, expected $want"
    echo "$out"
    failures=$((failures + 1))
  else
    echo "ok: $what"
  fi
}
# reg.exe's own exit code and output, kept apart from grep's: a query that failed to start
# (the fresh prefix's wineserver going down as it connects) is asked once more, and a failure
# shows what reg printed.
reg_query() {
  shown=$(wine reg query "$1" /v "$2" 2>&1 | tr -d '\r')
}
expect_value() {  # key, value name, data reg query must show (REG_DWORD)
  local want="^ +$2 +REG_DWORD +$3\$"
  if ! { reg_query "$1" "$2" || { wineserver -w; reg_query "$1" "$2"; }; } || ! grep -qE "$want" <<<"$shown"; then
    echo "FAILED: $1 $2 does not hold $3; reg query printed:"
    echo "$shown"
    failures=$((failures + 1))
  fi
}

cp "$QM_EXE" "$work/quillmark.exe"
unix_to_wine() { echo "Z:${1//\//\\}"; }
reg_file=$(unix_to_wine "$work/profile.reg")
gpo=$(unix_to_wine "$work/gpo")

# The first machine: three tweaks on, one of them under HKEY_LOCAL_MACHINE.
wine reg add "$system" /v NoDispCPL /t REG_DWORD /d 1 /f >/dev/null
wine reg add "$explorer" /v NoThemesTab /t REG_DWORD /d 1 /f >/dev/null
wine reg add "$winlogon" /v DisableCAD /t REG_DWORD /d 0 /f >/dev/null
expect 0 "/export of a .reg file" quillmark /export "$reg_file"
expect 0 "/export of a Group Policy folder" quillmark /export "$gpo\\Registry.pol"
expect 0 "/check of the own export" quillmark /check "$reg_file"
undo_source

# The second machine, created afresh.
export WINEPREFIX=$QM_FRESH_PREFIX
rm -rf "$WINEPREFIX" "$work/quillmark.dat" "$work/default.qmk"
start=$(date +%s)
wine wineboot --init >/dev/null 2>&1
wineserver -w
echo "fresh prefix made in $(($(date +%s) - start)) s"
expect 1 "/check before /apply: not compliant" quillmark /check "$reg_file"
expect 1 "/check of the Group Policy folder before /apply" quillmark /check "$gpo"
expect 0 "/apply of the .reg file" quillmark /apply "$reg_file"
expect_value "$system" NoDispCPL 0x1
expect_value "$explorer" NoThemesTab 0x1
expect_value "$winlogon" DisableCAD 0x0
expect 0 "/check after /apply: compliant" quillmark /check "$reg_file"
expect 0 "/check of the Group Policy folder after /apply" quillmark /check "$gpo"
exit $((failures > 0))
