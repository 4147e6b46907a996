#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine to a full test run:
# packages, configure, build, the whole suite through CTest, then the PDF
# readers under libFuzzer for 30 s on the committed seeds (so that the fuzz
# target keeps building and every seed keeps passing).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
"$here/scripts/build.sh"
build="${MINATORI_BUILD_DIR:-$here/build}"
cd "$build"
export QT_QPA_PLATFORM=offscreen
ctest --output-on-failure -j"$(nproc)" --timeout 600
"$here/tools/fuzz-pdf.sh" --fresh 30
