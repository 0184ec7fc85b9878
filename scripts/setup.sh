#!/usr/bin/env bash
# Installs the Debian packages that the build, the demo and the tests need.
# Quiet and quick when everything is already there.
set -euo pipefail

# Package scripts must see the machine's own ODBC configuration: the ODBC driver packages
# register themselves with odbcinst after unpacking, and odbcinst follows these variables,
# which the project's scripts point at a build folder that may not exist yet.
unset ODBCSYSINI ODBCINI ODBCINSTINI

packages=(
  cmake make
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 fonts-wine
  xvfb xauth x11-utils
  unixodbc libsqliteodbc sqlite3 python3
  g++ unixodbc-dev  # the host build of the tests' SQL Server personality driver
  googletest
  imagemagick
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
# Finish what an interrupted or failed earlier install left unconfigured; apt refuses to
# install anything while dpkg holds such packages.
"${sudo_cmd[@]}" dpkg --configure -a
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
