#!/usr/bin/env bash
# The Debian package from a fresh Debian 12 machine: packages, a build without
# the tests (and so without the test hook) in build-package/ (or
# $MINATORI_PACKAGE_BUILD_DIR), then cpack, which writes
# build-package/minatori_<version>_amd64.deb.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
"$here/scripts/install-deps.sh"
build="${MINATORI_PACKAGE_BUILD_DIR:-$here/build-package}"
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMINATORI_BUILD_TESTS=OFF -DMINATORI_TEST_HOOK=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
cd "$build"
cpack
