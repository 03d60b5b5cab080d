#!/usr/bin/env bash
# Installs what the native build needs from Debian's packages and unpacks the VST 3 SDK
# (shipped inside juce-modules-source) into deps/, without installing that package's
# long list of -dev dependencies.
set -euo pipefail
cd "$(dirname "$0")/.."

need=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libpng-dev zlib1g-dev
      libsndfile1-dev libfreetype-dev libfontconfig-dev fonts-liberation2 fonts-dejavu-core
      librsvg2-bin clang-format clang-14 libfuzzer-14-dev libclang-rt-14-dev
      portaudio19-dev  # caldrith-render --play
      ninja-build libx11-dev xvfb xauth x11-apps x11-utils netpbm xdotool  # the VST 3 SDK's tools and their checks
      # The X11 editor window, and its tests in a virtual X server driven through XTest.
      libxcb1-dev libxcb-render0-dev libxtst-dev libxres-dev libxfixes-dev
      # The LV2 bundle: headers and lv2_validate, the reference host library and its tools.
      lv2-dev sordi liblilv-dev lilv-utils libsuil-dev
      # caldrith-render's noise bed, music and loudness: resampling, EBU R128 measurement, and
      # MPEG decoded to its true end.
      libsoxr-dev libebur128-dev libmpg123-dev)
. scripts/packages.sh
ensure_packages "${need[@]}"

sdk=deps/vst3sdk
if [ ! -f "$sdk/pluginterfaces/base/funknown.h" ]; then
  rm -rf deps/juce-deb && mkdir -p deps/juce-deb
  ( cd deps/juce-deb && chmod 777 . && apt-get download juce-modules-source-data >/dev/null )
  dpkg-deb -x deps/juce-deb/juce-modules-source-data_*.deb deps/juce-deb/root
  src=$(find deps/juce-deb/root -type d -path '*format_types/VST3_SDK' | head -n 1)
  [ -n "$src" ] || { echo "VST 3 SDK not found in juce-modules-source" >&2; exit 1; }
  rm -rf "$sdk" && mkdir -p deps && cp -r "$src" "$sdk"
  rm -rf deps/juce-deb
fi
echo "dependencies ready"
