#!/usr/bin/env bash
# Builds and runs the PDF extraction benchmark, then times the extraction as a
# whole process beside Debian's pdftotext on the same document (wall time and
# peak memory, best of five runs each).
#
#   tools/bench-pdf.sh [pages]          a document shaped like a web page printed
#                                       to PDF by a browser (default 76 pages)
#   tools/bench-pdf.sh --drug [pages]   a long drug-information document (default 1000)
#
# Each document is made once and kept in build-bench/bench/.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${MINATORI_BENCH_BUILD_DIR:-$here/build-bench}"
kind=print
if [ "${1:-}" = "--drug" ]; then
  kind=drug
  shift
fi
pages="${1:-$([ "$kind" = drug ] && echo 1000 || echo 76)}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMINATORI_BUILD_BENCH=ON \
  -DMINATORI_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target bench_pdf pdf_extract >/dev/null

doc="$build/bench/bench-$kind-$pages.pdf"
export MINATORI_BENCH_PDF="$doc" MINATORI_BENCH_PAGES="$pages" MINATORI_BENCH_KIND="$kind"
json="$build/bench/bench_pdf.json"
"$build/bench/bench_pdf" --benchmark_filter=BM_PdfExtractText --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_out="$json" --benchmark_out_format=json

/usr/bin/python3 - "$json" "$build/bench/pdf_extract" "$doc" <<'PY'
import json, os, subprocess, sys, time

runs = json.load(open(sys.argv[1]))["benchmarks"]
inproc = next(r["real_time"] for r in runs if r.get("aggregate_name") == "median")

def best_of_five(cmd):
    """Least wall time, least processor time (user and system) in ms and least
    peak resident size (KiB) of five runs."""
    times, cpus, peaks = [], [], []
    for _ in range(5):
        start = time.perf_counter()
        with open(os.devnull, "wb") as out:
            p = subprocess.Popen(cmd, stdout=out)
            _, status, usage = os.wait4(p.pid, 0)
        times.append((time.perf_counter() - start) * 1000)
        cpus.append((usage.ru_utime + usage.ru_stime) * 1000)
        peaks.append(usage.ru_maxrss)
        if status != 0:
            sys.exit("%s failed" % cmd[0])
    return min(times), min(cpus), min(peaks)

doc = sys.argv[3]
ours = best_of_five([sys.argv[2], doc])
theirs = best_of_five(["pdftotext", doc, "-"])
print("document: %s, %.1f MB" % (doc, os.path.getsize(doc) / 1e6))
print("PdfExtractText in process, median of 5: %.1f ms" % inproc)
for name, (ms, cpu, kib) in (("pdf_extract", ours), ("pdftotext", theirs)):
    print("%-11s whole process, best of 5: %4.0f ms wall, %4.0f ms processor, %5.1f MiB peak"
          % (name, ms, cpu, kib / 1024))
# On a busy machine the processor time is the steadier figure.
print("pdftotext / pdf_extract: %.1f x the wall time, %.1f x the processor time (goal: 5 or "
      "more); peak memory %.2f x pdftotext's (goal: 2 or less)"
      % (theirs[0] / ours[0], theirs[1] / ours[1], ours[2] / theirs[2]))
PY
