#!/usr/bin/env bash
# Builds everything and runs every test under Wine, then the database suites once more
# under the SQL Server driver personality; exits non-zero when either run fails.
set -euo pipefail
source "$(dirname "$0")/common.sh"
# A test program that crashes ends at once with its failure on record; Wine's debugger would
# otherwise wait for a person until ctest's time-out.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winedbg.exe=d"

bash "$VCM_ROOT/scripts/setup.sh"
vcm_configure_and_build
vcm_register_odbc
trap vcm_stop_started EXIT
vcm_start_display
vcm_start_wine

# Runs ctest with the given driver personality; prints its result line into the summary.
summary=()
run_personality() {
  local name=$1 odbc=$2 personality=$3
  shift 3
  local log=$VCM_BUILD/ctest-$personality.log
  echo "=== Driver personality: $name"
  local rc
  set +e
  ODBCSYSINI=$odbc VCM_DB_PERSONALITY=$personality \
    ctest --test-dir "$VCM_BUILD" --output-on-failure "$@" 2>&1 | tee "$log"
  rc=${PIPESTATUS[0]}
  set -e
  local result
  result=$(grep -E 'tests passed|No tests were found' "$log" | tail -n 1)
  summary+=("$name: ${result:-no result} (exit $rc)")
  return "$rc"
}

status=0
run_personality "plain SQLite, every suite" "$VCM_ODBC_PLAIN" sqlite "$@" || status=1
run_personality "SQL Server personality, database suites" "$VCM_ODBC_SQLSERVER" sqlserver -L database "$@" || status=1

echo "=== Summary"
printf '%s\n' "${summary[@]}"
# Both runs together, in the plain closing form any reader of test output understands.
passed=0 failed=0
for line in "${summary[@]}"; do
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
done
echo "$passed passed, $failed failed"
exit $status
