#!/usr/bin/env bash
# Release files from the native build and the Windows build, into dist/:
#   Caldrith-V-windows-x64-setup.exe   installer (NSIS)
#   Caldrith-V-windows-x64.zip         the Windows bundle and Caldrith.clap, for installing by hand
#   caldrith_V_amd64.deb               Debian package
#   Caldrith-V-linux-x86_64.tar.gz     bundles, Caldrith.clap and caldrith-render, for other
#                                      distributions
#   SHA256SUMS
# V is the CMake project version. The same commit gives the same bytes: every time stamp is
# the last commit's (SOURCE_DATE_EPOCH), archive members are sorted and owned by root.
#   BUILD       native build directory (default build)
#   BUILD_WIN   Windows build directory, made by scripts/test-windows.sh (default build-win)
#   DIST        output directory (default dist)
#   LINTIAN=0   skip the lintian check of the Debian package
# Fails with the name of the step when a tool or a build is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath -m "${BUILD:-$root/build}")
build_win=$(realpath -m "${BUILD_WIN:-$root/build-win}")
dist=$(realpath -m "${DIST:-$root/dist}")

step="start"
stage=""
finish() {
  local status=$?
  [ -n "$stage" ] && rm -rf "$stage"
  if [ $status -ne 0 ]; then echo "package: FAILED in step \"$step\"" >&2; fi
  exit $status
}
trap finish EXIT
begin() {
  step=$1
  echo "==> $1"
}
die() {
  echo "package: $step: $*" >&2
  exit 1
}

begin "checking the tools"
missing=()
for t in makensis dpkg-deb dpkg-shlibdeps lintian help2man zip tar gzip sha256sum md5sum strip \
  objdump x86_64-w64-mingw32-objdump git rsvg-convert pngtopam pngtopnm pnmcut pamscale \
  pnmpaste pnmcat pamcomp pamtowinicon ppmtobmp; do
  command -v "$t" >/dev/null 2>&1 || missing+=("$t")
