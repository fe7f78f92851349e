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
echo "install check passed"
