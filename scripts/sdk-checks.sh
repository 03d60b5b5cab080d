#!/usr/bin/env bash
# Runs the VST 3 SDK's own tools against a built bundle, and the CLAP validator against
# Caldrith.clap, and exits non-zero when any check fails.
#   sdk-checks.sh linux BUILD              validator -e, moduleinfotool -validate and the editor
#                                          in editorhost under Xvfb, on BUILD/Caldrith.vst3;
#                                          clap-validator on BUILD/Caldrith.clap
#   sdk-checks.sh windows BUILD_WIN BUILD  validator.exe -e and the editor in editorhost.exe under
#                                          Wine + Xvfb, on BUILD_WIN/Caldrith.vst3 (BUILD: the
#                                          native build that has caldrith-screen-match);
#                                          clap-validator.exe on BUILD_WIN/Caldrith.clap
# The tools are built once (third_party/vst3-tools, third_party/clap-tools) into
# BUILD/vst3-tools, BUILD/clap-tools or BUILD_WIN/vst3-tools-win, BUILD_WIN/clap-tools-win and
# reused. Logs and screenshots go to <build>/sdk-checks/.
set -euo pipefail
cd "$(dirname "$0")/.."
# The editor opens at the user's saved zoom: the hosts here get a settings folder of their own,
# so a developer's choice never changes the picture they are checked against.
XDG_CONFIG_HOME=$(mktemp -d)
export XDG_CONFIG_HOME
trap 'rm -rf "$XDG_CONFIG_HOME"' EXIT
root=$PWD

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# validator LOG COMMAND...: the conformance suite must pass, and must find nothing that a user
# of a host would notice (a plug-in browser without a picture of the editor).
validator() {
  local log=$1
  shift
  local rc=0
  "$@" >"$log" 2>&1 || rc=$?
  local result
  result=$(grep -E "^Result: [0-9]+ tests passed, [0-9]+ tests failed" "$log" | tail -n 1 || true)
  echo "validator: ${result:-no result} (log: $log)"
  if [ $rc -ne 0 ] || [ -z "$result" ] || ! grep -q ", 0 tests failed" <<<"$result"; then
    grep -nE "\[Failed\]|ERROR" "$log" | head -n 20 >&2 || true
    fail "validator (exit $rc)"
  fi
  if grep -nE "No snapshots in Bundle|Info: No snapshot for" "$log" >&2; then
    fail "validator finds no editor snapshot for the plug-in"
  fi
}

# clap_validator LOG COMMAND...: every test of the CLAP validator passes or is skipped.
clap_validator() {
  local log=$1
  shift
  local rc=0
  "$@" >"$log" 2>&1 || rc=$?
  local passed failed
  passed=$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E "^ *Passed: +[0-9]+" | grep -oE "[0-9]+" | tail -n 1 || true)
  failed=$(sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E "^ *Failed: +[0-9]+" | grep -oE "[0-9]+" | tail -n 1 || true)
  echo "clap-validator: ${passed:-?} passed, ${failed:-?} failed (log: $log)"
  if [ $rc -ne 0 ] || [ -z "$passed" ] || [ "${failed:-1}" != 0 ]; then
    sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -nE "FAIL|ERROR|rror" | head -n 20 >&2 || true
    fail "clap-validator (exit $rc)"
  fi
}

# editor_window NAME EDITOR_PNG MATCH COMMAND...: runs a host that opens the editor (inside an
# X server), photographs the screen until the editor shows as in EDITOR_PNG, and stops the
# host. Fails when the host exits early or the editor does not show within a minute.
editor_window() {
  local name=$1 editor=$2 match=$3
  shift 3
  local dir=$out/$name
  rm -rf "$dir" && mkdir -p "$dir"
  # -noreset: the server keeps its atoms when a short-lived client (xdotool, xprop) leaves.
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" "$0" _photograph "$dir" "$editor" "$match" "$@" ||
    fail "$name: the editor did not show as expected (see $dir)"
}

