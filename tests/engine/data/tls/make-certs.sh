#!/usr/bin/env bash
# Regenerates the test CA and the server certificate for 127.0.0.1 (valid 30
# years). The engine tests and `quellan-devserver --tls` use them.
set -euo pipefail
cd "$(dirname "$0")"
openssl req -x509 -newkey rsa:2048 -nodes -days 10950 -subj "/CN=Quellan Test CA" \
  -keyout ca-key.pem -out ca.pem \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
openssl req -newkey rsa:2048 -nodes -subj "/CN=127.0.0.1" -keyout server-key.pem -out server.csr
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' > server.ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca-key.pem -CAcreateserial -days 10950 \
  -extfile server.ext -out server.pem
rm -f server.csr server.ext ca.srl
