#!/bin/sh
# Installs what building, testing and running QuillData needs on Debian 12.
# Safe to run again: it only calls apt-get when something is missing.
set -eu

PACKAGES="build-essential cmake git pkg-config clang clang-format libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev libsqlitecpp-dev libffi-dev libutfcpp-dev nlohmann-json3-dev
  libcli11-dev libssl-dev libsqlite3-0 libsqlite3-dev sqlite3 locales unixodbc unixodbc-dev
  libpq-dev odbc-postgresql postgresql pgbouncer valgrind"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

if [ -n "$missing" ]; then
  echo "bootstrap: installing$missing"
  as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
  # shellcheck disable=SC2086
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
fi

# The comma-locale tests need a real de_DE.UTF-8.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  echo "bootstrap: generating de_DE.UTF-8"
  as_root localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
