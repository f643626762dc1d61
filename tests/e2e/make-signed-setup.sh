#!/usr/bin/env bash
# The sample setup built by the Windows mksetup and then signed, as a vendor
# would, with a throw-away self-signed certificate:
#   make-signed-setup.sh STUB MKSETUP.EXE PROGRAMS_DIR OUT.exe
# Exits 77 (skipped) where openssl or osslsigncode is missing.
set -euo pipefail
command -v osslsigncode >/dev/null && command -v openssl >/dev/null || {
  echo "openssl or osslsigncode is not installed"
  exit 77
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$(dirname "$0")/../../scripts/build-sample-setup.sh" "$1" "$2" "$3" "$work/unsigned.exe"
openssl req -x509 -nodes -days 2 -newkey rsa:2048 -keyout "$work/key.pem" -out "$work/cert.pem" \
  -subj "/CN=Orvanex Test Signing" -addext extendedKeyUsage=codeSigning 2>/dev/null
rm -f "$4"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -in "$work/unsigned.exe" -out "$4" >/dev/null
osslsigncode verify -in "$4" -CAfile "$work/cert.pem" >/dev/null