# Runs inside the X server: see editor_window.
photograph() {
  local dir=$1 editor=$2 match=$3
  shift 3
  # The pointer in a corner, away from the window: hovering a control writes the status line.
  xdotool mousemove 1279 1023
  # The SDK's editor host gives up when no client of the display has named the XEmbed atom
  # yet, as on a bare virtual display (on a desktop every toolkit has); name it for it.
  xprop -root -f _XEMBED_INFO 32c -set _XEMBED_INFO 0 >/dev/null 2>&1 || true
  "$@" >"$dir/host.log" 2>&1 &
  local host=$!
  local ok=1 tries=0
  while [ $tries -lt 120 ]; do
    sleep 0.5
    tries=$((tries + 1))
    if ! kill -0 $host 2>/dev/null; then
      echo "the host exited early:" >&2
      tail -n 20 "$dir/host.log" >&2
      break
    fi
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$dir/screen.png" 2>/dev/null || continue
    if "$match" "$dir/screen.png" "$editor" --out "$dir/window.png" >"$dir/match.txt" 2>&1; then
      ok=0
      break
    fi
  done
  cat "$dir/match.txt" 2>/dev/null || true
  kill $host 2>/dev/null || true
  wait $host 2>/dev/null || true
  return $ok
}

snapshot_of() {
  local s
  s=$(find "$1/Contents/Resources/Snapshots" -name '*_snapshot.png' 2>/dev/null | head -n 1)
  [ -n "$s" ] || fail "no editor snapshot in $1"
  echo "$s"
}

case "${1:-}" in
  _photograph)
    shift
    photograph "$@"
    exit $?
    ;;
  linux)
    build=$(cd "${2:?build directory}" && pwd)
    bundle=$build/Caldrith.vst3
    out=$build/sdk-checks
    mkdir -p "$out"
    third_party/vst3-tools/build.sh "$build/vst3-tools"
    bin=$build/vst3-tools/bin

    validator "$out/validator.log" "$bin/validator" -e "$bundle"

    "$bin/moduleinfotool" -validate -path "$bundle" >"$out/moduleinfotool.log" 2>&1 ||
      { cat "$out/moduleinfotool.log" >&2; fail "moduleinfotool -validate"; }
    echo "moduleinfotool: moduleinfo.json agrees with the module"

    # The Linux editor opens in hosts' X11 windows once its view accepts them; until then a
    # host can only show its own parameter list.
    rc=0
    "$build/tools/caldrith-bundle-info" --view-supports X11EmbedWindowID "$bundle" || rc=$?
    case $rc in
      0)
        editor_window editorhost "$(snapshot_of "$bundle")" "$build/tests/sdk_checks/caldrith-screen-match" \
          "$bin/editorhost" "$bundle"
        echo "editorhost: the editor shows as in the snapshot"
        ;;
      3) echo "editorhost: SKIPPED, the editor view does not accept X11 windows yet" ;;
      *) fail "cannot ask the editor view which windows it accepts" ;;
    esac

    [ -f "$build/Caldrith.clap" ] || fail "no $build/Caldrith.clap (build the caldrith_clap_module target)"
    third_party/clap-tools/build.sh "$build/clap-tools"
    clap_validator "$out/clap-validator.log" "$build/clap-tools/bin/clap-validator" validate \
      "$build/Caldrith.clap"
    ;;
  windows)
    build=$(cd "${2:?Windows build directory}" && pwd)
    native=$(cd "${3:?native build directory}" && pwd)
    bundle=$build/Caldrith.vst3
    out=$build/sdk-checks
    mkdir -p "$out"
    third_party/vst3-tools/build.sh "$build/vst3-tools-win" --windows
    bin=$build/vst3-tools-win/bin
    export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
    wine=$(command -v wine || command -v wine64 || echo /usr/lib/wine/wine64)
    winbundle="Z:${bundle//\//\\}"

    # The same files as the native bundle: they describe the same sources.
    for f in moduleinfo.json "Snapshots/$(basename "$(snapshot_of "$native/Caldrith.vst3")")"; do
      cmp -s "$bundle/Contents/Resources/$f" "$native/Caldrith.vst3/Contents/Resources/$f" ||
        fail "$f differs between the Windows and the native bundle"
    done

    validator "$out/validator.log" xvfb-run -a "$wine" "$bin/validator.exe" -e "$winbundle"
    wineserver -k 2>/dev/null || true

    editor_window editorhost "$(snapshot_of "$bundle")" "$native/tests/sdk_checks/caldrith-screen-match" \
      "$wine" "$bin/editorhost.exe" "$winbundle"
    wineserver -k 2>/dev/null || true
    echo "editorhost.exe: the editor shows as in the snapshot"

    [ -f "$build/Caldrith.clap" ] || fail "no $build/Caldrith.clap"
    third_party/clap-tools/build.sh "$build/clap-tools-win" --windows
    clap_validator "$out/clap-validator.log" xvfb-run -a "$wine" \
      "$build/clap-tools-win/bin/clap-validator.exe" validate "Z:${build//\//\\}\\Caldrith.clap"
    wineserver -k 2>/dev/null || true
    ;;
  *)
    sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
