#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a given number of seconds. Each target starts from
# a fresh working corpus plus what fuzz/<target>.options names: libFuzzer arguments, one a
# line, paths relative to fuzz/ (seed folders, a dictionary); lines starting with # are notes.
# A crash, leak or time-out fails, unless the target's options tell libFuzzer to run on past
# them; the files it found are listed either way.
set -euo pipefail
build_dir=$(cd "$1" && pwd)
seconds=$2
fuzz_dir=$(cd "$(dirname "$0")/../fuzz" && pwd)
shopt -s nullglob
targets=("$build_dir"/fuzz/*_fuzzer)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets"
  exit 0
fi
failed=0
for target in "${targets[@]}"; do
  name=$(basename "$target")
  options=()
  if [ -f "$fuzz_dir/$name.options" ]; then
    while IFS= read -r line; do
      [[ -z "$line" || "$line" == \#* ]] || options+=("$line")
    done < "$fuzz_dir/$name.options"
  fi
  work=$(mktemp -d)
  echo "fuzzing $name for $seconds s"
  status=0
  (cd "$fuzz_dir" && "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
     -artifact_prefix="$work/" "$work" "${options[@]}" > "$work/log" 2>&1) || status=$?
  # A target that runs on past crashes still ends with the exit code of its last job that
  # crashed; it has done its part once it has run its time out.
  if [[ " ${options[*]} " == *" -ignore_crashes=1 "* ]] && grep -q '^INFO: exiting: .* time:' "$work/log"; then
    status=0
  fi
  if [ "$status" -eq 0 ]; then
    tail -n 2 "$work/log"
  else
    tail -n 30 "$work/log"
    failed=$((failed + 1))
  fi
  findings=("$work"/crash-* "$work"/leak-* "$work"/oom-* "$work"/timeout-* "$work"/slow-unit-*)
  [ ${#findings[@]} -eq 0 ] || echo "$name found: ${findings[*]##*/}"
  rm -rf "$work"
done
echo "fuzz: $((${#targets[@]} - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
