#!/usr/bin/env bash
# Builds and runs the PDF extraction benchmark, times Debian's pdftotext on the
# same document and prints how the two compare.
#
#   tools/bench-pdf.sh [pages]      (default 1000; the document is made once)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${MINATORI_BENCH_BUILD_DIR:-$here/build-bench}"
pages="${1:-1000}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMINATORI_BUILD_BENCH=ON \
  -DMINATORI_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_pdf >/dev/null

doc="$build/bench/bench-drug-$pages.pdf"
export MINATORI_BENCH_PDF="$doc" MINATORI_BENCH_PAGES="$pages"
json="$build/bench/bench_pdf.json"
"$build/bench/bench_pdf" --benchmark_filter=BM_PdfExtractText --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_out="$json" --benchmark_out_format=json

# pdftotext: the best of five runs, like the benchmark's minimum.
best=""
for _ in 1 2 3 4 5; do
  start=$(date +%s%N)
  pdftotext "$doc" /dev/null
  end=$(date +%s%N)
  ms=$(( (end - start) / 1000000 ))
  if [ -z "$best" ] || [ "$ms" -lt "$best" ]; then best=$ms; fi
done

/usr/bin/python3 - "$json" "$best" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
ours = next(r["real_time"] for r in runs if r.get("aggregate_name") == "median")
theirs = float(sys.argv[2])
print("PdfExtractText median of 5: %.1f ms; pdftotext best of 5: %.0f ms" % (ours, theirs))
print("ratio pdftotext / PdfExtractText: %.1f (above 1: the extraction is faster)" % (theirs / ours))
PY
