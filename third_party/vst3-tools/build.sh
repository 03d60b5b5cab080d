#!/usr/bin/env bash
# Builds the VST 3 SDK's own test tools from the source subset beside this script, once per
# output directory: a second call with the same archive and script only lists the tools.
#   validator       loads a .vst3 bundle and runs the SDK's conformance suite (-e: extensive)
#   editorhost      opens a plug-in's editor in a window of its own (X11 on Linux, Win32 on Windows)
#   moduleinfotool  creates or validates Contents/Resources/moduleinfo.json (native build only)
#
#   build.sh OUTDIR            native (Linux) tools into OUTDIR/bin
#   build.sh OUTDIR --windows  64-bit Windows tools (.exe, static runtime) with mingw-w64, for Wine
#
# Needs cmake, ninja-build, g++ and libx11-dev (native) or the x86_64-w64-mingw32-*-posix
# compilers (Windows). ccache is used when CMAKE_CXX_COMPILER_LAUNCHER says so.
# The subset is SDK 3.7.14 (base, pluginterfaces, public.sdk source, hosting samples, utilities,
# cmake) with two changes for mingw cross builds: platform detection honours
# CMAKE_SYSTEM_NAME=Windows, and the validator links with -municode. This script makes one more
# after unpacking: the Linux editorhost uses nothing but Xlib, so its build no longer asks for
# GTK. Licence: the SDK's own (LICENSE.txt inside the archive).
set -euo pipefail
out=${1:?usage: build.sh OUTDIR [--windows]}
windows=0
[ "${2:-}" = --windows ] && windows=1
here=$(cd "$(dirname "$0")" && pwd)
archive=$here/vst3sdk-3.7.14-tools.tar.gz
mkdir -p "$out"; out=$(cd "$out" && pwd)

targets=(validator editorhost moduleinfotool)
[ $windows = 1 ] && targets=(validator editorhost)
ext=""
[ $windows = 1 ] && ext=.exe

stamp="$(sha256sum "$archive" "$0" | cut -d' ' -f1 | tr '\n' ' ')windows=$windows"
complete=1
for t in "${targets[@]}"; do [ -x "$out/bin/$t$ext" ] || complete=0; done
if [ $complete = 1 ] && [ "$(cat "$out/stamp" 2>/dev/null)" = "$stamp" ]; then
  exit 0
fi
rm -f "$out/stamp"

src=$out/src; rm -rf "$src" "$out/build" "$out/bin"; mkdir -p "$src"
tar -C "$src" -xzf "$archive"
sed -i -e '/pkg_check_modules(GTK/d' -e 's/ \${GTKMM3_INCLUDE_DIRS} \${GTK3_INCLUDE_DIRS}//' \
  -e '/\${GTK3_LIBRARIES}/d' -e '/\${GTKMM3_LIBRARIES}/d' \
  "$src/vst3sdk/public.sdk/samples/vst-hosting/editorhost/CMakeLists.txt"

opts=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DSMTG_ENABLE_VST3_PLUGIN_EXAMPLES=OFF
      -DSMTG_ENABLE_VST3_HOSTING_EXAMPLES=ON -DSMTG_ENABLE_VSTGUI_SUPPORT=OFF
      -DSMTG_RUN_VST_VALIDATOR=OFF)
if [ $windows = 1 ]; then
  tc=$out/mingw-w64.cmake
  cat >"$tc" <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
TC
  opts+=(-DCMAKE_SYSTEM_NAME=Windows -DCMAKE_TOOLCHAIN_FILE="$tc")
fi
cmake -S "$src/vst3sdk" -B "$out/build" "${opts[@]}" >"$out/configure.log" 2>&1 ||
  { tail -n 20 "$out/configure.log"; exit 1; }
cmake --build "$out/build" -j"${JOBS:-2}" --target "${targets[@]}" >"$out/build.log" 2>&1 ||
  { tail -n 20 "$out/build.log"; exit 1; }
mkdir -p "$out/bin"
for t in "${targets[@]}"; do
  f=$(find "$out/build/bin" -type f -name "$t$ext" | head -n 1)
  [ -n "$f" ] || { echo "no $t built" >&2; exit 1; }
  cp "$f" "$out/bin/"
done
# The sources and objects are not needed once the tools exist.
rm -rf "$src" "$out/build"
echo "$stamp" >"$out/stamp"
