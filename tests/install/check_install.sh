#!/bin/sh
# Installs the built tree into a temporary prefix, then, with no LD_LIBRARY_PATH: runs the
# installed tool, and builds the README's program outside the tree against the prefix
# (through find_package(QuillData) and through pkg-config) and runs each twice on one file.
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH
cd "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null

tool="$work/prefix/bin/quilldata"
"$tool" --version
"$tool" init tool.db --sample >/dev/null
"$tool" call --db tool.db --summary GETTblMachining | grep -q '"count": 5' ||
  { echo "the installed tool did not read the sample"; exit 1; }

# Twice on one file: the second run finds the schema and the machining.
twice() {
  "$1" "$2" >first.out
  grep -qx "Hinge35 is machining 1 of 1" first.out || { cat first.out; exit 1; }
  "$1" "$2" >second.out
  grep -qx "$2 has the schema" second.out || { cat second.out; exit 1; }
  grep -qx "Hinge35 is machining 1 of 1" second.out || { cat second.out; exit 1; }
}

cmake -S "$source/examples/consumer" -B consumer -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build consumer >/dev/null
twice consumer/consumer by-find-package.db

pc=$(find "$work/prefix" -name QuillData.pc)
export PKG_CONFIG_PATH="$(dirname "$pc")"
c++ "$source/examples/consumer/main.cpp" -o by-pkg-config $(pkg-config --cflags --libs QuillData)
twice ./by-pkg-config by-pkg-config.db
echo "installed tool and README program ran without LD_LIBRARY_PATH"
