#!/usr/bin/env bash
# Builds everything and runs every test under Wine; exits with ctest's status.
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$VCM_ROOT/scripts/setup.sh"
vcm_configure_and_build
vcm_register_odbc
trap vcm_stop_started EXIT
vcm_start_display
vcm_start_wine

status=0
ctest --test-dir "$VCM_BUILD" --output-on-failure "$@" || status=$?
exit $status
