#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Isolumen need, when missing;
# with --benchmark, also those of the benchmark's yardsticks.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev          # Qt Widgets and its OpenGL headers
  qt6-charts-dev libqt6opengl6-dev   # plots (Qt Charts needs Qt OpenGL)
  qt6-image-formats-plugins       # TIFF for saved pictures
  qt6-svg-dev                     # figures as SVG
  libfftw3-dev                    # layer alignment
  fonts-dejavu-core               # a sans-serif font for axis labels and scale bars
  libdeflate-dev                  # PNG compression
  libtiff-dev libcsv-dev          # count TIFFs, CSV quoting
  libopencv-imgproc-dev           # finding cells: smoothing, Otsu, distance transform, watershed
  python3-pil python3-tifffile    # independent readers of written PNG and TIFF files in tests
  poppler-utils                   # pdftotext reads written PDF figures in tests
  xvfb xdotool                    # the end-to-end test on a real X server
  locales                         # the number-text tests under a German locale (decimal comma)
  clang libclang-rt-14-dev        # the fuzzer
  pmccabe                         # tools/check-function-length: no function over 60 lines
  libarchive-dev zlib1g-dev       # compressed acquisitions
  gzip bzip2 xz-utils zstd zip    # the archive tests make their archives with these
)
if [ "${1:-}" = --benchmark ]; then
  packages+=(python3-numpy python3-skimage)  # the numpy and scikit-image scripts of tools/bench
fi

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

# The number texts must not depend on the user's locale: their tests also run under de_DE.UTF-8,
# whose decimal separator is a comma.
if ! locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then
  echo "Generating the de_DE.UTF-8 locale"
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
