#!/bin/sh
# Installs the built tree into a temporary prefix, then builds and runs a program outside the
# tree against it twice: through find_package(QuillData) and through pkg-config.
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/examples/consumer" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib/x86_64-linux-gnu" "$work/consumer/consumer"
pc=$(find "$work/prefix" -name QuillData.pc)
PKG_CONFIG_PATH=$(dirname "$pc") c++ "$source/examples/consumer/main.cpp" -o "$work/by-pkg-config" \
  $(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs QuillData)
LD_LIBRARY_PATH=$(dirname "$(dirname "$pc")") "$work/by-pkg-config"
test -x "$work/prefix/bin/quilldata" || { echo "the tool was not installed"; exit 1; }
