#!/usr/bin/env bash
# What a waiting window costs: the program's CPU time while its start window waits for a drop,
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
sleep 2  # start-up and the first frames are not what is measured

cpu_ticks() { awk '{print $14 + $15}' "/proc/$program/stat"; }
before=$(cpu_ticks)
sleep "$span"
after=$(cpu_ticks)
ticks_per_second=$(getconf CLK_TCK)
awk -v used=$((after - before)) -v hz="$ticks_per_second" -v span="$span" 'BEGIN {
  printf "waiting start window: %.3f s of CPU in %d s (%.2f%% of a core)\n", used / hz, span, 100 * used / hz / span }'
