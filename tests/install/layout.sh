#!/usr/bin/env bash
# The install check of one layout: installs the build tree $2 one way ($1: "prefix" installs with
# --prefix, as `make install PREFIX=` does; "destdir" stages the configured prefix under DESTDIR,
# as a packager does), moves the installed tree to a new place out of the build's reach and checks
# it from outside (outside.sh).
# Usage: layout.sh prefix|destdir BUILD_DIR SOURCE_DIR
set -euo pipefail
mode=$1; build=$(realpath "$2"); source=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
case $mode in
  prefix)  cmake --install "$build" --strip --prefix "$work/installed" >/dev/null
           from=$work/installed ;;
  destdir) DESTDIR=$work/stage cmake --install "$build" --strip >/dev/null
           from=$work/stage$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt") ;;
  *)       echo "unknown layout $mode" >&2; exit 2 ;;
esac
mv "$from" "$work/moved"
rm -rf "$work/installed" "$work/stage"
"$here/outside.sh" "$work/moved" "$source" "$build"
