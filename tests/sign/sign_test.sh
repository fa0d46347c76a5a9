#!/bin/bash
# Signs copies of the win32 and win64 binaries with a throwaway self-signed certificate, as PKCS#12
# and as PEM, and checks that each signature verifies, that signing changed nothing but the PE
# checksum and the certificate table entry, that one altered byte breaks the signature, and that
# the signed x86_64 installer still runs the typical end-to-end scenario with the same transcript.
#
#   sign_test.sh <scripts/sign> <win32 build folder> <win64 build folder> <e2e-tests program>
set -euo pipefail
(($# == 4)) || { echo "usage: $0 <scripts/sign> <win32 dir> <win64 dir> <e2e-tests>" >&2; exit 2; }
readonly SIGN=$1 WIN32=$2 WIN64=$3 E2E_TESTS=$4
readonly SUBJECT="/CN=Quillmarsh Test Signing"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
for dir in "$WIN32" "$WIN64"; do
  for file in QuillmarshSetup.exe Vorlantix.ocx; do
    [[ -f $dir/$file ]] || { echo "FAIL: $dir/$file is not built (scripts/build)" >&2; exit 1; }
  done
done

work=$(mktemp -d "${TMPDIR:-/tmp}/quillmarsh-sign-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

# --- A throwaway code-signing certificate ----------------------------------------------------------
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "$SUBJECT" \
  -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
echo "a test password" >pass
openssl pkcs12 -export -inkey key.pem -in cert.pem -passout file:pass -out cert.p12

for arch in win32 win64; do
  dir=$WIN32
  [[ $arch == win64 ]] && dir=$WIN64
  "$SIGN" --pkcs12 cert.p12 --pass-file pass --out "p12-$arch" "$dir/QuillmarshSetup.exe" "$dir/Vorlantix.ocx" >/dev/null
  "$SIGN" --cert cert.pem --key key.pem --out "pem-$arch" "$dir/QuillmarshSetup.exe" "$dir/Vorlantix.ocx" >/dev/null
done

# --- Checks per signed file --------------------------------------------------------------------------
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
u16() { od -An -tu2 -j "$2" -N2 "$1" | tr -d ' '; }

# Signing may change only the PE checksum (4 bytes) and the certificate table's directory entry
# (8 bytes), and appends the signature after the original bytes.
check_only_signature_added() {
  local original=$1 signed=$2 pe magic checksum certdir offset
  pe=$(u32 "$original" 60)
  magic=$(u16 "$original" $((pe + 24)))
  checksum=$((pe + 24 + 64))
  case $magic in
    267) certdir=$((pe + 24 + 96 + 4 * 8)) ;;   # PE32
    523) certdir=$((pe + 24 + 112 + 4 * 8)) ;;  # PE32+
    *) fail "$original: not a PE optional header (magic $magic)"; return ;;
  esac
  (($(stat -c %s "$signed") > $(stat -c %s "$original"))) || fail "$signed: no signature appended"
  while read -r offset _; do
    offset=$((offset - 1))  # cmp counts from 1
    if ! ((offset >= checksum && offset < checksum + 4)) && ! ((offset >= certdir && offset < certdir + 8)); then
      fail "$signed: byte $offset changed by signing"
      return
    fi
  done < <(cmp -l "$original" "$signed" 2>/dev/null || true)
}

# The signature verifies against the certificate, with a SHA-256 digest that matches the file.
check_verifies() {
  local signed=$1 out current calculated
  if ! out=$(osslsigncode verify -CAfile cert.pem -in "$signed" 2>&1); then
    fail "$signed: does not verify against its certificate:"$'\n'"$out"
    return
  fi
  current=$(awk -F': *' '/^Current message digest/ { print $2 }' <<<"$out" | tr -d ' ')
  calculated=$(awk -F': *' '/^Calculated message digest/ { print $2 }' <<<"$out" | tr -d ' ')
  [[ -n $current && $current == "$calculated" ]] || fail "$signed: digest $current, calculated $calculated"
  grep -q '^Message digest algorithm  *: SHA256' <<<"$out" || fail "$signed: not a SHA-256 signature"
  grep -q "Subject: $SUBJECT" <<<"$out" || fail "$signed: not signed by $SUBJECT"
  grep -q '^Signature verification: ok' <<<"$out" || fail "$signed: verification not ok"
  # Without the certificate as a trust anchor the chain does not verify, but the digest still does:
  # what a self-signed release would show.
  out=$(osslsigncode verify -in "$signed" 2>&1) && fail "$signed: a self-signed chain verified without its anchor"
  grep -q 'self-signed certificate' <<<"$out" || fail "$signed: the chain failed for another reason:"$'\n'"$out"
  ! grep -q MISMATCH <<<"$out" || fail "$signed: digest mismatch without the anchor"
}

# One byte of the signed content flipped: the digest no longer matches.
check_alteration_breaks() {
  local original=$1 signed=$2 offset byte out
  cp "$signed" altered
  offset=$(($(stat -c %s "$original") / 2))
  byte=$(od -An -tu1 -j "$offset" -N1 altered | tr -d ' ')
  printf "\\x$(printf %02x $((byte ^ 0xff)))" | dd of=altered bs=1 seek="$offset" conv=notrunc status=none
  if out=$(osslsigncode verify -CAfile cert.pem -in altered 2>&1); then
    fail "$signed: still verifies with byte $offset altered"
  fi
  grep -q MISMATCH <<<"$out" || fail "$signed: the altered copy failed without a digest mismatch:"$'\n'"$out"
  rm -f altered
}

for arch in win32 win64; do
  dir=$WIN32
  [[ $arch == win64 ]] && dir=$WIN64
  for format in p12 pem; do
    for file in QuillmarshSetup.exe Vorlantix.ocx; do
      signed=$format-$arch/$file
      check_verifies "$signed"
      check_only_signature_added "$dir/$file" "$signed"
      check_alteration_breaks "$dir/$file" "$signed"
    done
  done
done
echo "signatures: $((2 * 2 * 2)) files signed and checked, $failures failure(s)"

# --- The signed installer still runs ----------------------------------------------------------------
# The harness takes the x86_64 binaries from one folder: a copy of the build folder (without
# CMake's own files, whatever else the harness needs), with the signed installer in it. The
# component stays the unsigned build output, since that is the copy the installer carries inside
# it and writes to disk.
binaries=$work/e2e-binaries
(cd "$WIN64" && find . -name CMakeFiles -prune -o -type f ! -name '*.cmake' ! -name Makefile ! -name '*.txt' ! -name '*.json' -print) |
  while read -r file; do
    mkdir -p "$binaries/$(dirname "$file")"
    cp "$WIN64/$file" "$binaries/$file"
  done
cp p12-win64/QuillmarshSetup.exe "$binaries/QuillmarshSetup.exe"
cmp -s "$binaries/QuillmarshSetup.exe" "$WIN64/QuillmarshSetup.exe" && fail "the installer under test is not the signed one"
if ! TMPDIR=$work QUILLMARSH_E2E_ARCHES=x86_64 QUILLMARSH_E2E_X86_64_BINARIES=$binaries \
    "$E2E_TESTS" --gtest_filter='x86_64_install.typical_run' --gtest_brief=1; then
  fail "the signed x86_64 installer does not run the typical scenario as expected"
fi

((failures == 0)) || { echo "$failures failure(s)" >&2; exit 1; }
echo "all signing checks passed"
