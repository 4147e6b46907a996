#!/usr/bin/env bash
# Builds and runs the checkup CSV export benchmark: a full export of
# [patients] patients (default 2000) against the stand-in on loopback.
#
#   tools/bench-checkupexport.sh [patients]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${MINATORI_BENCH_BUILD_DIR:-$here/build-bench}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMINATORI_BUILD_BENCH=ON \
  -DMINATORI_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j2 --target bench_checkupexport orca-standin >/dev/null

export MINATORI_BENCH_PATIENTS="${1:-2000}" MINATORI_BINARY_DIR="$build"
export MINATORI_TEST_SCRATCH="${MINATORI_TEST_SCRATCH:-$build/bench/scratch}"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=
"$build/bench/bench_checkupexport" --benchmark_repetitions=3
