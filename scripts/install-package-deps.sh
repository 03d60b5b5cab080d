#!/usr/bin/env bash
# Installs what scripts/package.sh and its test need from Debian's packages: NSIS for the
# Windows installer, the Debian packaging tools, and the image converters for the artwork.
set -euo pipefail
cd "$(dirname "$0")/.."

need=(nsis dpkg-dev lintian help2man zip unzip xz-utils binutils binutils-mingw-w64-x86-64 git
      netpbm librsvg2-bin)
. scripts/packages.sh
ensure_packages "${need[@]}"
