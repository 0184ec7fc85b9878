#!/usr/bin/env bash
# Builds the tool and starts it on the demo environment: a folder with the exe, its
# language libraries and help page, a demo VeltoDb, and the product's registry values
# in the demo prefix. Without a DISPLAY it runs under Xvfb and saves a screenshot.
#   scripts/run.sh                     demo database of a few dozen mappings
#   scripts/run.sh --large             100,000 mappings
#   scripts/run.sh --screenshots DIR   headless: saves the README's pictures as PNG files in
#                                      DIR (the main window, a removal's confirmation,
#                                      the account details, the help and About windows,
#                                      the Remove Deleted Accounts window and its summary)
set -euo pipefail
source "$(dirname "$0")/common.sh"

size=small
shots=
while [ $# -gt 0 ]; do
  case "$1" in
    --large) size=large ;;
    --screenshots) shots=${2:?--screenshots needs a folder}; shift ;;
    *) echo "usage: $0 [--large] [--screenshots DIR]" >&2; exit 2 ;;
  esac
  shift
done

bash "$VCM_ROOT/scripts/setup.sh"
if [ -n "$shots" ]; then
  vcm_configure_and_build --target VeltoCredentialsMap --target vcm_demo_screenshots
else
  vcm_configure_and_build --target VeltoCredentialsMap
fi
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
# Pictures are taken on a screen of their own, with nothing else on it.
[ -n "$shots" ] && unset DISPLAY
[ -z "${DISPLAY:-}" ] && headless=1
trap vcm_stop_started EXIT
vcm_start_display
vcm_start_wine

# The values the product's setup writes: version 4.0 build 2.105, the Exchange connector.
wine reg add 'HKLM\Software\Orvanto' /v 'Version Number' /t REG_DWORD /d 0x00040000 /f >/dev/null 2>&1 </dev/null
wine reg add 'HKLM\Software\Orvanto' /v 'Build Number' /t REG_DWORD /d 0x00020069 /f >/dev/null 2>&1 </dev/null
wine reg add 'HKLM\SOFTWARE\Orvanto\SystemParameters\1.0' /v IDCProgID /t REG_SZ /d 'ZrDsExchange.ZrIDCExchange.1' /f >/dev/null 2>&1 </dev/null

if [ -n "$shots" ]; then
  mkdir -p "$shots"
  shots=$(cd "$shots" && pwd)
  bitmaps=$(mktemp -d)
  # The helper starts the tool in the demo folder and drives it as a person would.
  wine "$VCM_BUILD/tests/vcm_demo_screenshots.exe" "$demo" "$bitmaps" </dev/null
  # ImageMagick's own convert, not a stand-in of the same name earlier on the PATH.
  magick=/usr/bin/convert
  [ -x "$magick" ] || magick=convert
  for name in main-window confirm-removal account-details help about remove-deleted remove-deleted-summary; do
    "$magick" "$bitmaps/$name.bmp" -strip "$shots/$name.png"
  done
  rm -rf "$bitmaps"
  echo "screenshots: $shots/main-window.png $shots/confirm-removal.png $shots/account-details.png $shots/help.png $shots/about.png $shots/remove-deleted.png $shots/remove-deleted-summary.png"
  exit 0
fi

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
