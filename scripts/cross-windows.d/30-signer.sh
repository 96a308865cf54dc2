# signer.exe on the virtual screen with the document signed by the quillmark step (its name
# carries "Ω"), when this tree builds the signer. Wine has no Windows.Data.Pdf, so the pages do
# not show (the footer says so in Spanish, the path shortened in its middle), but the signature
# panel and its summary do: the signer's self-made certificate is no authority Wine trusts. Tab
# then shows the focus moving, and "Abrir PDF" the system's file-open dialog, which Escape
# closes. Sourced by scripts/cross-windows.

# client_origin WINDOW CLIENT_WIDTH CLIENT_HEIGHT: sets ox, oy to where the client area starts
# in the window; Wine draws the frame itself, with the caption above the client area.
client_origin() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  local border=$(((WIDTH - $2) / 2))
  ox=$border
  oy=$((HEIGHT - $3 - border))
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

signer_open_dialog() {  # signer_open_dialog WINDOW
  local dialog
  client_origin "$1" 900 680
  xdotool mousemove --window "$1" $((ox + 66)) $((oy + 68)) click 1 || fail "xdotool"
  dialog="$(timeout 30 xdotool search --sync --onlyvisible --name '^Abrir documento PDF$' 2>/dev/null | head -n 1)" || true
  if [ -z "$dialog" ]; then
    fail "\"Abrir PDF\" no mostro el dialogo de archivos"
    return
  fi
  until_ok 30 painted "$dialog" || fail "el dialogo de archivos no se pinto"
  import -window root "$shots/signer-open-dialog.png"
  xdotool windowfocus --sync "$dialog" key Escape || fail "no se pudo pulsar Escape"
  until_ok 30 eval '! xdotool search --onlyvisible --name "^Abrir documento PDF$" >/dev/null 2>&1' ||
    fail "el dialogo de archivos no se cerro con Escape"
}

signer_steps() {  # signer_steps WINDOW
  # The summary band comes once the verifier, on its own thread, is done.
  until_ok 30 shows "$1" 900 680 20 100 253,243,220 || fail "el signer no muestra el resumen de las firmas"
  import -window root "$shots/signer-panel.png"
  for _ in 1 2 3; do xdotool windowfocus --sync "$1" key Tab; done
  import -window root "$shots/signer-focus.png"
  signer_open_dialog "$1"
}

if [ -e "$dist/signer.exe" ]; then
  echo "== signer.exe on the screen"
  signer_doc=()
  on_screen_then=signer_open_dialog
  if [ -e "${qm:-}/contrato Ω_firmao.pdf" ]; then
    signer_doc=("$(winpath "$qm/contrato Ω_firmao.pdf")")
    on_screen_then=signer_steps
  fi
  on_screen '^Quillmark 2026$' signer-screen.png wine "$dist/signer.exe" "${signer_doc[@]}"
  on_screen_then=""
fi
