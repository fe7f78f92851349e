#!/usr/bin/env bash
# Runs every libFuzzer target in a folder for a bounded time over a copy of its seed corpus, so
# the committed corpus is only read. Usage: tools/runfuzz.sh <bin folder> <seconds per target>
set -euo pipefail
bin=$1; seconds=$2
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for t in "$bin"/*_fuzz; do
  [ -x "$t" ] || continue
  name=$(basename "$t")
  mkdir -p "$work/$name"
  cp -r "$here/fuzz/corpus/$name/." "$work/$name/" 2>/dev/null || true
  echo "== $name for ${seconds}s"
  if ! "$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
        -artifact_prefix="$work/$name-" "$work/$name" "$here/fuzz/corpus/$name" >"$work/$name.log" 2>&1; then
    tail -n 60 "$work/$name.log"
    mkdir -p "$here/build/fuzz-artifacts"
    cp "$work/$name"-* "$here/build/fuzz-artifacts/" 2>/dev/null || true
    status=1
  else
    grep -E '^#[0-9]+.*DONE|Done [0-9]+ runs' "$work/$name.log" | tail -n 1 || true
  fi
done
exit $status
