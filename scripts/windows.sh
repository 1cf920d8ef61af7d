#!/bin/sh
# The Windows build, cross-compiled here with mingw-w64 and tested under Wine:
#   scripts/windows.sh test      build into build-windows, run the unit suite (the SQLite
#                                conformance suite on the built sqlite3.dll) under Wine, the
#                                comma-locale cases again under LANG=de_DE.UTF-8, then package
#                                and check the package
#   scripts/windows.sh full      the same, then the server suite and the tool through Wine's
#                                ODBC against a throwaway PostgreSQL
#   scripts/windows.sh package   build and write quilldata-VERSION-win64.zip
# Each run uses a Wine prefix of its own, made for it and removed after it.
set -eu
cd "$(dirname "$0")/.."
what=${1:-test}
build=build-windows

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# The cross compiler, Wine, and the tools the build and the package use.
packages="g++-mingw-w64-x86-64-posix wine wine64 zip unzip"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# npm fetches the SQLite sources; a machine may have it from a Node.js of its own.
command -v npm >/dev/null || missing="$missing npm"
if [ -n "$missing" ]; then
  echo "windows: installing$missing"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLDATA_WERROR=ON >/dev/null
# The test programs first: they need the engine and the library's objects, which then build
# side by side (the targets themselves are built one after another).
case "$what" in
  package) targets="sqlite3 quilldata" ;;
  full) targets="test_unit test_server quilldata" ;;
  *) targets="test_unit quilldata" ;;
esac
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target $targets

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip="$PWD/quilldata-$version-win64.zip"
package() {
  stage=$(mktemp -d)
  cmake --install "$build" --prefix "$stage/quilldata-$version-win64" >/dev/null
  rm -f "$zip"
  (cd "$stage" && zip -qr "$zip" "quilldata-$version-win64")
  rm -rf "$stage"
  echo "windows: wrote $(basename "$zip")"
}
if [ "$what" = package ]; then
  package
  exit 0
fi

work=$(mktemp -d)
export WINEPREFIX="$work/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "${pg_stop:-}" ] && $pg_stop
  rm -rf "$work"
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1
run() { # LANG, program, arguments...
  lang=$1
  shift
  LANG=$lang LC_ALL= wine "$@"
}

# The unit suite, then the cases of a comma locale where it is the user's own.
run C.UTF-8 "$build/bin/test_unit.exe" --gtest_brief=1
run de_DE.UTF-8 "$build/bin/test_unit.exe" --gtest_brief=1 \
  --gtest_filter='*German*:*Comma*:*EveryLocale*'

# The package, as a host developer gets it: the README's program built against the zip's
# CMake package, and the tool, each run twice on one file, under both locales.
package
unzip -q "$zip" -d "$work/zip"
prefix="$work/zip/quilldata-$version-win64"
cmake -S examples/consumer -B "$work/consumer" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_FIND_ROOT_PATH="$prefix" -DQuillData_DIR="$prefix/lib/cmake/QuillData" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >/dev/null
cmake --build "$work/consumer" >/dev/null
cp "$work/consumer/consumer.exe" "$prefix/bin/"
for lang in C.UTF-8 de_DE.UTF-8; do
  db="$work/shop-$lang.db"
  for round in first second; do
    out=$(cd "$prefix/bin" && run "$lang" consumer.exe "$db" | tr -d '\r')
    echo "$out" | grep -qx "Hinge35 is machining 1 of 1" || { echo "$out"; exit 1; }
    if [ $round = second ]; then
      echo "$out" | grep -qx "$db has the schema" || { echo "$out"; exit 1; }
    fi
  done
done
tool="$prefix/bin/quilldata.exe"
run C.UTF-8 "$tool" init "$work/tool.db" --sample >/dev/null
run de_DE.UTF-8 "$tool" call --db "$work/tool.db" --summary GETTblMachining | grep -q '"count": 5' ||
  { echo "windows: the packaged tool did not read the sample"; exit 1; }
echo "windows: the README's program and the tool ran from the package under Wine"

[ "$what" = full ] || exit 0

# A throwaway PostgreSQL on this machine, reached from Wine through its ODBC (the host's
# unixODBC with psqlODBC, named in a driver list of this run's own).
pgbin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
driver=$(ls /usr/lib/*/odbc/psqlodbcw.so | head -n 1)
mkdir -p "$work/odbc" "$work/pg"
printf '[PostgreSQL Unicode]\nDriver=%s\nDebug=0\nCommLog=0\n' "$driver" >"$work/odbc/odbcinst.ini"
: >"$work/odbc/odbc.ini"
export ODBCSYSINI="$work/odbc" ODBCINI="$work/odbc/odbc.ini"
pg() { # the server's programs run as the postgres user, as the server refuses root
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
[ "$(id -u)" -eq 0 ] && chown postgres "$work/pg"
chmod 755 "$work"
pg "$pgbin/initdb" -D "$work/pg/data" -U postgres -A trust -E UTF8 --locale=C --no-sync >/dev/null
port=$((20000 + $$ % 20000))
for attempt in 1 2 3 4 5; do
  if pg "$pgbin/pg_ctl" -D "$work/pg/data" -l "$work/pg/server.log" -w -t 60 -o \
    "-p $port -k $work/pg -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off" \
    start >/dev/null; then
    break
  fi
  [ $attempt = 5 ] && { cat "$work/pg/server.log"; exit 1; }
  port=$((port + 1))
done
pg_stop="pg $pgbin/pg_ctl -D $work/pg/data -m fast -w stop"
server="Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;UID=postgres;PWD=;SSLMode=disable;BoolsAsChar=0"
"$pgbin/psql" -X -q -h 127.0.0.1 -p "$port" -U postgres -d postgres -c "CREATE DATABASE shop"
run C.UTF-8 "$tool" server-init --server "$server;Database=shop" >/dev/null

# The tool through Wine's ODBC: a writer, then a reader that finds its row.
run C.UTF-8 "$tool" call --server "$server;Database=shop" INSERTMachining Hinge35 D 1 12.5 37 0 >/dev/null
run de_DE.UTF-8 "$tool" call --server "$server;Database=shop" --summary GETTblMachining |
  grep -q '"count": 1' || { echo "windows: the tool did not read its row from the server"; exit 1; }
echo "windows: the tool wrote and read a row through Wine's ODBC"

# The server suites: the conformance suite on the server backend, the maintenance class and
# the tool.
QUILLDATA_TEST_SERVER=$server run C.UTF-8 "$build/bin/test_server.exe" --gtest_brief=1
