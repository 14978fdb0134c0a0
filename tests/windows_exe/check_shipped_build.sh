#!/bin/sh
# Builds tavrin.exe again, the way it is shipped (configure preset PRESET,
# without the tests), from a copy of the sources in another folder, signed
# with a throwaway certificate, and checks:
# - that its unsigned bytes are EXE's: an administrator's allowlist may name
#   the program by its SHA-256, which then holds for every build of one
#   commit; and the program that the tests ran is the one that is shipped;
# - that its signature verifies against the throwaway CA, and that removing
#   it gives back those bytes exactly, PE checksum and length included;
# - that the package's SHA256SUMS holds the signed exe's;
# - that the signed exe runs (under EMULATOR) and stamps a list;
# - that a wrong password, or a certificate not for code signing, fails the
#   build with one line and leaves no tavrin.exe; that the password is in no
#   file of the build; and the SHA-1-first option.
# One build serves all: only the signing step is run again after it.
#
#   check_shipped_build.sh CMAKE CPACK SOURCE_DIR PRESET EXE EMULATOR
set -eu
cmake=$1 cpack=$2 source=$3 preset=$4 exe=$(realpath "$5") emulator=$6

# The copy in the current folder (the build's), where one left by a killed
# run goes with the build; no '.' in its name, which would name the list's
# backup. The key and the password stay out of the build folders.
copy=$(mktemp -d "$PWD/shipped-XXXXXX")
ca=$(mktemp -d)
trap 'rm -rf "$copy" "$ca"' EXIT
tar -C "$source" --exclude=./build --exclude=./out --exclude=./.git -cf - . | tar -C "$copy" -xmf -
cd "$copy"
build=build/$preset

echo throwaway-password-7f3a >"$ca/password" && echo wrong >"$ca/wrong"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ca/ca.key" -subj /CN=ca -days 1 \
  -out "$ca/ca.crt" 2>/dev/null
for usage in codeSigning serverAuth; do
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$ca/key" -subj /CN=tavrin -days 1 \
    -CA "$ca/ca.crt" -CAkey "$ca/ca.key" -addext basicConstraints=CA:FALSE \
    -addext extendedKeyUsage=$usage -out "$ca/crt" 2>/dev/null
  openssl pkcs12 -export -inkey "$ca/key" -in "$ca/crt" -certfile "$ca/ca.crt" \
    -passout "file:$ca/password" -out "$ca/$usage.p12"
done

# signs PKCS12 PASSWORD_FILE [CMAKE_ARG...]: configures the copy so and builds.
signs() {
  pkcs12=$1 password=$2
  shift 2
  "$cmake" --preset "$preset" -DTAVRIN_BUILD_TESTS=OFF -DTAVRIN_SIGN_PKCS12="$pkcs12" \
    -DTAVRIN_SIGN_PASSWORD_FILE="$password" "$@" >build.log 2>&1 &&
    "$cmake" --build --preset "$preset" --target tavrin -j 2 >>build.log 2>&1
}
# verifies: the file digests of the signatures that verify against the CA.
verifies() {
  osslsigncode verify -CAfile "$ca/ca.crt" -in "$build/tavrin.exe" >verify.log 2>&1 &&
    awk '/^Message digest algorithm  :/ { printf "%s ", $NF }' verify.log
}
fault() { cat build.log verify.log 2>/dev/null; echo "$*"; exit 1; }

signs "$ca/codeSigning.p12" "$ca/password" || fault "the signed build failed"
echo "$exe: $(sha256sum <"$exe" | cut -d' ' -f1)"
echo "$copy/$build/tavrin-unsigned.exe: $(sha256sum <"$build/tavrin-unsigned.exe" | cut -d' ' -f1)"
cmp "$exe" "$build/tavrin-unsigned.exe" || fault "not the same bytes"
! grep -rqF throwaway-password-7f3a "$build" || fault "the password is in a file of the build"
[ "$(verifies)" = "SHA256 " ] || fault "not one valid SHA-256 signature"
osslsigncode remove-signature -in "$build/tavrin.exe" -out stripped.exe >/dev/null
cmp "$exe" stripped.exe || fault "the signed exe is more than the unsigned one and a signature"

(cd "$build" && "$cpack" >/dev/null && "$cmake" -E tar xf tavrin-*.zip && cd tavrin-*/ &&
  sha256sum --quiet -c SHA256SUMS && cmp tavrin.exe ../tavrin.exe) || fault "the package's SHA256SUMS is not the signed exe's"

printf '[Intern]\r\nText1=Velmo Service Pack 2.1\r\n' >"$build/InstallSp.ini"
printf 'Tool 1.0\r\n' >Software.txt
Software_Txt="Z:$(pwd | tr / '\\')\\Software.txt" "$emulator" "$build/tavrin.exe" ||
  fault "the signed exe failed"
grep -q 'Service Pack                   (Version: 2.1)' Software.txt || fault "the list is not stamped"

for refused in "$ca/codeSigning.p12 $ca/wrong" "$ca/serverAuth.p12 $ca/password"; do
  rm -f "$build/tavrin.exe"
  ! signs $refused || fault "signed with $refused"
  [ "$(grep -c 'tavrin.exe is not signed: ' build.log)" = 1 ] && ! grep -q Failed build.log &&
    [ ! -e "$build/tavrin.exe" ] || fault "$refused: not one line, or a tavrin.exe left"
done

rm -f "$build/tavrin.exe"
signs "$ca/codeSigning.p12" "$ca/password" -DTAVRIN_SIGN_SHA1_FIRST=ON || fault "SHA-1 first failed"
[ "$(verifies)" = "SHA1 SHA256 " ] || fault "not a SHA-1 signature with a SHA-256 one nested"
