#!/usr/bin/env bash
# The program compiles none of the test-only code: the simulated serial port, the
# recording Word and Excel stand-ins and the test set-up live in libraries of
# their own, so the first build from a fresh clone does not wait for them.
set -euo pipefail
build=$1
[ -f "$build/build.ninja" ] || { echo "SKIP: not a Ninja build folder"; exit 77; }
commands=$(ninja -C "$build" -t commands Zeitnahme)
fail=0
# A table: test-only source, why it is not in the program.
while read -r source why; do
  if grep -q -- "$source" <<<"$commands"; then
    echo "FAIL: the program compiles $source ($why)"
    fail=1
  fi
done <<'TABLE'
SimComDevice.cpp simulated serial port
OfficeRecorder.cpp recording Word and Excel stand-ins
AppTestSetup.cpp window set-up of tests
tst_[a-z_]*\.cpp test suites
bench_[a-z_]*\.cpp benchmarks
TABLE
# The unity sources of a fast build hold the files by include: look into them too.
for unity in $(grep -o -- '[^ ]*unity_[0-9]*_cxx\.cxx' <<<"$commands" | sort -u); do
  case $unity in /*) f=$unity ;; *) f=$build/$unity ;; esac
  [ -f "$f" ] || continue
  if grep -Eq 'SimComDevice|OfficeRecorder|AppTestSetup' "$f"; then
    echo "FAIL: $unity includes test-only code"
    fail=1
  fi
done
# run.sh and build-time.sh build with the same options: the figure is the wait of run.sh.
root=$(cd "$(dirname "$0")/../.." && pwd)
run_options=$(grep -o -- '-DZN_[A-Z_]*=[A-Z]*' "$root/scripts/run.sh" | sort | tr '\n' ' ')
fast_options=$(sed -n 's/^ *fast) options=(\(.*\)) ;;$/\1/p' "$root/scripts/build-time.sh" | tr ' ' '\n' | sort | tr '\n' ' ')
if [ -z "$run_options" ] || [ "$run_options" != "$fast_options" ]; then
  echo "FAIL: run.sh builds with '$run_options', build-time.sh measures '$fast_options'"
  fail=1
fi
run_type=$(grep -o -- '-DCMAKE_BUILD_TYPE=[A-Za-z]*' "$root/scripts/run.sh" || true)
time_type=$(grep -o -- '-DCMAKE_BUILD_TYPE=[A-Za-z]*' "$root/scripts/build-time.sh" || true)
if [ -z "$run_type" ] || [ "$run_type" != "$time_type" ]; then
  echo "FAIL: run.sh builds '$run_type', build-time.sh measures '$time_type'"
  fail=1
fi
[ "$fail" -eq 0 ] && echo "the program compiles no test-only code"
exit "$fail"
