#!/bin/sh
# Signs the freshly linked EXE with Authenticode, after the link, when the
# build is configured to sign (cmake/windows.cmake; docs/windows.md, "Signed
# builds"):
#
#   sign_exe.sh OSSLSIGNCODE OPENSSL EXE PKCS12 PASSWORD_FILE SHA1_FIRST [TIMESTAMP_URL]
#
# The linker's output is moved aside first, as EXE's name with -unsigned
# (kept for the check that every build has the same bytes, and not packed),
# and the signed file is written under a new name and renamed to EXE last:
# whatever fails, or is killed, no unsigned exe stands where a signed one was
# asked for, and the next build links and signs again. The password is read
# from PASSWORD_FILE by each tool itself, so that it shows on no command line
# and is copied nowhere. Exits 1 with one line saying why when it cannot sign.
set -eu
osslsigncode=$1 openssl=$2 exe=$3 pkcs12=$4 password=$5 sha1_first=$6 url=${7-}
unsigned=${exe%.exe}-unsigned.exe
signing=$exe.signing

fail() {
  rm -f "$signing" "$signing.sha1"
  echo "${exe##*/} is not signed: $*" >&2
  exit 1
}

mv -f "$exe" "$unsigned"

# osslsigncode signs with any certificate, a TLS server's too, and says
# little about a wrong password; the certificate is looked at first. OpenSSL
# 3 opens a PKCS#12 of the older kind (RC2 encrypted, as older Windows
# export them) only with its legacy provider.
certificate=$("$openssl" pkcs12 -in "$pkcs12" -passin "file:$password" -nokeys -clcerts 2>/dev/null ||
  "$openssl" pkcs12 -legacy -in "$pkcs12" -passin "file:$password" -nokeys -clcerts 2>/dev/null) ||
  fail "cannot open '$pkcs12' with the password in '$password' (a wrong password, or no PKCS#12 file)"
printf '%s\n' "$certificate" | "$openssl" x509 -noout -ext extendedKeyUsage 2>/dev/null |
  grep -q 'Code Signing' ||
  fail "the certificate in '$pkcs12' is not for code signing (no Code Signing in its extended key usage)"

# sign DIGEST IN OUT [OPTION...]
sign() {
  digest=$1 in=$2 out=$3
  shift 3
  log=$("$osslsigncode" sign -pkcs12 "$pkcs12" -readpass "$password" -h "$digest" \
          ${url:+-ts "$url"} "$@" -in "$in" -out "$out" 2>&1) ||
    { printf '%s\n' "$log" >&2; fail "osslsigncode could not sign it (its lines above)"; }
}

rm -f "$signing" "$signing.sha1"
if [ "$sha1_first" = 1 ]; then
  # Windows XP checks the first signature only, and not one of SHA-256;
  # Windows 8 and later read the nested one too.
  sign sha1 "$unsigned" "$signing.sha1"
  sign sha256 "$signing.sha1" "$signing" -nest
  rm -f "$signing.sha1"
else
  sign sha256 "$unsigned" "$signing"
fi
mv -f "$signing" "$exe"
