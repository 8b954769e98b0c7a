#!/usr/bin/env bash
# Creates (init) or stops (stop) the Wine prefix named by WINEPREFIX.
set -euo pipefail
: "${WINEPREFIX:?}"
export WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
case "$1" in
  init)
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
      mkdir -p "$WINEPREFIX"
      wine wineboot --init >/dev/null 2>&1 || true
      wineserver -w
    fi
    [[ -f "$WINEPREFIX/system.reg" ]] || { echo "wine prefix was not created" >&2; exit 1; }
    ;;
  stop) wineserver -k 2>/dev/null || true ;;
esac
