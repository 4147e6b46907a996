#!/usr/bin/env bash
# Builds the PDF readers' libFuzzer target with clang, ASan and UBSan, and runs
# it for the given number of seconds (default 660) on a corpus seeded with the
# sample documents. A crashing input is written to fuzz-build/pdf-artifacts/;
# keep it under tests/data/pdf/ with a test in tests/pdf/ that reads it.
#
#   tools/fuzz-pdf.sh [seconds] [extra libFuzzer options...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${MINATORI_FUZZ_BUILD_DIR:-$here/fuzz-build}"
seconds="${1:-660}"
shift || true

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMINATORI_BUILD_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target pdf_fuzz

corpus="$build/pdf-corpus"
artifacts="$build/pdf-artifacts"
mkdir -p "$corpus" "$artifacts"
# Seeds: the first byte picks the mode (see tests/fuzz/pdf_fuzz.cpp).
for f in "$here"/tests/data/pdf/*.pdf; do
  [ -f "$f" ] || continue
  { printf '\0'; cat "$f"; } >"$corpus/seed-file-$(basename "$f")"
done
printf '\001%s\0%s' $'2 beginbfchar\n<0003> <0041>\n<0004> <D842DFB7>\nendbfchar\n1 beginbfrange\n<0010> <0012> [<3042>]\nendbfrange' \
  $'BT\n<00030004> Tj\n[(\\000\\003) -120 <0010>] TJ\n(a(b)\\051\\\\) Tj\nET' >"$corpus/seed-streams"
printf '\002%s' '目次受診歴受診歴みなと医院24年4月2024年5月北病院令和6年4月*1 実施2024/06/03 2024.07.01' \
  >"$corpus/seed-text"

cd "$build"
"$build/bin/pdf_fuzz" -max_total_time="$seconds" -artifact_prefix="$artifacts/" \
  -print_final_stats=1 -timeout=20 -rss_limit_mb=2048 "$@" "$corpus" 2>&1 | tee "$build/pdf-fuzz.log"
