#!/usr/bin/env bash
# Builds the tool and starts it on the demo environment: a folder with the exe, its
# language libraries and help page, a demo VeltoDb, and the product's registry values
# in the demo prefix. Without a DISPLAY it runs under Xvfb and saves a screenshot.
#   scripts/run.sh            demo database of a few dozen mappings
#   scripts/run.sh --large    100,000 mappings
set -euo pipefail
source "$(dirname "$0")/common.sh"

size=small
[ "${1:-}" = "--large" ] && size=large

bash "$VCM_ROOT/scripts/setup.sh"
vcm_configure_and_build --target VeltoCredentialsMap
vcm_register_odbc

demo=$VCM_BUILD/demo
mkdir -p "$demo"
cp "$VCM_BUILD/VeltoCredentialsMap.exe" "$demo/"
cp "$VCM_BUILD"/VeltoCredentialsMap_*.dll "$demo/" 2>/dev/null || true
cp "$VCM_ROOT/res/VeltoCredentialsMap.htm" "$demo/" 2>/dev/null || true

rm -f "$demo/VeltoDb"
sqlite3 "$demo/VeltoDb" <"$VCM_ROOT/scripts/demo/schema.sql"
if [ "$size" = large ]; then
  python3 "$VCM_ROOT/scripts/demo/make_data.py" large 100000 | sqlite3 "$demo/VeltoDb"
else
  python3 "$VCM_ROOT/scripts/demo/make_data.py" demo | sqlite3 "$demo/VeltoDb"
fi

headless=0
[ -z "${DISPLAY:-}" ] && headless=1
trap vcm_stop_started EXIT
vcm_start_display
vcm_start_wine

# The values the product's setup writes: version 4.0 build 2.105, the Exchange connector.
wine reg add 'HKLM\Software\Orvanto' /v 'Version Number' /t REG_DWORD /d 0x00040000 /f >/dev/null 2>&1 </dev/null
wine reg add 'HKLM\Software\Orvanto' /v 'Build Number' /t REG_DWORD /d 0x00020069 /f >/dev/null 2>&1 </dev/null
wine reg add 'HKLM\SOFTWARE\Orvanto\SystemParameters\1.0' /v IDCProgID /t REG_SZ /d 'ZrDsExchange.ZrIDCExchange.1' /f >/dev/null 2>&1 </dev/null

cd "$demo"
if [ "$headless" -eq 1 ]; then
  wine ./VeltoCredentialsMap.exe >/dev/null 2>&1 </dev/null &
  app=$!
  sleep "${VCM_DEMO_WAIT:-6}"
  shot=$VCM_BUILD/demo-screenshot.png
  import -display "$DISPLAY" -window root "$shot"
  echo "screenshot: $shot"
  kill "$app" 2>/dev/null || true
else
  wine ./VeltoCredentialsMap.exe
fi
