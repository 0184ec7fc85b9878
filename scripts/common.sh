# Shared by the scripts: build folder, Wine prefix, X display, ODBC driver registration.
# Source it; it defines functions and exports the environment the Wine processes need.

VCM_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VCM_BUILD=${VCM_BUILD:-$VCM_ROOT/build}

export WINEPREFIX=$VCM_BUILD/wineprefix
export WINEARCH=win64
export WINEDEBUG=${WINEDEBUG:--all}
# No Gecko or Mono installers: the program needs neither, and they would wait for a person.
export WINEDLLOVERRIDES="mscoree,mshtml="
export ODBCSYSINI=$VCM_BUILD/odbc

VCM_STARTED_PIDS=()

vcm_configure_and_build() {
  local jobs
  jobs=$(nproc 2>/dev/null || echo 2)
  # Configuring every time is cheap and lets a named target that a newer tree added be found.
  cmake -S "$VCM_ROOT" -B "$VCM_BUILD" -DCMAKE_TOOLCHAIN_FILE="$VCM_ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$VCM_BUILD" -j "$jobs" "$@"
}

# The two driver personalities the database tests run under, each a folder with an
# odbcinst.ini that registers a driver as "SQL Server": plain SQLite, and the test driver
# that gives SQLite the real SQL Server driver's manners.
VCM_ODBC_PLAIN=$VCM_BUILD/odbc
VCM_ODBC_SQLSERVER=$VCM_BUILD/odbc-sqlserver

# Registers the SQLite ODBC driver under the name the program's connection string uses,
# and builds and registers the SQL Server personality beside it.
vcm_register_odbc() {
  local driver
  driver=$(ls /usr/lib/*/odbc/libsqlite3odbc.so 2>/dev/null | head -n 1)
  mkdir -p "$VCM_ODBC_PLAIN" "$VCM_ODBC_SQLSERVER"
  cat >"$VCM_ODBC_PLAIN/odbcinst.ini" <<INI
[SQL Server]
Description=SQLite 3 standing in for SQL Server
Driver=$driver
Setup=$driver
INI
  : >"$VCM_ODBC_PLAIN/odbc.ini"

  # A native library for the host's driver manager, so the host compiler builds it.
  local source=$VCM_ROOT/tests/sqlserver-driver/SqlServerDriver.cpp
  local library=$VCM_ODBC_SQLSERVER/libvcmsqlserver.so
  if [ ! -f "$library" ] || [ "$source" -nt "$library" ]; then
    g++ -std=c++17 -O2 -Wall -shared -fPIC -Wl,-Bsymbolic -DVCM_REAL_DRIVER="\"$driver\"" \
      -o "$library" "$source" -ldl
  fi
  cat >"$VCM_ODBC_SQLSERVER/odbcinst.ini" <<INI
[SQL Server]
Description=SQLite 3 with the manners of the SQL Server driver
Driver=$library
Setup=$driver
INI
  : >"$VCM_ODBC_SQLSERVER/odbc.ini"
}

# Starts an Xvfb when no display is set; remembers its pid.
vcm_start_display() {
  if [ -n "${DISPLAY:-}" ]; then
    return 0
  fi
  local n
  for n in $(seq 91 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      VCM_STARTED_PIDS+=($!)
      export DISPLAY=":$n"
      local i
      for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
      done
      echo "Xvfb did not come up on :$n" >&2
      return 1
    fi
  done
  echo "no free X display number" >&2
  return 1
}

# Creates the prefix once per build folder and keeps a wineserver running.
vcm_start_wine() {
  local fresh=0
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    fresh=1
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w
  fi
  # Debian's Wine does not find the symbol font of the caption buttons in its data folder;
  # a copy in the prefix's font folder puts the usual glyphs on them.
  local symbols=/usr/share/wine/fonts/marlett.ttf
  if [ -f "$symbols" ] && [ ! -f "$WINEPREFIX/drive_c/windows/Fonts/marlett.ttf" ]; then
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    cp "$symbols" "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  wineserver -f -p >/dev/null 2>&1 &
  VCM_STARTED_PIDS+=($!)
  # Give the server a moment to own its socket before the first client.
  sleep 0.3
  if [ "$fresh" -eq 1 ]; then
    # Without a window manager every closed top-level window costs two seconds unless Wine manages none.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null
  fi
  # Let the prefix's own services start now, so they do not inherit a later pipe.
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

vcm_stop_started() {
  wineserver -k >/dev/null 2>&1 || true
  local pid
  for pid in "${VCM_STARTED_PIDS[@]}"; do
    kill "$pid" >/dev/null 2>&1 || true
  done
  for pid in "${VCM_STARTED_PIDS[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  VCM_STARTED_PIDS=()
}
