#!/usr/bin/env bash
# Runs the benchmark programs of a build (bin/*_bench), keeps each program's output, and ends with
# one table of every "@summary" line they print: measure, ours, peer, ratio, target and whether
# the target was met. `make bench` calls it.
#
#   tools/bench.sh BIN_DIR [OUT_DIR]      OUT_DIR defaults to BIN_DIR/../bench-results
#
# BENCH_FILTER, an extended regular expression (grep -E), picks a subset: a program whose name
# matches runs whole; a program built on bench/dkBenchSupport.hpp runs only the measures that
# match; any other program runs only when its name matches. The table keeps the rows of matching
# programs and matching measures.
#
# The exit status is 1 when a program fails (a crash, a wrong result); a missed target is a
# finding of the table, not a failure of the run.
set -uo pipefail

bin=${1:?usage: tools/bench.sh BIN_DIR [OUT_DIR]}
out=${2:-$bin/../bench-results}
filter=${BENCH_FILTER:-}
mkdir -p "$out"
rows="$out/summary.tsv"
: > "$rows"

matches() { [ -z "$filter" ] || grep -Eq -- "$filter" <<< "$1"; }

failed=()
for prog in "$bin"/*_bench; do
  [ -x "$prog" ] || continue
  name=$(basename "$prog")
  if ! matches "$name" && ! grep -aqF 'dkbench:filters-by-measure' "$prog"; then
    continue
  fi
  echo "== $name"
  "$prog" 2>&1 | tee "$out/$name.txt"
  rc=${PIPESTATUS[0]}
  [ "$rc" -eq 0 ] || failed+=("$name (exit status $rc)")
  while IFS=$'\t' read -r tag measure ours peer ratio target; do
    [ "$tag" = "@summary" ] || continue
    if matches "$name" || matches "$measure"; then
      printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$measure" "$ours" "$peer" "$ratio" "$target" >> "$rows"
    fi
  done < "$out/$name.txt"
done

# The table: a target "<=X" is met by a ratio of at most X, "<X" by one below X; a row whose ratio
# is missing (not measured, failed) misses its target.
awk -F'\t' '
function verdict(ratio, target,   limit, r) {
  if (target == "-" || target == "") return "-"
  if (ratio !~ /^[0-9.]+x$/) return "missed"
  r = substr(ratio, 1, length(ratio) - 1) + 0
  if (target ~ /^<=/) { limit = substr(target, 3); sub(/x$/, "", limit); return (r <= limit + 0) ? "met" : "missed" }
  if (target ~ /^</)  { limit = substr(target, 2); sub(/x$/, "", limit); return (r <  limit + 0) ? "met" : "missed" }
  return "?"
}
{
  n++; prog[n] = $1; m[n] = $2; o[n] = $3; p[n] = $4; ra[n] = $5; t[n] = $6; v[n] = verdict($5, $6)
  if (length($2) > wm) wm = length($2)
  if (v[n] == "met") met++
  if (v[n] == "missed") { missed++; list = list "\n  " $2 " (" $5 ", target " $6 ")" }
  if (v[n] == "-") only++
}
END {
  if (wm < 7) wm = 7
  print ""
  print "== benchmark summary: median per-item time of 5 runs, ours against the peer in the same run"
  printf "%-" wm "s  %10s  %10s  %7s  %7s  %s\n", "measure", "ours", "peer", "ratio", "target", "met/missed"
  for (i = 1; i <= n; i++) {
    if (prog[i] != last) { printf "%s\n", "-- " prog[i]; last = prog[i] }
    printf "%-" wm "s  %10s  %10s  %7s  %7s  %s\n", m[i], o[i], p[i], ra[i], t[i], v[i]
  }
  printf "\n%d targets: %d met, %d missed; %d figures measured only\n", met + missed, met, missed, only
  if (missed > 0) printf "missed:%s\n", list
}' "$rows" | tee "$out/summary.txt"

if [ ${#failed[@]} -gt 0 ]; then
  printf 'failed: %s\n' "${failed[@]}" | tee -a "$out/summary.txt"
  exit 1
fi
exit 0
