#!/usr/bin/env bash
# The ABI report of libdkcommon.so.1 (make abi): writes the ABI of a build's library with abidw
# and compares it with the baseline kept (compressed) in tools/abi/ with abidiff, printing the functions,
# variables and types added, changed and removed. Changes are reported, not failed on; only an
# error of the tools fails. `tools/abi.sh BUILD_DIR --baseline` (make abi-baseline) makes the
# build's ABI the new baseline, to be committed.
# Usage: abi.sh BUILD_DIR [--baseline]
set -euo pipefail
build=$1; here=$(cd "$(dirname "$0")" && pwd)
source=$(cd "$here/.." && pwd)
baseline=$here/abi/libdkcommon.so.1.abi.gz
current=$build/abi/libdkcommon.so.1.abi
mkdir -p "$build/abi"
# Only the types of the public headers, without source locations; the compilation folders and
# source paths of this machine are taken out so that the baseline reads the same everywhere.
abidw --no-corpus-path --no-show-locs --drop-private-types --headers-dir "$source/include/dk" \
      --out-file "$current.raw" "$build/lib/libdkcommon.so.1"
sed -e "s| comp-dir-path='[^']*'||" -e "s|path='$source/|path='|g" "$current.raw" > "$current"
if [ "${2:-}" = --baseline ]; then
  gzip -9nc "$current" > "$baseline"
  echo "abi: new baseline $baseline"
  exit 0
fi
[ -f "$baseline" ] || { echo "abi: no baseline yet; make abi-baseline writes one"; exit 0; }
gzip -dc "$baseline" > "$build/abi/baseline.abi"
set +e
abidiff --no-show-locs --leaf-changes-only "$build/abi/baseline.abi" "$current"
rc=$?
set -e
# abidiff's status is a bit mask: 1 a tool error, 2 a usage error, 4 a change, 8 an incompatible change.
if (( rc & 3 )); then echo "abi: abidiff failed ($rc)"; exit "$rc"; fi
if (( rc & 8 )); then echo "abi: incompatible changes against the baseline (reported only)"
elif (( rc & 4 )); then echo "abi: compatible changes against the baseline"
else echo "abi: no change against the baseline"; fi
