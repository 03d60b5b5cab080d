#!/usr/bin/env bash
# Cross-builds the Windows module and the Windows test programs with mingw-w64, then runs the
# tests under Wine inside a virtual X display. Exits non-zero when anything fails.
# The bundle's moduleinfo.json and editor snapshot come from the native build of the same
# sources, which is built first as far as needed.
#   BUILD_WIN   build directory (default build-win)
#   BUILD       native build directory (default build)
#   JOBS        parallel build jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_WIN:-$root/build-win}
native=${BUILD:-$root/build}
jobs=${JOBS:-2}

scripts/install-deps.sh >/dev/null   # the VST 3 SDK sources
scripts/install-win-deps.sh

[ -f "$native/CMakeCache.txt" ] || cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$native" -j"$jobs" --target caldrith_bundle_resources caldrith-screen-match

cmake -S "$root" -B "$build" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCALDRITH_BENCH=OFF \
  -DCALDRITH_BUNDLE_RESOURCES_FROM="$native/Caldrith.vst3/Contents/Resources" \
  -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST >/dev/null

# Only what the Windows product and its tests need; other areas' Linux-only programs are
# not built here.
targets=()
available=$(cmake --build "$build" --target help)
for t in caldrith_module caldrith_clap_module caldrith_bundle_resources test_vst3 test_win32 test_clap; do
  if grep -qE "(^|[ :])$t\$" <<<"$available"; then
    targets+=("$t")
  fi
done
if [ ${#targets[@]} -eq 0 ]; then
  echo "no Windows targets to build" >&2
  exit 1
fi
echo "building: ${targets[*]}"
cmake --build "$build" -j"$jobs" --target "${targets[@]}"

bundle="$build/Caldrith.vst3/Contents/x86_64-win/Caldrith.vst3"
if [[ " ${targets[*]} " == *" caldrith_module "* ]]; then
  [ -f "$bundle" ] || { echo "bundle missing: $bundle" >&2; exit 1; }
  exports=$(x86_64-w64-mingw32-objdump -p "$bundle" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p')
  for sym in GetPluginFactory InitDll ExitDll; do
    grep -qw "$sym" <<<"$exports" || { echo "bundle does not export $sym" >&2; exit 1; }
  done
  # Self-contained: nothing but system DLLs.
  if x86_64-w64-mingw32-objdump -p "$bundle" | grep -i "DLL Name" |
      grep -iE "libstdc|libgcc|libwinpthread|libpng|zlib"; then
    echo "bundle depends on a runtime DLL" >&2
    exit 1
  fi
  echo "bundle ok: $bundle"
fi
clapdll="$build/Caldrith.clap"
if [[ " ${targets[*]} " == *" caldrith_clap_module "* ]]; then
  [ -f "$clapdll" ] || { echo "CLAP module missing: $clapdll" >&2; exit 1; }
  x86_64-w64-mingw32-objdump -p "$clapdll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    grep -qw clap_entry || { echo "Caldrith.clap does not export clap_entry" >&2; exit 1; }
  if x86_64-w64-mingw32-objdump -p "$clapdll" | grep -i "DLL Name" |
      grep -iE "libstdc|libgcc|libwinpthread|libpng|zlib"; then
    echo "Caldrith.clap depends on a runtime DLL" >&2
    exit 1
  fi
  echo "CLAP module ok: $clapdll"
fi

# Wine: its own prefix inside the build directory, set up once.
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "creating the Wine prefix"
  xvfb-run -a "$wine" wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi

tests=()
for t in test_vst3 test_win32 test_clap; do
  exe=$(find "$build/tests" -name "$t.exe" -type f 2>/dev/null | head -n 1)
  [ -n "$exe" ] && tests+=("$exe")
done
if [ ${#tests[@]} -eq 0 ]; then
  echo "no Windows test programs were built" >&2
  exit 1
fi

mkdir -p "$build/test-results"
status=0
# One X server and one wineserver for all the programs. Wine reads a path that starts with
# "/" as relative to the current drive, so the report path names the drive of the Unix root.
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  status=0
  for exe in "$@"; do
    name=$(basename "$exe" .exe)
    echo "==> $name (Wine)"
    (cd "$(dirname "$exe")" && timeout 600 "'"$wine"'" "$exe" \
       --gtest_output=xml:"Z:'"$build"'/test-results/$name.xml") || status=1
  done
  wineserver -k 2>/dev/null || true
  exit $status' runner "${tests[@]}" || status=1

if [ $status -ne 0 ]; then
  echo "Windows tests FAILED" >&2
  exit 1
fi

# The SDK's own validator and editor host against the Windows bundle, the CLAP validator
# against the Windows CLAP module.
scripts/sdk-checks.sh windows "$build" "$native"
echo "Windows tests passed"
