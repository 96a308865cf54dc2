# signer.exe on the virtual screen with the document signed by the quillmark step (its name
# carries "Ω"), when this tree builds the signer: the signature panel and its summary (the
# signer's certificate is no authority Wine trusts), the focus moved with Tab, the certificate
# dialog with a PKCS#12 file whose wrong password is asked again in its prompt, and "Abrir PDF"
# showing the system's file-open dialog, which Escape closes. Sourced by scripts/cross-windows.

# client_origin WINDOW CLIENT_WIDTH CLIENT_HEIGHT: sets ox, oy to where the client area starts
# in the window; Wine draws the frame itself, with the caption above the client area.
client_origin() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  local border=$(((WIDTH - $2) / 2))
  ox=$border
  oy=$((HEIGHT - $3 - border))
}
click_client() {  # click_client WINDOW CLIENT_WIDTH CLIENT_HEIGHT X Y
  client_origin "$1" "$2" "$3"
  xdotool mousemove --window "$1" $((ox + $4)) $((oy + $5)) click 1 || fail "xdotool"
}
# shows WINDOW CLIENT_WIDTH CLIENT_HEIGHT X Y RGB: the client pixel has that colour (within 6%).
shows() {
  client_origin "$1" "$2" "$3"
  local share
  share="$(import -window "$1" png:- 2>/dev/null |
    convert - -crop "1x1+$((ox + $4))+$((oy + $5))" +repage -fuzz 6% -fill white -opaque "rgb($6)" \
      -fill black +opaque white -format '%[fx:mean]' info: 2>/dev/null)" || return 1
  [ "$share" = 1 ]
}
find_window() {  # find_window TITLE: the id of the visible window whose name matches
  timeout 30 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -n 1
}
gone() { ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; }

signer_pkcs12_prompt() {  # signer_pkcs12_prompt DIALOG: a wrong password, then the right one
  local files prompt
  click_client "$1" 660 520 86 422
  files="$(find_window '^Elegir certificado PKCS#12$')" || true
  if [ -z "$files" ]; then
    fail "\"Elegir PKCS#12...\" no mostro el dialogo de archivos"
    return
  fi
  until_ok 30 painted "$files" || fail "el dialogo de archivos no se pinto"
  xdotool windowfocus --sync "$files" type --delay 20 "$(winpath "$tmp/firma.p12")"
  xdotool key --window "$files" Return
  prompt="$(find_window '^Contrase.a del PKCS#12$')" || true
  if [ -z "$prompt" ]; then
    fail "no aparecio la contraseña del PKCS#12"
    return
  fi
  until_ok 30 painted "$prompt" || fail "la contraseña del PKCS#12 no se pinto"
  xdotool windowfocus --sync "$prompt" type --delay 20 "otra"
  xdotool windowfocus --sync "$prompt" key Return
  # The field empties and keeps the focus; the reason shows in red under it.
  until_ok 30 eval 'import -window "$prompt" png:- 2>/dev/null | convert - -fuzz 8% -fill white \
    -opaque "rgb(198,52,52)" -fill black +opaque white -format "%[fx:mean>0.0005]" info: | grep -q 1' ||
    fail "una contraseña incorrecta no se pidio de nuevo con su motivo"
  gone '^Contrase.a del PKCS#12$' && fail "la contraseña incorrecta cerro el dialogo"
  import -window root "$shots/signer-wrong-password.png"
  xdotool windowfocus --sync "$prompt" type --delay 20 "secreto"
  xdotool windowfocus --sync "$prompt" key Return
  until_ok 30 gone '^Contrase.a del PKCS#12$' || fail "la contraseña correcta no cerro el dialogo"
  until_ok 30 painted "$1" || true
  import -window root "$shots/signer-certificate-chosen.png"
}

signer_steps() {  # signer_steps WINDOW
  local dialog
  # The summary band above the pages comes once the verifier is done.
  until_ok 30 shows "$1" 900 680 20 100 253,243,220 || fail "el signer no muestra el resumen de las firmas"
  import -window root "$shots/signer-panel.png"
  for _ in 1 2 3; do xdotool windowfocus --sync "$1" key Tab; done
  import -window root "$shots/signer-focus.png"
  click_client "$1" 900 680 174 68
  dialog="$(find_window '^Selecciona el certificado digital$')" || true
  if [ -z "$dialog" ]; then
    fail "\"Firmar\" no mostro el dialogo de certificados"
    return
  fi
  until_ok 30 painted "$dialog" || fail "el dialogo de certificados no se pinto"
  import -window root "$shots/signer-certificate-dialog.png"
  signer_pkcs12_prompt "$dialog"
  xdotool windowfocus --sync "$dialog" key Escape || fail "no se pudo pulsar Escape"
  until_ok 30 gone '^Selecciona el certificado digital$' || fail "el dialogo de certificados no se cerro"
  signer_open_dialog "$1"
}

signer_open_dialog() {  # signer_open_dialog WINDOW
  local dialog
  click_client "$1" 900 680 66 68
  dialog="$(find_window '^Abrir documento PDF$')" || true
  if [ -z "$dialog" ]; then
    fail "\"Abrir PDF\" no mostro el dialogo de archivos"
    return
  fi
  until_ok 30 painted "$dialog" || fail "el dialogo de archivos no se pinto"
  import -window root "$shots/signer-open-dialog.png"
  xdotool windowfocus --sync "$dialog" key Escape || fail "no se pudo pulsar Escape"
  until_ok 30 gone '^Abrir documento PDF$' || fail "el dialogo de archivos no se cerro con Escape"
}

if [ -e "$dist/signer.exe" ]; then
  echo "== signer.exe on the screen"
  signer_doc=()
  [ -e "${qm:-}/contrato Ω_firmao.pdf" ] && signer_doc=("$(winpath "$qm/contrato Ω_firmao.pdf")")
  # The PKCS#12 file of the quillmark step under a plain name and password, for typing.
  if [ -e "${qm:-}/ana ñ.p12" ]; then
    openssl pkcs12 -in "$qm/ana ñ.p12" -passin "pass:clave ñ" -nodes 2>/dev/null |
      openssl pkcs12 -export -passout pass:secreto -out "$tmp/firma.p12"
  fi
  on_screen_then=signer_open_dialog
  [ ${#signer_doc[@]} -gt 0 ] && [ -e "$tmp/firma.p12" ] && on_screen_then=signer_steps
  on_screen '^Quillmark 2026$' signer-screen.png env WINEPATH="$(winpath "$build/tests/examples/windows")" \
    wine "$dist/signer.exe" "${signer_doc[@]}"
  on_screen_then=""
fi