done
[ ${#missing[@]} -eq 0 ] ||
  die "missing tools: ${missing[*]} (scripts/install-package-deps.sh installs them)"

begin "reading the builds"
linux_bundle=$build/Caldrith.vst3
render=$build/tools/caldrith-render
[ -f "$linux_bundle/Contents/x86_64-linux/Caldrith.so" ] && [ -x "$render" ] ||
  die "no native build in $build (./dev build makes it)"
[ -f "$build/caldrith-version.txt" ] || die "$build was configured by an older tree: run ./dev build"
version=$(cat "$build/caldrith-version.txt")
[ -f "$build/caldrith-identity.sh" ] || die "$build was configured by an older tree: run ./dev build"
# The maker and site, as the plug-in itself names them.
VENDOR=$(. "$build/caldrith-identity.sh" && echo "$VENDOR")
URL=$(. "$build/caldrith-identity.sh" && echo "$URL")
[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || die "the project version \"$version\" is not N.N.N"
[ "$("$render" --version)" = "caldrith-render $version" ] ||
  die "$render is not of version $version: rebuild"
# The LV2 bundle, named as the identity names the plug-in.
NAME=$(. "$build/caldrith-identity.sh" && echo "$NAME")
lv2_bundle=$build/$NAME.lv2
[ -f "$lv2_bundle/manifest.ttl" ] && [ -f "$lv2_bundle/$NAME.so" ] && [ -f "$lv2_bundle/${NAME}_ui.so" ] ||
  die "no LV2 bundle in $build (./dev build makes it)"
win_bundle=$build_win/Caldrith.vst3
win_dll=$win_bundle/Contents/x86_64-win/Caldrith.vst3
[ -f "$win_dll" ] ||
  die "the Windows build did not run: no $win_dll (scripts/test-windows.sh makes it)"
[ -f "$build/Caldrith.clap" ] || die "no $build/Caldrith.clap (./dev build makes it)"
[ -f "$build_win/Caldrith.clap" ] ||
  die "the Windows build did not run: no $build_win/Caldrith.clap (scripts/test-windows.sh makes it)"
[ "$(cat "$build_win/caldrith-version.txt" 2>/dev/null)" = "$version" ] ||
  die "the Windows build in $build_win is not of version $version: run scripts/test-windows.sh"
# A link time in the module's headers would make every build differ.
pe_header=$(x86_64-w64-mingw32-objdump -p "$win_dll")
grep -q '^Time/Date.*1970$' <<<"$pe_header" ||
  die "$win_dll carries its link time: rebuild it with this tree (scripts/test-windows.sh)"
changelog_version=$(sed -n '1s/^caldrith (\([^)]*\)).*/\1/p' packaging/changelog)
[ "$changelog_version" = "$version" ] ||
  die "packaging/changelog starts with version \"$changelog_version\", the project is $version"
sdk_license=$root/deps/vst3sdk/LICENSE.txt
[ -f "$sdk_license" ] || die "no $sdk_license (scripts/install-deps.sh unpacks the SDK)"

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
    die "no SOURCE_DATE_EPOCH and no git history to take it from"
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022
echo "version $version, time stamps $(date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')"

# Same mode bits and time stamps whoever builds, whatever their umask.
normalize() {
  find "$@" -type d -exec chmod 755 {} +
  find "$@" -type f -exec chmod 644 {} +
  find "$@" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

begin "staging the files"
stage=$(mktemp -d)
out=$stage/out
mkdir -p "$out" "$stage/linux" "$stage/win"
cp -R "$linux_bundle" "$lv2_bundle" "$stage/linux/"
cp "$render" "$stage/linux/caldrith-render"
cp "$build/Caldrith.clap" "$stage/linux/"
find "$stage/linux" -type f \( -name '*.so' -o -name '*.clap' -o -name caldrith-render \) -exec \
  strip --strip-unneeded --remove-section=.comment --remove-section=.note {} +
cp -R "$win_bundle" "$build_win/Caldrith.clap" "$stage/win/"
for dir in "$root" "$build" "$build_win"; do
  if grep -r -l -a -F "$dir" "$stage/linux" "$stage/win"; then
    die "the files above contain the build path $dir"
  fi
done
sed "s/@VERSION@/$version/g" packaging/README.txt >"$stage/README.txt"
sed 's/$/\r/' "$stage/README.txt" >"$stage/README-windows.txt"
normalize "$stage/linux" "$stage/win"
chmod 755 "$stage/linux/caldrith-render"

begin "installer artwork"
art=$stage/nsis
mkdir -p "$art"
# The editor's own pictures: its logo mark, drawn from the background's vector source at each
# size, over the header and panel colours of the background, with the title as the editor
# shows it.
bg=$art/bg.ppm
pngtopnm resources/img/bg.png >"$bg"
{
  echo '<svg xmlns="http://www.w3.org/2000/svg" viewBox="14 10 30 30" width="30" height="30">'
  sed -n '/<g transform="translate(29 25)"/,/<\/g>/p' resources/src/bg.svg
  echo '</svg>'
} >"$art/logo.svg"
grep -q '<circle' "$art/logo.svg" || die "the logo mark is no longer in resources/src/bg.svg"
logo() { rsvg-convert -w "$1" -h "$1" "$art/logo.svg" | pngtopam -alphapam; }
for s in 16 32 48 256; do logo $s; done | pamtowinicon >"$art/caldrith.ico" 2>/dev/null
# Welcome and finish pages, 164 x 314: the header band with the title, the panel below.
pnmcut -left 120 -top 0 -width 1 -height 52 "$bg" | pamscale -width 164 -height 45 >"$art/top.ppm"
pnmcut -left 4 -top 52 -width 1 -height 423 "$bg" | pamscale -width 164 -height 269 >"$art/low.ppm"
pnmcut -left 160 -top 0 -width 180 -height 52 "$bg" | pamscale -width 156 -height 45 >"$art/title.ppm"
logo 112 >"$art/logo112.pam"
pnmcat -tb "$art/top.ppm" "$art/low.ppm" | pnmpaste "$art/title.ppm" 4 0 |
  pamcomp -xoff=26 -yoff=130 "$art/logo112.pam" | ppmtobmp 2>/dev/null >"$art/welcome.bmp"
# Page header, 150 x 57: logo and title on the header band.
pnmcut -left 120 -top 0 -width 1 -height 52 "$bg" | pamscale -width 150 -height 57 >"$art/band.ppm"
pnmcut -left 160 -top 0 -width 180 -height 52 "$bg" | pamscale -width 98 -height 28 >"$art/title2.ppm"
logo 42 >"$art/logo42.pam"
pnmpaste "$art/title2.ppm" 50 15 "$art/band.ppm" | pamcomp -xoff=5 -yoff=7 "$art/logo42.pam" |
  ppmtobmp 2>/dev/null >"$art/header.bmp"
for f in caldrith.ico welcome.bmp header.bmp; do
  [ -s "$art/$f" ] || die "$f was not made"
done

begin "Windows zip"
zip_name=Caldrith-$version-windows-x64
mkdir -p "$stage/zip/$zip_name"
cp -R "$stage/win/Caldrith.vst3" "$stage/win/Caldrith.clap" "$stage/zip/$zip_name/"
cp "$stage/README-windows.txt" "$stage/zip/$zip_name/README.txt"
normalize "$stage/zip"
(cd "$stage/zip" && find "$zip_name" | sort | zip -q -X -9 -@ "$out/$zip_name.zip")

begin "Windows installer"
# The bundle's files as NSIS commands: what is installed is what the uninstaller removes.
nsis_text() {
  local p=${1//\$/\$\$}
  printf '%s' "$p"
}
win_path() {
  local p=${1//\//\\}
  nsis_text "$p"
}
(
  cd "$stage/win"
  while IFS= read -r d; do
    echo "SetOutPath \"\${BUNDLE}$(win_path "${d#Caldrith.vst3}")\""
    find "$d" -mindepth 1 -maxdepth 1 -type f | sort | while IFS= read -r f; do
      echo "File \"$(nsis_text "$stage/win/$f")\""
    done
  done < <(find Caldrith.vst3 -type d | sort)
) >"$art/install-files.nsh"
(
  cd "$stage/win"
  find Caldrith.vst3 -type f | sort | while IFS= read -r f; do
    echo "Delete /REBOOTOK \"\${BUNDLE}$(win_path "${f#Caldrith.vst3}")\""
  done
  find Caldrith.vst3 -type d | sort -r | while IFS= read -r d; do
    echo "RMDir /REBOOTOK \"\${BUNDLE}$(win_path "${d#Caldrith.vst3}")\""
  done
) >"$art/uninstall-files.nsh"
cp "$stage/README-windows.txt" "$art/README.txt"
cp "$stage/win/Caldrith.clap" "$art/Caldrith.clap"
normalize "$art"
setup=$out/Caldrith-$version-windows-x64-setup.exe
makensis -V2 -WX -DVERSION="$version" -DPUBLISHER="$VENDOR" -DURL="$URL" -DSTAGE="$art" -DOUTFILE="$setup" packaging/caldrith.nsi ||
  die "makensis failed"
[ -s "$setup" ] || die "makensis wrote no installer"

begin "Debian package"
deb=$stage/deb
doc=$deb/usr/share/doc/caldrith
mkdir -p "$deb/DEBIAN" "$deb/usr/bin" "$deb/usr/lib/vst3" "$deb/usr/lib/lv2" "$deb/usr/lib/clap" \
  "$doc" "$deb/usr/share/man/man1"
cp "$stage/linux/caldrith-render" "$deb/usr/bin/"
cp -R "$stage/linux/Caldrith.vst3" "$deb/usr/lib/vst3/"
cp -R "$stage/linux/$NAME.lv2" "$deb/usr/lib/lv2/"
cp "$stage/linux/Caldrith.clap" "$deb/usr/lib/clap/"
help2man -N --no-discard-stderr -n "render the Caldrith instrument to an audio file" \
  "$deb/usr/bin/caldrith-render" >"$stage/caldrith-render.1" || die "help2man failed"
gzip -9n <"$stage/caldrith-render.1" >"$deb/usr/share/man/man1/caldrith-render.1.gz"
cp "$stage/README.txt" "$doc/README.txt"
gzip -9n <packaging/changelog >"$doc/changelog.gz"
cat packaging/debian/copyright "$sdk_license" >"$doc/copyright"
depends=$(
  cd "$stage" && mkdir -p debian &&
    printf 'Source: caldrith\n\nPackage: caldrith\nArchitecture: amd64\n' >debian/control &&
    dpkg-shlibdeps -O -e"$deb/usr/bin/caldrith-render" \
      -e"$deb/usr/lib/vst3/Caldrith.vst3/Contents/x86_64-linux/Caldrith.so" \
      -e"$deb/usr/lib/lv2/$NAME.lv2/$NAME.so" -e"$deb/usr/lib/lv2/$NAME.lv2/${NAME}_ui.so" \
      -e"$deb/usr/lib/clap/Caldrith.clap" 2>/dev/null |
    sed -n 's/^shlibs:Depends=//p'
) || die "dpkg-shlibdeps failed"
[ -n "$depends" ] || die "dpkg-shlibdeps found no dependencies"
# As dpkg-gencontrol counts: kibibytes per file, rounded up, and one per directory.
installed_size=$(cd "$deb" && find usr \( -type f -printf '%s\n' \) -o \( -type d -printf '0\n' \) |
  awk '{ n += $1 == 0 ? 1 : int(($1 + 1023) / 1024) } END { print n }')
sed -e "s/@VERSION@/$version/" -e "s/@INSTALLED_SIZE@/$installed_size/" -e "s/@VENDOR@/$VENDOR/" -e "s/@URL@/$URL/" \
  -e "s/@DEPENDS@/$depends/" packaging/debian/control.in >"$deb/DEBIAN/control"
(cd "$deb" && find usr -type f | sort | xargs md5sum) >"$deb/DEBIAN/md5sums"
normalize "$deb"
chmod 755 "$deb/usr/bin/caldrith-render"
deb_file=$out/caldrith_${version}_amd64.deb
dpkg-deb --root-owner-group --threads-max=1 -Zxz --build "$deb" "$deb_file" >/dev/null ||
  die "dpkg-deb failed"

if [ "${LINTIAN:-1}" != 0 ]; then
  begin "lintian"
  lintian --fail-on error,warning --tag-display-limit 0 "$deb_file" ||
    die "lintian reports errors or warnings in $(basename "$deb_file")"
fi

begin "Linux tarball"
tar_name=Caldrith-$version-linux-x86_64
mkdir -p "$stage/tar/$tar_name"
cp -R "$stage/linux/Caldrith.vst3" "$stage/linux/$NAME.lv2" "$stage/linux/Caldrith.clap" \
  "$stage/linux/caldrith-render" "$stage/README.txt" \
  "$stage/caldrith-render.1" "$stage/tar/$tar_name/"
normalize "$stage/tar"
chmod 755 "$stage/tar/$tar_name/caldrith-render"
tar -C "$stage/tar" --sort=name --mtime="@$SOURCE_DATE_EPOCH" --owner=0 --group=0 \
  --numeric-owner -cf - "$tar_name" | gzip -9n >"$out/$tar_name.tar.gz"

begin "checksums"
files=("$(basename "$setup")" "$zip_name.zip" "$(basename "$deb_file")" "$tar_name.tar.gz")
(cd "$out" && sha256sum "${files[@]}" >SHA256SUMS)
mkdir -p "$dist"
for f in "${files[@]}" SHA256SUMS; do
  mv -f "$out/$f" "$dist/$f"
done
step="done"
echo "release files in $dist:"
(cd "$dist" && ls -l "${files[@]}" SHA256SUMS)
