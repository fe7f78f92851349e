#!/usr/bin/env bash
# Fails when a header under include/dk/ is missing from the umbrella header dk.hpp.
set -euo pipefail
dir=$1
missing=0
for h in "$dir"/*.hpp; do
  name=$(basename "$h")
  [ "$name" = dk.hpp ] && continue
  if ! grep -q "#include <dk/$name>" "$dir/dk.hpp"; then
    echo "dk.hpp does not include $name"
    missing=1
  fi
done
exit $missing
