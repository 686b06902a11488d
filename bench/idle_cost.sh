#!/usr/bin/env bash
# What a waiting window costs: the program's CPU time while its start window waits for a drop,
# and again while its end screen waits for a key after converting a dropped picture, each
# measured from /proc over a fixed span, under a private Xvfb (software OpenGL).
# Usage: bench/idle_cost.sh BUILD_DIR [SECONDS]
set -euo pipefail
build_dir=$(cd "$1" && pwd)
span=${2:-10}
work=$(mktemp -d)
trap 'kill "$program" "$server" 2>/dev/null || true; rm -rf "$work"' EXIT
cp "$build_dir"/morvane "$build_dir"/KESTRIL.PNG "$build_dir"/KESTRIL.RAN "$work"/

exec {report}<> <(:)
Xvfb -displayfd "$report" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
read -r -u "$report" number
export DISPLAY=":$number"
ALSOFT_DRIVERS=null "$work"/morvane >/dev/null 2>&1 &
program=$!

cpu_ticks() { awk '{print $14 + $15}' "/proc/$program/stat"; }
ticks_per_second=$(getconf CLK_TCK)

# Prints the CPU time the program takes over the span, as a share of one core, as `what`.
measure() {
  local what=$1 before after
  before=$(cpu_ticks)
  sleep "$span"
  after=$(cpu_ticks)
  awk -v what="$what" -v used=$((after - before)) -v hz="$ticks_per_second" -v span="$span" 'BEGIN {
    printf "%s: %.3f s of CPU in %d s (%.2f%% of a core)\n", what, used / hz, span, 100 * used / hz / span }'
}

sleep 2  # start-up and the first frames are not what is measured
measure "waiting start window"

# The instruction picture serves as the dropped picture; the end screen follows once
# IMAGE.CAS is written and the status screen's half-second wait and tone are over.
"$build_dir"/bench/drop_file "$work"/KESTRIL.PNG
for _ in $(seq 300); do
  [[ -e "$work"/IMAGE.CAS ]] && break
  sleep 0.1
done
[[ -e "$work"/IMAGE.CAS ]] || { echo "the conversion did not write IMAGE.CAS" >&2; exit 1; }
sleep 3
measure "waiting end screen"
