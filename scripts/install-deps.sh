#!/usr/bin/env bash
# Installs everything the project needs from Debian's packages. Idempotent, asks nothing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev                      # the front end's widgets
  zlib1g-dev libjpeg62-turbo-dev libpng-dev libgif-dev   # codecs
  libopencv-imgproc-dev libimagequant-dev                 # converter tool: resampling, palettes
  libgtest-dev libgmock-dev libbenchmark-dev              # tests and benchmarks
  clang libclang-rt-14-dev                                # libFuzzer and the sanitizers
  xvfb xauth x11-utils fonts-liberation2                  # screenshots of the window, window fonts
  libtiff-tools imagemagick netpbm python3-pil python3-numpy libstb-dev  # fixtures made at test time
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
