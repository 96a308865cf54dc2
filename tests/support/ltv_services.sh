#!/usr/bin/env bash
# Loopback services for long-term signatures outside the test programs (bench_extend, the Wine
# smoke step): a PKI whose signer names an OCSP responder and its issuer's certificate, and whose
# time-stamp authority names a revocation list, with those services running.
#
#   ltv_services.sh DIR          makes DIR/signer.p12 (password "clave"), DIR/roots.pem, starts
#                                the file server, `openssl ocsp` and the time-stamp authority,
#                                writes the authority's URL to DIR/tsa_url and their process ids
#                                to DIR/pids, and returns once all of them answer
#   ltv_services.sh --stop DIR   stops them
set -euo pipefail
support="$(cd "$(dirname "$0")" && pwd)"
if [ "${1:-}" = --stop ]; then
  [ -f "$2/pids" ] && while read -r pid; do kill "$pid" 2>/dev/null || true; done <"$2/pids"
  exit 0
fi
dir="$(cd "$1" && pwd)"
cd "$dir"
mkdir -p web/files tsa
: >pids
# until_ok SECONDS COMMAND...: polls every tenth of a second.
until_ok() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || { echo "ltv_services: $* did not happen" >&2; exit 1; }
    sleep 0.1
  done
}
quiet() { "$@" >/dev/null 2>&1; }
# issue NAME SUBJECT SERIAL EXTENSIONS: a certificate of the root.
issue() {
  printf '%b' "$4" >"$1.ext"
  quiet openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$2"
  quiet openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -set_serial "$3" -days 30 -extfile "$1.ext" -out "$1.pem"
}

quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 30 -subj "/C=PE/CN=Raiz LTV" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
openssl x509 -in ca.pem -outform DER -out web/files/ca.cer
cp ca.pem roots.pem
issue responder "/C=PE/CN=Respondedor LTV" 2 'extendedKeyUsage=OCSPSigning\nnoCheck=ignored\n'
# The responder reads the authority's records when it starts: the signer's serial is fixed.
printf 'V\t491231235959Z\t\t0FA1\tunknown\t/CN=Firmante LTV\n' >index.txt

python3 "$support/file_server.py" web >web.log 2>&1 &
echo $! >>pids
# The responder is never probed with a bare connect: it would serve that first, for its whole
# time-out. It says its port and then that it waits.
openssl ocsp -index index.txt -port 0 -rsigner responder.pem -rkey responder.key -CA ca.pem -timeout 3 \
  -ignore_err >ocsp.log 2>&1 &
echo $! >>pids
until_ok 15 test -s web/port
until_ok 15 grep -q "waiting for OCSP client connections" ocsp.log
web="http://127.0.0.1:$(cat web/port)"
ocsp="http://127.0.0.1:$(sed -n 's/^ACCEPT .*:\([0-9][0-9]*\) .*/\1/p' ocsp.log)/"

issue signer "/C=PE/CN=Firmante LTV" 4001 \
  "keyUsage=critical,digitalSignature,nonRepudiation\nauthorityInfoAccess=OCSP;URI:$ocsp,caIssuers;URI:$web/ca.cer\n"
openssl pkcs12 -export -inkey signer.key -in signer.pem -passout pass:clave -out signer.p12
issue authority "/C=PE/CN=Sellado LTV" 3 \
  "keyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\ncrlDistributionPoints=URI:$web/tsa.crl\n"
echo 01 >crlnumber
printf '[ca]\ndefault_ca=x\n[x]\ndatabase=index.txt\ncrlnumber=crlnumber\ndefault_md=sha256\ndefault_crl_days=7\n' >crl.cnf
quiet openssl ca -batch -gencrl -config crl.cnf -keyfile ca.key -cert ca.pem -out crl.pem
openssl crl -in crl.pem -outform DER -out web/files/tsa.crl

echo 01 >tsa/serial
cat >tsa.cnf <<EOF
[ tsa ]
default_tsa = t
[ t ]
serial = $dir/tsa/serial
crypto_device = builtin
signer_cert = $dir/authority.pem
certs = $dir/ca.pem
signer_key = $dir/authority.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha256
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
python3 "$support/tsa_server.py" tsa tsa.cnf >tsa.log 2>&1 &
echo $! >>pids
until_ok 15 test -s tsa/port
echo "http://127.0.0.1:$(cat tsa/port)/tsa" >tsa_url
