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

# A PDF/A-2b document (Ghostscript's) signed by quillmark.exe stays PDF/A: the stamp's font is
# the build-time cut of DejaVu Sans, cut again by the engine's own subsetter, and the name reads
# back as written.
echo "== quillmark.exe sign PDF/A"
icc=/usr/share/color/icc/ghostscript/srgb.icc
sed "s|(srgb.icc)|($icc)|" "$(ls /usr/share/ghostscript/*/lib/PDFA_def.ps | head -n 1)" >"$qm/pdfa_def.ps"
printf '%%!PS\n/Helvetica findfont 20 scalefont setfont\n72 720 moveto (Acta) show showpage\n' >"$qm/acta.ps"
gs -q -dPDFA=2 -dBATCH -dNOPAUSE -dPDFACompatibilityPolicy=1 -sColorConversionStrategy=RGB \
  -sDEVICE=pdfwrite --permit-file-read="$icc" -sOutputFile="$qm/acta.pdf" "$qm/pdfa_def.ps" "$qm/acta.ps"
archival_name="Łukasz Dvořák Çağrı Ωμέγα Жуков"
if qm_run sign "$(winpath "$qm/acta.pdf")" --name "$archival_name"; then
  fonts="$(pdffonts "$qm/acta_firmao.pdf" | tail -n +3)"
  if grep -qv " yes yes " <<<"$fonts"; then fail "quillmark.exe dejo una fuente sin incrustar: $fonts"; fi
  grep -qx "$archival_name" <(pdftotext "$qm/acta_firmao.pdf" -) ||
    fail "el sello de quillmark.exe no devuelve el nombre: $(pdftotext "$qm/acta_firmao.pdf" -)"
  grep -q "Signature is Valid." <(pdfsig "$qm/acta_firmao.pdf" 2>&1) || fail "pdfsig no valida la firma PDF/A"
  rules="$(python3 "$root/tests/pades/pdfa_check.py" "$qm/acta.pdf" "$qm/acta_firmao.pdf" 2)" ||
    fail "la firma de quillmark.exe rompe PDF/A: $rules"
  echo "PDF/A: fuentes incrustadas, nombre legible"
else
  fail "quillmark.exe no firmo el documento PDF/A"
fi
