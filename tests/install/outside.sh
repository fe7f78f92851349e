#!/usr/bin/env bash
# Installs the build tree $1 into a temporary prefix and builds tests/install/outside.cpp against
# it twice, with pkg-config and with find_package(dkcommon); each program runs with no environment.
set -euo pipefail
build=$1; here=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(ls -d "$work"/prefix/lib*/pkgconfig | head -n 1)

mkdir "$work/pc" && cd "$work/pc"
c++ -std=c++17 "$here/outside.cpp" -o outside $(PKG_CONFIG_PATH="$libdir" pkg-config --cflags --libs dkcommon)
env -i ./outside

mkdir "$work/cm" && cd "$work/cm"
cp "$here/outside.cpp" . && cp "$here/CMakeLists.txt.in" CMakeLists.txt
cmake -S . -B b -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build b >/dev/null
cd b && env -i ./outside
# The installed tool: its rpath finds the library, the library finds the connector beside it.
dk=$work/prefix/bin/dk
mkdir -p "$work/run/tree/docs" && cd "$work/run"
echo "hello" > tree/a.txt && echo "more text" > tree/docs/b.md
env -i DK_PASSWORD=pw "$dk" --version
env -i DK_PASSWORD=pw "$dk" init r.db
env -i DK_PASSWORD=pw "$dk" import r.db tree | tee import.out
grep -q "2 added" import.out
env -i DK_PASSWORD=pw "$dk" query r.db "SELECT filename FROM document ORDER BY filename" --format csv | tee query.out
[ "$(tr -d '\r' < query.out)" = "$(printf 'filename\na.txt\ndocs/b.md')" ]
echo "install check passed"
