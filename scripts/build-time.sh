#!/usr/bin/env bash
# Measures what the first start from a fresh clone waits for: configuring and
# building the program alone in a clean build folder, without ccache, with the
# build options of scripts/run.sh, and prints the seconds with the load average.
# Others' work on the machine stretches the wall time; the processor time of the
# compilers and linker divided by the jobs is what a quiet machine would take.
# Arguments: parallel jobs (default 2); "plain" as second argument measures
# a developer's default build (no unity build, no precompiled headers, with
# debug information), for comparison.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-2}
mode=${2:-fast}
case "$mode" in
  fast) options=(-DZN_UNITY_BUILD=ON -DZN_PRECOMPILED_HEADERS=ON -DZN_DEBUG_INFO=OFF) ;;
  plain) options=(-DZN_UNITY_BUILD=OFF -DZN_PRECOMPILED_HEADERS=OFF -DZN_DEBUG_INFO=ON) ;;
  *) echo "usage: $0 [jobs] [fast|plain]" >&2; exit 2 ;;
esac
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export CCACHE_DISABLE=1
load0=$(cut -d' ' -f1 /proc/loadavg)
t0=$(date +%s.%N)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER_LAUNCHER= \
  -DCMAKE_C_COMPILER_LAUNCHER= "${options[@]}" >/dev/null
t1=$(date +%s.%N)
TIMEFORMAT='%U %S'
if ! { time cmake --build "$dir" --target Zeitnahme -j "$jobs" >"$dir/build.log" 2>&1; } 2>"$dir/cpu"; then
  cat "$dir/build.log" >&2
  exit 1
fi
t2=$(date +%s.%N)
read -r user sys <"$dir/cpu"
load1=$(cut -d' ' -f1 /proc/loadavg)
units=$(ninja -C "$dir" -t commands Zeitnahme | grep -c -- ' -c ' || true)
awk -v c="$t0" -v b="$t1" -v e="$t2" -v j="$jobs" -v u="$units" -v m="$mode" \
    -v l0="$load0" -v l1="$load1" -v us="$user" -v sy="$sys" 'BEGIN {
  printf "Zeitnahme from a clean build folder (%s), %d jobs, no ccache: configure %.1f s, build %.1f s, total %.1f s; %d compile units; processor time %.1f s (%.1f s per job); load average %s at start, %s at end\n",
    m, j, b - c, e - b, e - c, u, us + sy, (us + sy) / j, l0, l1 }'
# Where the time goes: the longest steps, in seconds of wall time.
awk 'NR > 1 && !seen[$3]++ { printf "%6.1f s  %s\n", ($2 - $1) / 1000, $4 }' "$dir/.ninja_log" | sort -rn | head -5
