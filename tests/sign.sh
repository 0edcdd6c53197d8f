#!/usr/bin/env bash
# Signs a copy of the .exe the way README tells users to, with a throw-away self-signed
# certificate, and verifies the signature against that certificate.   sign.sh EXE WORKDIR
set -euo pipefail
exe=$1 work=$2
rm -rf "$work" && mkdir -p "$work" && cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=run3010 test signer" -addext extendedKeyUsage=codeSigning 2>/dev/null
echo throw-away > codesign.pass
openssl pkcs12 -export -inkey key.pem -in cert.pem -out codesign.pfx -passout file:codesign.pass
osslsigncode sign -pkcs12 codesign.pfx -readpass codesign.pass -n run3010 -h sha256 -in "$exe" -out run3010-signed.exe
osslsigncode verify -in run3010-signed.exe -CAfile cert.pem
cd / && rm -rf "$work"
