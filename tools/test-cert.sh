#!/usr/bin/env bash
# Makes a throwaway certificate authority and a code-signing certificate
# issued by it, for the tests only, in a folder under build/ (never committed):
#   tools/test-cert.sh DIR
#   DIR/authority.pem, DIR/authority.cer   the authority (PEM, DER)
#   DIR/signer.pfx, DIR/password           the signing certificate and key, as
#                                          an organisation hands them to `make dist`
set -euo pipefail
dir=$1
rm -rf "$dir"
mkdir -p "$dir"
cd "$dir"

openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 7 \
  -subj "/O=KestrinCorp Test/CN=KestrinSelect Test Authority" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -keyout authority.key -out authority.pem 2>/dev/null
openssl x509 -in authority.pem -outform DER -out authority.cer

openssl req -newkey rsa:2048 -nodes -sha256 \
  -subj "/O=KestrinCorp Test/CN=KestrinSelect Test Signer" \
  -keyout signer.key -out signer.csr 2>/dev/null
cat >signer.ext <<'EOF'
basicConstraints=critical,CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=codeSigning
EOF
openssl x509 -req -sha256 -days 7 -in signer.csr -CA authority.pem -CAkey authority.key \
  -CAcreateserial -extfile signer.ext -out signer.pem 2>/dev/null

head -c 18 /dev/urandom | base64 >password
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile authority.pem \
  -passout file:password -out signer.pfx
