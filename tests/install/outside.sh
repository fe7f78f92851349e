#!/usr/bin/env bash
# Checks an installed tree from outside, with an empty environment: no file in it holds a path of
# the source or build tree, an outside program built with pkg-config and one built with
# find_package(dkcommon) get catalogue texts and load the SQLite connector by name, and the
# installed dk runs init, import and query. With SYSROOT set, the tree lies inside that root (an
# extracted package) and pkg-config is told so through PKG_CONFIG_SYSROOT_DIR.
# Usage: outside.sh TREE SOURCE_DIR BUILD_DIR
set -euo pipefail
tree=$(realpath "$1"); source=$(realpath "$2"); build=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
pcdir=$(dirname "$(find "$tree" -name dkcommon.pc)")
echo "tree $tree, library folder $(realpath --relative-to="$tree" "$(dirname "$pcdir")")"

leaks=$(find "$tree" -type f -exec strings -a -f {} + | grep -F -e "$source" -e "$build" || true)
if [ -n "$leaks" ]; then echo "installed files hold build-tree paths:"; echo "$leaks" | head; exit 1; fi

mkdir "$work/pc" && cd "$work/pc"
flags=$(PKG_CONFIG_SYSROOT_DIR=${SYSROOT:-} PKG_CONFIG_LIBDIR=$pcdir pkg-config --cflags --libs dkcommon)
c++ -std=c++17 "$here/outside.cpp" -o outside $flags
env -i ./outside

mkdir "$work/cm" && cd "$work/cm"
cp "$here/outside.cpp" . && cp "$here/CMakeLists.txt.in" CMakeLists.txt
cmake -S . -B b -DCMAKE_PREFIX_PATH="$tree" >/dev/null
cmake --build b >/dev/null
env -i b/outside

# The installed tool: its rpath finds the library, the library finds the connector beside it and
# the MIME table in its data folder.
dk=$tree/bin/dk
mkdir -p "$work/run/tree/docs" && cd "$work/run"
echo "hello" > tree/a.txt && echo "more text" > tree/docs/b.md
env -i DK_PASSWORD=pw "$dk" --version
env -i DK_PASSWORD=pw "$dk" init r.db
env -i DK_PASSWORD=pw "$dk" import r.db tree | tee import.out
grep -q "2 added" import.out
env -i DK_PASSWORD=pw "$dk" query r.db "SELECT filename, mimetype FROM document ORDER BY filename" --format csv | tee query.out
[ "$(tr -d '\r' < query.out)" = "$(printf 'filename,mimetype\na.txt,text/plain\ndocs/b.md,text/markdown')" ]
echo "outside checks passed: $tree"
