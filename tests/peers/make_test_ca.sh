#!/usr/bin/env bash
# Makes throwaway certificates for the TLS peers in DIR (created if missing):
#   ca.pem            the test authority that tests add to the trust store
#   localhost.pem     + localhost.key      for DNS:localhost, issued by ca.pem
#   wronghost.pem     + wronghost.key      for DNS:wronghost.example, issued by ca.pem
#   untrusted.pem     + untrusted.key      for DNS:localhost, issued by a second
#                                          authority nobody trusts
#   expired.pem       + expired.key        for DNS:localhost, issued by ca.pem,
#                                          valid only in January 2020
# Each .pem of a server holds its certificate followed by its issuer's, as a
# server sends them; NAME-leaf.pem holds the certificate alone, as a careless
# or hostile server sends it. The keys are kept only as long as DIR is.
#
# make_test_ca.sh DIR HOST adds host-HOST.pem + host-HOST.key for DNS:HOST,
# issued by the ca.pem already in DIR: the HTTP peer's tunnel presents it
# for whatever name a page address through the proxy setting names.
set -euo pipefail
dir=${1:?usage: make_test_ca.sh DIR}
mkdir -p "$dir"
cd "$dir"

authority() {  # name, subject
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 30 -subj "/CN=$2" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$1.key" -out "$1.pem" 2>/dev/null
}

server() {  # name, DNS name, issuer
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=$2" -keyout "$1.key" -out "$1.csr" 2>/dev/null
  extensions "$2" >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial -days 30 -sha256 \
    -extfile "$1.ext" -out "$1.crt" 2>/dev/null
  finish "$1" "$3"
}

extensions() {  # DNS name
  printf 'subjectAltName=DNS:%s\nbasicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' "$1"
}

finish() {  # name, issuer
  cat "$1.crt" "$2.pem" >"$1.pem"
  cp "$1.crt" "$1-leaf.pem"
  rm -f "$1.csr" "$1.ext" "$1.crt"
}

# x509 cannot date a certificate in the past; the ca command can.
expired() {  # name, DNS name, issuer
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=$2" -keyout "$1.key" -out "$1.csr" 2>/dev/null
  mkdir -p db
  : >db/index.txt
  echo 1000 >db/serial
  { printf '[ca]\ndefault_ca=test\n[test]\ndatabase=db/index.txt\nserial=db/serial\nnew_certs_dir=db\n'
    printf 'default_md=sha256\npolicy=any\n[any]\ncommonName=supplied\n[ext]\n'
    extensions "$2"; } >db/ca.cnf
  openssl ca -batch -config db/ca.cnf -cert "$3.pem" -keyfile "$3.key" -in "$1.csr" -out "$1.crt" -notext \
    -startdate 20200101000000Z -enddate 20200201000000Z -extensions ext 2>/dev/null
  rm -rf db
  finish "$1" "$3"
}

if [ $# -ge 2 ]; then
  [[ $2 =~ ^[A-Za-z0-9.-]+$ ]] || { echo "not a host name: $2" >&2; exit 1; }
  server "host-$2" "$2" ca
  exit 0
fi

authority ca "Corvane Test Authority"
authority other-ca "Corvane Untrusted Test Authority"
server localhost localhost ca
server wronghost wronghost.example ca
server remote mail.corvane.test ca
server untrusted localhost other-ca
expired expired localhost ca
