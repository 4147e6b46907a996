#!/usr/bin/env bash
# Builds and runs the viewer benchmarks: the reception list against a large
# patient cache, a patient selection and a request sequence against the
# stand-in delaying every answer by 20 ms, and start to a painted main menu.
#
#   tools/bench-viewer.sh
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${MINATORI_BENCH_BUILD_DIR:-$here/build-bench}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMINATORI_BUILD_BENCH=ON \
  -DMINATORI_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j2 --target bench_viewer bench_startup orca-standin >/dev/null

export MINATORI_BINARY_DIR="$build"
# The figures move with the machine's load: say what it was.
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"
json="$build/bench/bench_viewer.json"
"$build/bench/bench_viewer" --benchmark_out="$json" --benchmark_out_format=json

/usr/bin/python3 - "$json" <<'PY'
import json, sys
runs = {r["name"].split("/")[0]: r for r in json.load(open(sys.argv[1]))["benchmarks"]}
r = runs["BM_ReceptionList"]
print("reception list, 100 records, 50,000-line cache: %.1f ms (goal < 50 ms)" % r["real_time"])
for name in ("BM_PatientSelection", "BM_RequestSequence", "BM_TransportSequence"):
    r = runs[name]
    delay, total, n = r["server_delay_ms"], r["real_time"], r["requests"]
    if not n:
        print("%s: no requests" % name[3:]); continue
    print("%s: %d requests, %.1f ms for %.0f ms of server delay: +%.1f%%, %.2f ms of our own per request"
          % (name[3:], n, total, delay, 100.0 * (total - delay) / delay, (total - delay) / n))
PY
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" "$build/bench/bench_startup" 10
