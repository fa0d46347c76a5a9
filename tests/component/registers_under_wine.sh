#!/bin/bash
# The component registered for real: regsvr32 /s registers it from a folder whose name has spaces,
# the registry then holds exactly what its DllRegisterServer writes, a script creates the control by
# its ProgIDs and calls it, and regsvr32 /u /s takes every key away again.
#
#   registers_under_wine.sh <windows build folder> <wine> <expected registry listing>
# Runs in a throwaway prefix and ends that prefix's wineserver on every path.
set -euo pipefail
build=$1 wine=$2 expected=$3
wineserver=${WINESERVER:-wineserver}

work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }
run() { "$wine" "$@" 2>/dev/null | tr -d '\r'; return "${PIPESTATUS[0]}"; }

"$wine" wineboot -i >/dev/null 2>&1
run reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
folder="$WINEPREFIX/drive_c/Program Files/Quillmarsh Test"
mkdir -p "$folder"
cp "$build/Vorlantix.ocx" "$folder/"
cp "$build/tests/fixtures/control_check.js" "$WINEPREFIX/drive_c/"
component='C:\Program Files\Quillmarsh Test\Vorlantix.ocx'
keys=('HKCR\CLSID\{286AEB9B-63D0-4D4A-8264-E3D9C77BE4A7}' 'HKCR\Quillmarsh.Vorlantix.1' 'HKCR\Quillmarsh.Vorlantix')

# Not yet registered: the script cannot create the control.
if run cscript 'C:\control_check.js' 1.0.0.0 >/dev/null; then fail "the control was creatable before registration"; fi

run regsvr32 /s "$component" || fail "regsvr32 /s exited $?"
listing=$(for key in "${keys[@]}"; do run reg query "$key" /s | sed '/^$/d'; done)
diff -u "$expected" <(printf '%s\n' "$listing") || fail "the registry differs from what DllRegisterServer writes"

run cscript 'C:\control_check.js' 1.0.0.0 || fail "the script could not create and call the control"

run regsvr32 /u /s "$component" || fail "regsvr32 /u /s exited $?"
for key in "${keys[@]}"; do
  if run reg query "$key" >/dev/null; then fail "$key is still there after unregistering"; fi
done
echo "registered, scripted and unregistered: all as expected"
