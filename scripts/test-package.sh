#!/usr/bin/env bash
# Tests of the release files. Builds them twice, the second time under another umask and time
# zone, and wants the same bytes; takes each file apart; installs the Debian package into a
# throwaway root and renders with it; runs the Windows installer under Wine (the Wine prefix
# of scripts/test-windows.sh), with the Windows module tests against the installed copy.
# Needs the native build (build/) and the Windows build (build-win/). Exits non-zero on any
# failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${BUILD:-$root/build}")
build_win=$(realpath -m "${BUILD_WIN:-$root/build-win}")
work=$build/package-test

failures=0
check() { # check DESCRIPTION COMMAND...: runs the command, counts it as failed when it fails
  if "${@:2}"; then
    echo "  ok: $1"
  else
    echo "  FAILED: $1" >&2
    failures=$((failures + 1))
  fi
}
same() { [ "$1" = "$2" ] || { echo "    \"$1\" != \"$2\"" >&2; return 1; }; }
fails() { ! "$@" >/dev/null 2>&1; }
contains() { grep -q -F -- "$2" <<<"$1" || { echo "    no \"$2\" in: $1" >&2; return 1; }; }

# ---------------------------------------------------------------------------------------
# Under Wine: the installer, installed, repaired, uninstalled. Run by the main part below
# inside a virtual X display.
wine_part() {
  local setup=$1 unzipped=$2 version=$3
  export WINEPREFIX=$build_win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  local wine
  wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
  local c=$WINEPREFIX/drive_c
  local vst3=$c/"Program Files/Common Files/VST3"
  local bundle=$vst3/Caldrith.vst3
  local clapdir=$c/"Program Files/Common Files/CLAP"
  local appdir=$c/"Program Files/Quenlor/Caldrith"
  local key='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Caldrith]'
  local installed='C:/Program Files/Common Files/VST3/Caldrith.vst3'
  run() { "$wine" "$@" >/dev/null 2>&1 && wineserver -w; }
  # The key's values as name=value lines, from the registry file Wine writes when it stops.
  reg_values() {
    KEY=$key awk '/^\[/ { inside = index($0, ENVIRON["KEY"]) == 1; next }
      inside && /^"/ {
        eq = index($0, "\"="); name = substr($0, 2, eq - 2); v = substr($0, eq + 2)
        if (v ~ /^"/) { v = substr(v, 2, length(v) - 2); gsub(/\\"/, "\"", v); gsub(/\\\\/, "\\", v) }
        print name "=" v }' "$WINEPREFIX/system.reg"
  }
  reg_value() { reg_values | sed -n "s/^$1=//p"; }
  module_tests() { # the Windows module tests with the installed bundle
    local exe status=0
    for exe in test_vst3:ModuleTest.* test_win32:BundleEditor.*; do
      local path
      path=$(find "$build_win/tests" -name "${exe%%:*}.exe" -type f | head -n 1)
      [ -n "$path" ] || { echo "    no ${exe%%:*}.exe" >&2; return 1; }
      (cd "$(dirname "$path")" && CALDRITH_TEST_BUNDLE=$installed timeout 300 "$wine" "$path" \
        --gtest_filter="${exe#*:}" >"$work/${exe%%:*}.log" 2>&1) || status=1
      wineserver -w
    done
    return $status
  }
  tree() { (cd "$1" && find . | sort); }

  echo "==> installer under Wine"
  [ -f "$WINEPREFIX/system.reg" ] || { echo "no Wine prefix: run scripts/test-windows.sh" >&2; return 1; }
  # A clean slate, whatever an earlier run left.
  rm -rf "$vst3" "$clapdir" "$c/Program Files/Quenlor"
  if grep -q -F "$key" "$WINEPREFIX/system.reg"; then
    run reg delete 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Caldrith' /f || true
  fi

  check "silent install succeeds" run "$setup" /S
  check "the bundle is installed as in the zip" same "$(tree "$bundle")" "$(tree "$unzipped/Caldrith.vst3")"
  check "the module is the one in the zip" cmp -s "$bundle/Contents/x86_64-win/Caldrith.vst3" \
    "$unzipped/Caldrith.vst3/Contents/x86_64-win/Caldrith.vst3"
  check "the CLAP module is installed, the one in the zip" cmp -s "$clapdir/Caldrith.clap" \
    "$unzipped/Caldrith.clap"
  check "the uninstaller is installed" test -f "$appdir/uninstall.exe"
  check "uninstall key: name" same "$(reg_value DisplayName)" "Caldrith"
  check "uninstall key: publisher" same "$(reg_value Publisher)" "Quenlor"
  check "uninstall key: version" same "$(reg_value DisplayVersion)" "$version"
  local uninstaller='"C:\Program Files\Quenlor\Caldrith\uninstall.exe"'
  check "uninstall key: icon" same "$(reg_value DisplayIcon)" "$uninstaller,0"
  check "uninstall key: uninstall" same "$(reg_value UninstallString)" "$uninstaller"
  check "uninstall key: quiet uninstall" same "$(reg_value QuietUninstallString)" "$uninstaller /S"
  local size_kb bundle_kb
  size_kb=$(reg_value EstimatedSize)
  size_kb=${size_kb#dword:}
  [[ $size_kb =~ ^[0-9a-f]+$ ]] && size_kb=$((16#$size_kb)) || size_kb=0
  bundle_kb=$(($(du -sk --apparent-size "$bundle" | cut -f1) + $(du -k --apparent-size "$clapdir/Caldrith.clap" | cut -f1)))
  check "uninstall key: size ($size_kb KiB) covers the bundle and CLAP module ($bundle_kb KiB)" \
    test "$size_kb" -ge "$bundle_kb" -a "$size_kb" -le $((bundle_kb + 2048))

  # Run again over a damaged installation: it upgrades in place.
  : >"$bundle/Contents/x86_64-win/Caldrith.vst3"
  check "a second install over the first succeeds" run "$setup" /S
  check "the second install restores the module" cmp -s "$bundle/Contents/x86_64-win/Caldrith.vst3" \
    "$unzipped/Caldrith.vst3/Contents/x86_64-win/Caldrith.vst3"
  check "one uninstall key after two installs" same "$(grep -c -F "$key" "$WINEPREFIX/system.reg")" 1
  check "the installed module passes the Windows module tests" module_tests

  # The user deleted part of the bundle by hand: the uninstaller still completes.
  rm -rf "$bundle/Contents/x86_64-win"
  check "silent uninstall after manual deletions succeeds" run "$appdir/uninstall.exe" /S
  check "no bundle left" test ! -e "$bundle"
  check "no program folder left" test ! -e "$c/Program Files/Quenlor"
  check "no VST3 folder left (the installer made it)" test ! -e "$vst3"
  check "no CLAP folder left (the installer made it)" test ! -e "$clapdir"
  check "no uninstall key left" test -z "$(reg_values)"
  check "the module tests fail once the installed copy is gone" fails module_tests

  # Others' plug-ins and the user's own files stay.
  mkdir -p "$vst3/Other.vst3"
  echo other >"$vst3/Other.vst3/file.txt"
  mkdir -p "$clapdir"
  echo other >"$clapdir/Other.clap"
  check "install beside another plug-in" run "$setup" /S
  echo mine >"$bundle/notes.txt"
  check "uninstall beside another plug-in" run "$appdir/uninstall.exe" /S
  check "the other plug-in stays" test -f "$vst3/Other.vst3/file.txt"
  check "the other CLAP plug-in stays, ours goes" same "$(tree "$clapdir")" "$(printf '.\n./Other.clap')"
  check "the user's file in the bundle folder stays, nothing else" \
    same "$(tree "$bundle")" "$(printf '.\n./notes.txt')"
  check "no uninstall key left" test -z "$(reg_values)"
  rm -rf "$vst3" "$clapdir"
}

# ---------------------------------------------------------------------------------------
main_part() {
  scripts/install-package-deps.sh >/dev/null
  rm -rf "$work"
  mkdir -p "$work"
  # The version and the plug-in's name, as the build took them from the identity.
  . "$build/caldrith-identity.sh"
  version=$VERSION
  epoch=$(git log -1 --format=%ct)
  setup_name=Caldrith-$version-windows-x64-setup.exe
  zip_name=Caldrith-$version-windows-x64
  deb_name=caldrith_${version}_amd64.deb
  tar_name=Caldrith-$version-linux-x86_64
  echo "==> the packaging script's failures (version $version)"

  # A PATH with every program but makensis.
  mkdir -p "$work/bin"
  for f in /usr/bin/* /usr/sbin/*; do
    [ "$(basename "$f")" = makensis ] || ln -sf "$f" "$work/bin/"
  done
  set +e
  err=$(PATH=$work/bin DIST=$work/dist-fail scripts/package.sh 2>&1 >/dev/null)
  status=$?
  set -e
  check "a missing tool stops the build" test $status -ne 0
  check "... naming the tool" contains "$err" "makensis"
  check "... and the step" contains "$err" 'FAILED in step "checking the tools"'
  set +e
  err=$(BUILD_WIN=$work/no-windows-build DIST=$work/dist-fail scripts/package.sh 2>&1 >/dev/null)
  status=$?
  set -e
  check "a missing Windows build stops the build" test $status -ne 0
  check "... saying so" contains "$err" "the Windows build did not run"
  check "a failed build leaves no release files" test ! -e "$work/dist-fail"

  echo "==> building the release files twice"
  DIST=$work/dist scripts/package.sh >"$work/package.log" 2>&1 ||
    { cat "$work/package.log" >&2; echo "package build failed" >&2; exit 1; }
  (umask 077 && TZ=Pacific/Auckland LINTIAN=0 DIST=$work/dist2 scripts/package.sh >"$work/package2.log" 2>&1) ||
    { cat "$work/package2.log" >&2; echo "second package build failed" >&2; exit 1; }
  dist=$work/dist
  check "the release files and nothing else" same "$(cd "$dist" && ls | sort)" \
    "$(printf '%s\n' "$setup_name" "$zip_name.zip" "$deb_name" "$tar_name.tar.gz" SHA256SUMS | sort)"
  for f in "$setup_name" "$zip_name.zip" "$deb_name" "$tar_name.tar.gz" SHA256SUMS; do
    check "$f is the same in both builds" cmp -s "$dist/$f" "$work/dist2/$f"
  done
  check "SHA256SUMS verifies" bash -c 'cd "$0" && sha256sum --quiet -c SHA256SUMS' "$dist"
  check "SHA256SUMS names the four files" same "$(awk '{print $2}' "$dist/SHA256SUMS" | sort)" \
    "$(printf '%s\n' "$setup_name" "$zip_name.zip" "$deb_name" "$tar_name.tar.gz" | sort)"

  echo "==> Debian package"
  deb=$dist/$deb_name
  field() { dpkg-deb -f "$deb" "$1"; }
  check "Package" same "$(field Package)" caldrith
  check "Version is the project's" same "$(field Version)" "$version"
  check "Architecture" same "$(field Architecture)" amd64
  check "Section" same "$(field Section)" sound
  check "Maintainer" contains "$(field Maintainer)" "Quenlor <"
  rootfs=$work/root
  # Every library the binaries link brings its package into Depends.
  dpkg-deb -x "$deb" "$work/unpacked"
  depends=" $(field Depends | sed 's/([^)]*)//g; s/[,|]/ /g') "
  for bin in usr/bin/caldrith-render usr/lib/vst3/Caldrith.vst3/Contents/x86_64-linux/Caldrith.so \
    "usr/lib/lv2/$NAME.lv2/$NAME.so" "usr/lib/lv2/$NAME.lv2/${NAME}_ui.so" \
    usr/lib/clap/Caldrith.clap; do
    for lib in $(objdump -p "$work/unpacked/$bin" | awk '$1 == "NEEDED" { print $2 }'); do
      # "lib => /path (addr)", or for the dynamic loader "/path (addr)".
      path=$(ldd "$work/unpacked/$bin" | awk -v l="$lib" '$1 == l { print ($3 ~ /^\// ? $3 : $1) }
        $1 ~ "/" l "$" { print $1 }')
      pkg=$(dpkg -S "$path" 2>/dev/null || dpkg -S "${path/#\/usr\/lib\//\/lib\/}" 2>/dev/null ||
        dpkg -S "${path/#\/lib\//\/usr\/lib\/}" 2>/dev/null || true)
      pkg=${pkg%%:*}
      check "a package owns $lib of $(basename "$bin")" test -n "$pkg"
      check "Depends names $pkg for $lib of $(basename "$bin")" contains "$depends" " $pkg "
    done
  done
  # Kibibytes of file data, give or take rounding per file and directory.
  size_kb=$(find "$work/unpacked/usr" -type f -printf '%s\n' | awk '{ n += $1 } END { print int((n + 1023) / 1024) }')
  entries=$(find "$work/unpacked/usr" | wc -l)
  installed_size=$(field Installed-Size)
  check "Installed-Size ($installed_size) is the size of the files ($size_kb KiB)" \
    test "$installed_size" -ge "$size_kb" -a "$installed_size" -le $((size_kb + entries))

  # Contents: the bundle folder as built, the tool, its man page, the docs; root's, and dated
  # by the last commit.
  listing=$(TZ=UTC dpkg-deb -c "$deb")
  expected=$(
    printf '%s\n' ./ ./usr/ ./usr/bin/ ./usr/bin/caldrith-render ./usr/lib/ ./usr/lib/vst3/ ./usr/lib/lv2/ \
      ./usr/share/ ./usr/share/doc/ ./usr/share/doc/caldrith/ ./usr/share/doc/caldrith/README.txt \
      ./usr/share/doc/caldrith/changelog.gz ./usr/share/doc/caldrith/copyright ./usr/share/man/ \
      ./usr/share/man/man1/ ./usr/share/man/man1/caldrith-render.1.gz ./usr/lib/clap/ \
      ./usr/lib/clap/Caldrith.clap
    (cd "$build" && find Caldrith.vst3 -type d -printf './usr/lib/vst3/%p/\n' -o -printf './usr/lib/vst3/%p\n')
    (cd "$build" && find "$NAME.lv2" -type d -printf './usr/lib/lv2/%p/\n' -o -printf './usr/lib/lv2/%p\n')
  )
  check "the package holds exactly the expected files" \
    same "$(awk '{print $6}' <<<"$listing" | sort)" "$(sort <<<"$expected")"
  check "everything belongs to root" same "$(awk '{print $2}' <<<"$listing" | sort -u)" "root/root"
  check "every time stamp is the last commit's" same "$(awk '{print $4" "$5}' <<<"$listing" | sort -u)" \
    "$(TZ=UTC date -d "@$epoch" '+%Y-%m-%d %H:%M')"
  check "modes: the tool is executable, the rest is not" same "$(awk '{
      if ($6 ~ /\/$/) want = "drwxr-xr-x"; else if ($6 ~ /caldrith-render$/) want = "-rwxr-xr-x"
      else want = "-rw-r--r--"
      if ($1 != want) print $6 " " $1 }' <<<"$listing")" ""
  check "the man page describes the options" bash -c \
    'zcat "$0" | grep -q "^\.TH CALDRITH-RENDER \"1\"" && zcat "$0" | grep -q "preset"' \
    "$work/unpacked/usr/share/man/man1/caldrith-render.1.gz"
  check "the man page has a synopsis" bash -c 'zcat "$0" | grep -q "^\.SH SYNOPSIS"' \
    "$work/unpacked/usr/share/man/man1/caldrith-render.1.gz"
  check "the changelog's version is the project's" \
    same "$(zcat "$work/unpacked/usr/share/doc/caldrith/changelog.gz" | sed -n '1s/^caldrith (\(.*\)).*/\1/p')" "$version"

  # Installed into a throwaway root as dpkg does it.
  mkdir -p "$rootfs/var/lib/dpkg/info" "$rootfs/var/lib/dpkg/updates" "$work/home"
  : >"$rootfs/var/lib/dpkg/status"
  check "dpkg installs the package into a throwaway root" \
    dpkg --root="$rootfs" --force-depends --force-script-chrootless -i "$deb" >/dev/null 2>>"$work/dpkg.log"
  check "... and installs it again over itself" \
    dpkg --root="$rootfs" --force-depends --force-script-chrootless -i "$deb" >/dev/null 2>>"$work/dpkg.log"
  tool=$rootfs/usr/bin/caldrith-render
  check "the installed tool's version is the project's" same "$("$tool" --version)" "caldrith-render $version"
  summary=$(HOME=$work/home "$tool" --quiet --seconds 1 -o "$work/one.wav" 2>&1) || summary="failed: $summary"
  check "the installed tool renders a second with the installed bundle, found by itself" \
    contains "$summary" "one.wav: 1.00 s, 48000 Hz"
  check "... and it is not silent" bash -c '! grep -q "inf dBFS" <<<"$0"' "$summary"
  wav_size=$(stat -c %s "$work/one.wav" 2>/dev/null || echo 0)
  check "... 48000 stereo float frames ($wav_size bytes)" test "$wav_size" -ge 384000 -a "$wav_size" -lt 384200
  # Without the bundle it says where it looked, unless this machine has one installed.
  mv "$rootfs/usr/lib/vst3/Caldrith.vst3" "$work/moved.vst3"
  if ! ls /usr/lib/vst3/Caldrith.vst3 /usr/local/lib/vst3/Caldrith.vst3 >/dev/null 2>&1; then
    set +e
    err=$(HOME=$work/home "$tool" --seconds 1 -o "$work/none.wav" 2>&1)
    status=$?
    set -e
    check "without the bundle the tool fails, naming where it looked" \
      bash -c '[ "$0" = 1 ] && grep -q -F "$1/usr/bin/../lib/vst3/Caldrith.vst3" <<<"$2"' "$status" "$rootfs" "$err"
  fi
  mv "$work/moved.vst3" "$rootfs/usr/lib/vst3/Caldrith.vst3"
  # The installed LV2 bundle as an LV2 host finds it: lilv's own tool, then the test host
  # (plays, presets, state) against the VST 3 module.
  check "lv2info finds the installed LV2 plug-in and its UI" bash -c \
    'LV2_PATH="$0/usr/lib/lv2:/usr/lib/lv2" lv2info "$1" 2>/dev/null | grep -q "X11UI"' "$rootfs" "$LV2_URI"
  check "the installed LV2 bundle passes the LV2 host tests" \
    env CALDRITH_TEST_LV2_BUNDLE="$rootfs/usr/lib/lv2/$NAME.lv2" "$build/tests/lv2/test_lv2" --gtest_brief=1 \
    >"$work/lv2-tests.log" 2>&1
  check "dpkg removes the package" dpkg --root="$rootfs" --force-script-chrootless -r caldrith >/dev/null
  check "... leaving none of its files" same "$(cd "$rootfs" && find usr -type f 2>/dev/null)" ""

  echo "==> Linux tarball"
  tarlist=$(tar -tvzf "$dist/$tar_name.tar.gz")
  check "everything in one folder" same "$(awk '{print $6}' <<<"$tarlist" | cut -d/ -f1 | sort -u)" "$tar_name"
  check "everything belongs to root" same "$(awk '{print $2}' <<<"$tarlist" | sort -u)" "0/0"
  mkdir -p "$work/tar"
  tar -C "$work/tar" -xzf "$dist/$tar_name.tar.gz"
  check "the tarball holds the bundles as built" \
    same "$(cd "$work/tar/$tar_name" && find Caldrith.vst3 "$NAME.lv2" | sort)" \
    "$(cd "$build" && find Caldrith.vst3 "$NAME.lv2" | sort)"
  check "the tarball holds Caldrith.clap beside the bundle, exporting clap_entry" bash -c \
    'nm -D --defined-only "$0" | grep -qw clap_entry' "$work/tar/$tar_name/Caldrith.clap"
  summary=$(HOME=$work/home "$work/tar/$tar_name/caldrith-render" --quiet --seconds 0.25 -o "$work/t.wav" 2>&1) ||
    summary="failed: $summary"
  check "its caldrith-render renders with the bundle beside it" contains "$summary" "t.wav: 0.25 s"

  echo "==> Windows zip"
  mkdir -p "$work/zip"
  (cd "$work/zip" && unzip -q "$dist/$zip_name.zip")
  check "the zip holds the bundle as built and a README" \
    same "$(cd "$work/zip/$zip_name" && find . | sort)" \
    "$(cd "$build_win" && { echo .; echo ./README.txt; echo ./Caldrith.clap; find Caldrith.vst3 -printf './%p\n'; } | sort)"
  check "the CLAP module in the zip is the one built and tested" cmp -s \
    "$work/zip/$zip_name/Caldrith.clap" "$build_win/Caldrith.clap"
  check "the module in the zip is the one built and tested" cmp -s \
    "$work/zip/$zip_name/Caldrith.vst3/Contents/x86_64-win/Caldrith.vst3" \
    "$build_win/Caldrith.vst3/Contents/x86_64-win/Caldrith.vst3"
  check "the README has Windows line ends and the version" bash -c \
    'grep -q $'"'"'\r$'"'"' "$0" && ! grep -q "@VERSION@" "$0" && grep -q "$1" "$0"' \
    "$work/zip/$zip_name/README.txt" "$version"

  xvfb-run -a -s "-screen 0 1024x768x24" "$0" wine-part "$dist/$setup_name" "$work/zip/$zip_name" "$version" ||
    failures=$((failures + 1))

  if [ $failures -ne 0 ]; then
    echo "release file tests FAILED ($failures)" >&2
    exit 1
  fi
  echo "release file tests passed"
}

# A shell error inside a function leaves the whole if below, never into the other part.
if [ "${1:-}" = wine-part ]; then
  shift
  wine_part "$@"
  [ $failures -eq 0 ]
  exit
else
  main_part
  exit
fi
exit 1
