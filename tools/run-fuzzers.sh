#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded number of runs, each from a fresh,
# empty corpus folder; any crash, leak or time-out fails.
set -euo pipefail
build_dir=$(cd "$1" && pwd)  # absolute: each target runs from its corpus folder
runs=$2
shopt -s nullglob
targets=("$build_dir"/fuzz/*_fuzzer)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets"
  exit 0
fi
passed=0
for target in "${targets[@]}"; do
  corpus=$(mktemp -d)
  echo "fuzzing $(basename "$target") for $runs runs"
  (cd "$corpus" && "$target" -runs="$runs" -timeout=10 -rss_limit_mb=2048 "$corpus" 2>&1 | tail -n 3)
  rm -rf "$corpus"
  passed=$((passed + 1))
done
echo "fuzz: $passed passed, 0 failed"
