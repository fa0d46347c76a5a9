#!/bin/bash
# Usage (inside scripts/i386/run-in-namespace): i386_checks.sh FAULT_PROBE_EXE REGISTER_PROBE_DLL
#
# Makes a 64-bit (WoW64) template prefix in a temporary folder, lays a fresh prefix over it as an
# overlay, and runs the 32-bit probes there:
#   - each processor fault of the table must reach the program's vectored handler as the Windows
#     exception a native system raises, at the faulting instruction, and end the program with it;
#   - a 32-bit process must see the WoW64 layout: system32 as its system folder, syswow64 as the
#     WoW64 folder, and system32\regsvr32.exe opening as a 32-bit image (file-system redirection);
#   - "regsvr32" started from a 32-bit process the way the installer starts it must register a
#     32-bit library into the 32-bit registry view (Wow6432Node in the 64-bit view), and the registry
#     the prefix writes must reach the overlay's upper layer, where this script reads it.
# Prints one line per check and "N passed, M failed"; exits 1 if any check failed.
set -uo pipefail

if (($# != 2)); then
  echo "usage: i386_checks.sh FAULT_PROBE_EXE REGISTER_PROBE_DLL" >&2
  exit 2
fi
probe_exe=$1
probe_dll=$2
if [[ ${QUILLMARSH_I386_NAMESPACE:-} != 1 ]]; then
  echo "i386_checks.sh: run it through scripts/i386/run-in-namespace" >&2
  exit 2
fi

readonly WINE64=/usr/lib/wine/wine64
# A wine command that hangs (a dialog nobody answers) fails its check instead of the whole test.
readonly WINE_TIMEOUT=180

unset DISPLAY WAYLAND_DISPLAY WINEDLLOVERRIDES WINELOADER WINESERVER WINEARCH
export WINEDEBUG=-all

work=$(mktemp -d "${TMPDIR:-/tmp}/quillmarsh-i386.XXXXXX") || exit 1
template=$work/template
prefix=$work/prefix

cleanup() {
  local p
  for p in "$prefix" "$template"; do
    [[ -d $p ]] && WINEPREFIX=$p timeout 60 wineserver -k >/dev/null 2>&1
  done
  if mountpoint -q "$prefix"; then
    WINEPREFIX=$prefix timeout 60 wineserver -w >/dev/null 2>&1
    umount "$prefix" || umount -l "$prefix"
  fi
  # --one-file-system: never reach through a mount that failed to go.
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT

passed=0
failed=0
pass() {
  echo "ok   $1"
  passed=$((passed + 1))
}
fail() {
  echo "FAIL $1"
  shift
  printf '     %s\n' "$@"
  failed=$((failed + 1))
}

seconds_since() { echo "$(($(date +%s%N) - $1))" | awk '{ printf "%.1f", $1 / 1e9 }'; }

# The template: the null display driver and no crash dialog are in place before the first wineboot,
# since a dialog nobody answers would block it.
make_template() {
  mkdir -p "$template"
  cat >"$template/user.reg" <<'EOF'
WINE REGISTRY Version 2

[Software\\Wine\\Drivers]
"Graphics"="null"

[Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000
EOF
  local start
  start=$(date +%s%N)
  if ! WINEPREFIX=$template WINEARCH=win64 timeout 600 "$WINE64" wineboot -i >"$work/wineboot.log" 2>&1 ||
    ! WINEPREFIX=$template timeout 120 wineserver -w; then
    echo "wineboot failed:"
    cat "$work/wineboot.log"
    return 1
  fi
  echo "template prefix made in $(seconds_since "$start") s"
}

make_scenario_prefix() {
  mkdir -p "$work/upper" "$work/overlay-work" "$prefix"
  mount -t overlay overlay -o "lowerdir=$template,upperdir=$work/upper,workdir=$work/overlay-work" "$prefix" ||
    return 1
  mkdir -p "$prefix/drive_c/quillmarsh-i386" &&
    cp "$probe_exe" "$prefix/drive_c/quillmarsh-i386/fault_probe.exe" &&
    cp "$probe_dll" "$prefix/drive_c/quillmarsh-i386/register_probe.dll"
}

# Runs a Windows command in the scenario prefix: stdout into $out, stderr kept for failure reports.
run() {
  out=$(WINEPREFIX=$prefix timeout "$WINE_TIMEOUT" "$@" 2>"$work/stderr" | tr -d '\r')
  status=${PIPESTATUS[0]}
}

check_faults() {
  # case | what the vectored handler reports (the exit code is the exception code's low byte, which
  # is all a Linux exit status keeps)
  local -a table=(
    "read-av|exception=C0000005 param0=0 param1=00000010 site=fault"
    "write-av|exception=C0000005 param0=1 param1=00000010 site=fault"
    "divide|exception=C0000094 param0=0 param1=00000000 site=fault"
    "int3|exception=80000003 param0=0 param1=00000000 site=fault"
    "ud2|exception=C000001D param0=0 param1=00000000 site=fault"
    "hlt|exception=C0000096 param0=0 param1=00000000 site=fault"
  )
  local row name expected code
  for row in "${table[@]}"; do
    name=${row%%|*}
    expected=${row#*|}
    code=${expected#exception=}
    code=${code%% *}
    run wine 'C:\quillmarsh-i386\fault_probe.exe' "$name"
    if [[ $out == "$expected" && $status -eq $((0x$code & 0xff)) ]]; then
      pass "fault $name -> $code"
    else
      fail "fault $name" "expected: $expected (exit $((0x$code & 0xff)))" "got:      $out (exit $status)" \
        "stderr:   $(head -c 600 "$work/stderr")"
    fi
  done
}

check_system_folders() {
  local expected='sysdir=C:\windows\system32 wow64dir=C:\windows\syswow64 wow64=1 regsvr32=014C'
  run wine 'C:\quillmarsh-i386\fault_probe.exe' sysdir
  if [[ ${out,,} == "${expected,,}" && $status -eq 0 ]]; then
    pass "32-bit process sees the WoW64 system folders"
  else
    fail "32-bit process sees the WoW64 system folders" "expected: $expected" "got:      $out (exit $status)"
  fi
}

# Passes when `reg query KEY ARGS...` (run with the given wine) prints a line matching PATTERN.
expect_reg() {
  local title=$1 pattern=$2 wine_command=$3
  shift 3
  run "$wine_command" reg query "$@"
  if [[ $status -eq 0 ]] && grep -Eq "$pattern" <<<"$out"; then
    pass "$title"
  else
    fail "$title" "reg query $* (with $wine_command) should print /$pattern/" "got: $out (exit $status)"
  fi
}

check_registration() {
  local dll='C:\quillmarsh-i386\register_probe.dll'
  local class='{6B1E4C2A-9D3F-4E57-A8B0-2C71D5E9F403}'
  run wine 'C:\quillmarsh-i386\fault_probe.exe' register "$dll"
  if [[ $out == "regsvr32 exit=0" ]]; then
    pass "regsvr32 started by a 32-bit process registers a 32-bit library"
  else
    fail "regsvr32 started by a 32-bit process registers a 32-bit library" "got: $out (exit $status)"
    return
  fi
  # The 64-bit view holds the 32-bit registrations under Wow6432Node.
  expect_reg "the registering process ran under WoW64" 'Wow64 +REG_DWORD +0x1$' "$WINE64" \
    'HKLM\Software\Wow6432Node\Quillmarsh\I386Probe' /v Wow64
  expect_reg "the class lands in HKCR\\Wow6432Node" "\\(Default\\) +REG_SZ +C:\\\\quillmarsh-i386\\\\register_probe\\.dll$" \
    "$WINE64" "HKCR\\Wow6432Node\\CLSID\\$class\\InprocServer32" /ve
  run "$WINE64" reg query 'HKLM\Software\Quillmarsh\I386Probe'
  if [[ $status -ne 0 ]]; then
    pass "nothing lands in the 64-bit view"
  else
    fail "nothing lands in the 64-bit view" "found: $out"
  fi
  # `wine reg` is the 32-bit reg.exe: it sees the 32-bit view under the plain names.
  expect_reg "32-bit reg.exe sees the key under its plain name" "Module +REG_SZ +C:\\\\quillmarsh-i386\\\\register_probe\\.dll$" \
    wine 'HKLM\Software\Quillmarsh\I386Probe' /v Module

  # The server writes the registry out when it ends; it must land in the overlay's upper layer.
  WINEPREFIX=$prefix timeout 60 wineserver -k >/dev/null 2>&1
  WINEPREFIX=$prefix timeout 60 wineserver -w >/dev/null 2>&1
  if grep -Fq '[Software\\Wow6432Node\\Quillmarsh\\I386Probe]' "$work/upper/system.reg" 2>/dev/null; then
    pass "the prefix's registry reaches the overlay's upper layer"
  else
    fail "the prefix's registry reaches the overlay's upper layer" "no I386Probe key in $work/upper/system.reg"
  fi
}

if ! make_template; then
  fail "template prefix" "see wineboot's output above"
elif ! make_scenario_prefix; then
  fail "scenario prefix" "overlay over the template could not be set up"
else
  start=$(date +%s%N)
  check_faults
  check_system_folders
  check_registration
  echo "checks ran in $(seconds_since "$start") s"
fi

echo "$passed passed, $failed failed"
((failed == 0))
