#!/usr/bin/env bash
# Builds the PDF readers' libFuzzer target with clang, ASan and UBSan, and runs
# it for the given number of seconds (default 660) on a corpus seeded with the
# committed seeds (tests/fuzz/seeds/) and the sample documents. The corpus in
# fuzz-build/pdf-corpus/ grows from run to run; --fresh starts from the seeds
# alone (the test command does so). A crashing input is written to
# fuzz-build/pdf-artifacts/ and the script fails; keep the input under
# tests/data/pdf/ with a test in tests/pdf/ that reads it.
#
#   tools/fuzz-pdf.sh [--fresh] [seconds] [extra libFuzzer options...]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${MINATORI_FUZZ_BUILD_DIR:-$here/fuzz-build}"
fresh=0
if [ "${1:-}" = "--fresh" ]; then
  fresh=1
  shift
fi
seconds="${1:-660}"
shift || true

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMINATORI_BUILD_FUZZ=ON -DMINATORI_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target pdf_fuzz

corpus="$build/pdf-corpus"
artifacts="$build/pdf-artifacts"
if [ "$fresh" = 1 ]; then
  rm -rf "$corpus"
fi
mkdir -p "$corpus" "$artifacts"
# Seeds: the first byte picks the mode (see tests/fuzz/pdf_fuzz.cpp); whole
# files are mode 0.
cp "$here"/tests/fuzz/seeds/*.bin "$corpus/"
for f in "$here"/tests/fuzz/seeds/pdf/*.pdf "$here"/tests/data/pdf/*.pdf; do
  [ -f "$f" ] || continue
  { printf '\0'; cat "$f"; } >"$corpus/seed-file-$(basename "$f")"
done

cd "$build"
"$build/bin/pdf_fuzz" -max_total_time="$seconds" -artifact_prefix="$artifacts/" \
  -print_final_stats=1 -timeout=20 -rss_limit_mb=2048 "$@" "$corpus" 2>&1 | tee "$build/pdf-fuzz.log"
