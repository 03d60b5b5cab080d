#!/usr/bin/env bash
# Installs the Windows cross toolchain, Wine and Xvfb when missing, and builds libpng for
# Windows from Debian's source package into deps/win (kept between runs).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

need=(g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
      mingw-w64-x86-64-dev libz-mingw-w64-dev wine wine64 xvfb xauth dpkg-dev cmake make
      googletest x11-apps netpbm xdotool ninja-build)
. scripts/packages.sh
ensure_packages "${need[@]}"

win=$root/deps/win

# GoogleTest for the Windows test programs, from Debian's source copy.
if [ ! -f "$win/lib/libgtest.a" ]; then
  rm -rf "$root/deps/win-gtest"
  cmake -S /usr/src/googletest -B "$root/deps/win-gtest" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$win" -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$root/deps/win-gtest" -j2 >/dev/null
  cmake --install "$root/deps/win-gtest" >/dev/null
  rm -rf "$root/deps/win-gtest"
fi

if [ -f "$win/lib/libpng16.a" ] && [ -f "$win/include/png.h" ]; then
  echo "windows dependencies ready"
  exit 0
fi

# A deb-src list made from the machine's own sources, kept apart from the system's lists.
aptdir=$root/deps/win-apt
rm -rf "$aptdir" && mkdir -p "$aptdir/lists/partial" "$aptdir/sources.list.d"
: >"$aptdir/sources.list"
shopt -s nullglob
for f in /etc/apt/sources.list.d/*.sources; do
  sed -e 's/^Types:.*/Types: deb-src/' "$f" >"$aptdir/sources.list.d/$(basename "$f")"
done
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] || continue
  sed -n -e 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$aptdir/sources.list"
done
shopt -u nullglob
aptopts=(-o "Dir::Etc::SourceList=$aptdir/sources.list" -o "Dir::Etc::SourceParts=$aptdir/sources.list.d"
         -o "Dir::State::Lists=$aptdir/lists" -o "APT::Sandbox::User=root")
apt-get "${aptopts[@]}" update -qq

src=$root/deps/win-src
rm -rf "$src" && mkdir -p "$src"
# A mirror may lack the newest source upload (seen with the security archive): try each
# version the lists know, newest first.
got=0
for v in $(apt-cache "${aptopts[@]}" showsrc libpng1.6 2>/dev/null | sed -n 's/^Version: //p' | sort -rV); do
  if (cd "$src" && apt-get "${aptopts[@]}" source --download-only -qq "libpng1.6=$v" >/dev/null 2>&1); then
    got=1
    break
  fi
  rm -f "$src"/libpng1.6_*
done
[ "$got" = 1 ] || { echo "could not download the libpng1.6 source package" >&2; exit 1; }
dsc=$(ls "$src"/libpng1.6_*.dsc | head -n 1)
(cd "$src" && dpkg-source --no-check -x "$dsc" libpng >/dev/null)

# Debian's tree carries prebuilt pnglibconf.h alternatives; the CMake build generates its own.
cmake -S "$src/libpng" -B "$src/build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$win" \
  -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DZLIB_ROOT=/usr/x86_64-w64-mingw32 >/dev/null
cmake --build "$src/build" -j2 >/dev/null
cmake --install "$src/build" >/dev/null
rm -rf "$src" "$aptdir"
[ -f "$win/lib/libpng16.a" ] || { echo "libpng for Windows did not build" >&2; exit 1; }
echo "windows dependencies ready"
