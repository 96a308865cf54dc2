# quillmark.exe makes a real signature with a PKCS#12 file through openssl: the stub
# openssl.exe of the tests runs the host's. Folder and file names carry "ñ" and "Ω", so the
# arguments, the narrow C runtime paths and the command lines for openssl must all keep UTF-8.
# The signed copy must validate in pdfsig and in quillmark.exe verify, and no temporary file of
# the key may stay behind.
# Sourced by scripts/cross-windows.
echo "== quillmark.exe sign"
qm="$tmp/firmas ñ"
mkdir -p "$qm"
openssl req -x509 -utf8 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Firmante de Prueba Ñandú" \
  -addext keyUsage=critical,digitalSignature,nonRepudiation \
  -keyout "$qm/clave.pem" -out "$qm/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$qm/clave.pem" -in "$qm/cert.pem" -passout "pass:clave ñ" \
  -out "$qm/ana ñ.p12"
rm -f "$qm/clave.pem"
qm_run() {  # qm_run ARGS...: quillmark.exe with the stub first on the search path
  WINEPATH="$(winpath "$build/tests/examples/windows")" QM_PASSWORD="clave ñ" \
    wine "$dist/quillmark.exe" "$@" --pkcs12 "$(winpath "$qm/ana ñ.p12")" --password-env QM_PASSWORD \
    </dev/null
}
if qm_run sample "$(winpath "$qm/contrato Ω.pdf")" &&
  qm_run sign "$(winpath "$qm/contrato Ω.pdf")" --stamp all; then
  out="$(pdfsig "$qm/contrato Ω_firmao.pdf" 2>&1 || true)"
  valid="$(grep -c "Signature Validation: Signature is Valid." <<<"$out" || true)"
  [ "$valid" = 2 ] || fail "pdfsig no valida las 2 firmas de quillmark.exe: $out"
  grep -q "Firmante de Prueba Ñandú" <<<"$out" || fail "pdfsig no muestra al firmante: $out"
  echo "pdfsig: $valid firmas validas"
  # The Windows binary's own verifier agrees, trusting the signer's certificate.
  out="$(wine "$dist/quillmark.exe" verify "$(winpath "$qm/contrato Ω_firmao.pdf")" \
    --trust "$(winpath "$qm/cert.pem")" </dev/null 2>&1)" || fail "quillmark.exe verify fallo: $out"
  grep -q "Resultado: 2 firma(s), todas integras y confiables." <<<"$out" ||
    fail "quillmark.exe verify no confirma las 2 firmas: $out"
  # A folder as the batch: both of its documents, with one key extraction, into a folder whose
  # name the file-system library must take as UTF-8 too.
  if qm_run sign "$(winpath "$qm")" --out-dir "$(winpath "$qm/firmadas Ω")"; then
    for name in "contrato Ω_firmao.pdf" "contrato Ω_firmao_firmao.pdf"; do
      out="$(pdfsig "$qm/firmadas Ω/$name" 2>&1 || true)"
      grep -q "Signature Validation: Signature is Valid." <<<"$out" || fail "pdfsig no valida $name: $out"
    done
    echo "quillmark.exe firmo la carpeta en un lote"
  else
    fail "quillmark.exe no firmo la carpeta"
  fi
else
  fail "quillmark.exe no firmo con el PKCS#12"
fi
leftover="$(find "$WINEPREFIX/drive_c/users" -name 'vycert_*' 2>/dev/null)"
[ -z "$leftover" ] || fail "quedaron temporales de openssl: $leftover"
