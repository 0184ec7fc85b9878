#!/usr/bin/env bash
# Builds the loader benchmark and runs it under Wine, with the environment the tests use.
#   scripts/bench.sh [N ...]      default sizes: 10000 100000 200000
set -euo pipefail
source "$(dirname "$0")/common.sh"

bash "$VCM_ROOT/scripts/setup.sh"
vcm_configure_and_build --target bench
vcm_register_odbc
trap vcm_stop_started EXIT
vcm_start_display
vcm_start_wine

work=$VCM_BUILD/bench/work
mkdir -p "$work"
cd "$work"
wine "$VCM_BUILD/bench/bench.exe" "$@"
