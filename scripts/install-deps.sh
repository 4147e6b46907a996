#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the tests and the tools use:
# - compilers, CMake, Ninja and the libraries (Qt 6, libcurl, OpenSSL, zlib);
# - the IPA Gothic fonts the windows show Japanese in, Noto Sans CJK for the
#   characters IPA lacks, and Qt's Japanese texts for its standard buttons and
#   dialogs;
# - clang and its libFuzzer runtime (the fuzz run of the test command);
# - for the package: file (cpack finds the program's libraries through it for
#   the package's dependencies) and desktop-file-validate (the package test);
# - poppler-utils: pdftotext and pdftoppm read the printed notebook and the
#   manual in the tests, and pdftotext is the benchmark's yardstick;
# - the openssl command: the throw-away certificates of `demo.sh --tls`;
# - for the benchmark: Google Benchmark and python3-cairo (which makes its
#   documents).
# Runs as root or through sudo; does nothing when everything is present.
set -euo pipefail

packages=(
  build-essential
  clang
  cmake
  desktop-file-utils
  file
  fonts-ipafont-gothic
  fonts-noto-cjk
  libbenchmark-dev
  libclang-rt-14-dev
  libcurl4-openssl-dev
  libgl-dev
  libssl-dev
  ninja-build
  openssl
  poppler-utils
  python3-cairo
  qt6-base-dev
  qt6-base-dev-tools
  qt6-translations-l10n
  zlib1g-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
