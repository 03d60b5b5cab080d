#!/usr/bin/env bash
# Builds the CLAP validator (a C++ port of the CLAP project's validator) against the CLAP 1.2.10
# headers beside this script, once per output directory: a second call with the same archives
# and script does nothing.
#   build.sh OUTDIR             OUTDIR/bin/clap-validator       (Linux, g++ 12 or later)
#   build.sh OUTDIR --windows   OUTDIR/bin/clap-validator.exe   (mingw-w64 -posix, for Wine)
# The plug-in's own build unpacks the headers alone (include/clap/...) into its build directory.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:?usage: build.sh OUTDIR [--windows]}
windows=0
[ "${2:-}" = --windows ] && windows=1
mkdir -p "$out" && out=$(cd "$out" && pwd)
exe=clap-validator
[ $windows = 1 ] && exe=clap-validator.exe

stamp="$(sha256sum "$here"/*.tar.gz "$0" | cut -d' ' -f1 | tr '\n' ' ')windows=$windows"
if [ -x "$out/bin/$exe" ] && [ "$(cat "$out/stamp" 2>/dev/null)" = "$stamp" ]; then
  exit 0
fi
rm -f "$out/stamp"

src=$out/src
rm -rf "$src" "$out/build" "$out/bin" && mkdir -p "$src"
tar -C "$src" -xzf "$here/clap-cpp-validator-cde0220.tar.gz"
tar -C "$src" -xzf "$here/clap-1.2.10.tar.gz"
v=$src/clap-cpp-validator
# The validator expects the CLAP sources as a subproject; an interface target over the headers
# is all it uses.
mkdir -p "$v/libs/clap"
cat >"$v/libs/clap/CMakeLists.txt" <<CM
add_library(clap INTERFACE)
target_include_directories(clap INTERFACE "$src/clap-1.2.10/include")
CM
opts=(-DCMAKE_BUILD_TYPE=Release)
if [ $windows = 1 ]; then
  opts+=(-DCMAKE_SYSTEM_NAME=Windows -DCMAKE_C_COMPILER=x86_64-w64-mingw32-gcc-posix
         -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++-posix -DCMAKE_RC_COMPILER=x86_64-w64-mingw32-windres
         "-DCMAKE_EXE_LINKER_FLAGS=-static -static-libgcc -static-libstdc++")
fi
cmake -S "$v" -B "$out/build" "${opts[@]}" >"$out/configure.log" 2>&1 ||
  { tail -n 20 "$out/configure.log"; exit 1; }
cmake --build "$out/build" -j"${JOBS:-2}" >"$out/build.log" 2>&1 ||
  { tail -n 20 "$out/build.log"; exit 1; }
mkdir -p "$out/bin" && cp "$(find "$out/build" -type f -name "$exe" | head -n 1)" "$out/bin/"
# The sources and objects are not needed once the tool exists.
rm -rf "$src" "$out/build"
echo "$stamp" >"$out/stamp"
