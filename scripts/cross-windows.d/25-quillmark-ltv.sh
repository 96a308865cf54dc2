# quillmark.exe fetches through WinHTTP what a long-term signature needs: it signs at B-LTA
# against an OCSP responder (openssl ocsp), a revocation list, the issuer's certificate and a
# time-stamp authority, all on loopback on the host, and extends the result again. The
# signature must stay valid in pdfsig and each document time stamp must pass openssl ts.
# Sourced by scripts/cross-windows.
echo "== quillmark.exe sign --level b-lta"
ltv="$tmp/ltv"
mkdir -p "$ltv"
trap '"$root/tests/support/ltv_services.sh" --stop "$ltv"; cleanup' EXIT
if "$root/tests/support/ltv_services.sh" "$ltv"; then
  tsa_url="$(cat "$ltv/tsa_url")"
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -o "$ltv/contrato.pdf" -c showpage
  qm_ltv() {
    WINEPATH="$(winpath "$build/tests/examples/windows")" QM_PASSWORD=clave wine "$dist/quillmark.exe" "$@" </dev/null
  }
  if qm_ltv sign "$(winpath "$ltv/contrato.pdf")" --out "$(winpath "$ltv/lta.pdf")" --level b-lta \
    --tsa "$tsa_url" --pkcs12 "$(winpath "$ltv/signer.p12")" --password-env QM_PASSWORD &&
    qm_ltv extend "$(winpath "$ltv/lta.pdf")" --level b-lta --tsa "$tsa_url"; then
    out="$(pdfsig "$ltv/lta.pdf" 2>&1 || true)"
    # pdfsig lists the two document time stamps but cannot check them.
    [ "$(grep -c "Signature Validation: Signature is Valid." <<<"$out" || true)" = 1 ] ||
      fail "pdfsig no valida las firmas de la salida B-LTA de quillmark.exe: $out"
    # Each document time stamp's token and the bytes its range covers, for openssl ts.
    stamps="$(python3 - "$ltv" <<'PY'
import re, sys
folder = sys.argv[1]
data = open(folder + "/lta.pdf", "rb").read()
found = re.findall(rb"/Type /DocTimeStamp.*?/ByteRange \[(\d+) (\d+) (\d+) (\d+)\]", data, re.S)
for n, numbers in enumerate(found):
    a, b, c, d = map(int, numbers)
    open("%s/ranges%d.bin" % (folder, n), "wb").write(data[a:a + b] + data[c:c + d])
    open("%s/token%d.der" % (folder, n), "wb").write(bytes.fromhex(data[b + 1:c - 1].decode()))
print(len(found))
PY
)"
    for ((n = 0; n < stamps; n++)); do
      openssl ts -verify -token_in -in "$ltv/token$n.der" -data "$ltv/ranges$n.bin" -CAfile "$ltv/roots.pem" \
        >/dev/null 2>&1 || fail "openssl ts no valida el sello de tiempo del documento $n de quillmark.exe"
    done
    [ "$stamps" = 2 ] || fail "la salida B-LTA de quillmark.exe tiene $stamps sellos de documento, no 2"
    echo "pdfsig: firma valida; openssl ts: $stamps sellos de documento"
  else
    fail "quillmark.exe no llevo la firma a B-LTA"
  fi
else
  fail "no arrancaron los servicios de revocacion en loopback"
fi
"$root/tests/support/ltv_services.sh" --stop "$ltv"
trap cleanup EXIT
