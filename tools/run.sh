#!/usr/bin/env bash
# Builds Quillmark and starts it under Wine in the project's own prefix (build/run/wineprefix).
# Without a display it runs under Xvfb, saves a screenshot and prints its path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/setup.sh"
"$root/tools/build.sh" --win-only
run="$root/build/run"
mkdir -p "$run"
cp "$root/build/win/quillmark.exe" "$run/quillmark.exe"
export WINEPREFIX="$run/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$root/tools/wine-prefix.sh" init
if [[ -n "${DISPLAY:-}" ]]; then
  exec wine "$run/quillmark.exe"
fi
source "$root/tools/xvfb.sh"
wine "$run/quillmark.exe" &
app=$!
for _ in $(seq 60); do
  xdotool search --name '^Quillmark' >/dev/null 2>&1 && break
  sleep 0.5
done
sleep 2
shot="$run/quillmark.png"
import -window root "$shot"
echo "Quillmark is running headless; screenshot: $shot"
wineserver -k 2>/dev/null || true
wait "$app" 2>/dev/null || true
