# signer.exe on the virtual screen with the document signed by the quillmark step (its name
# carries "Ω"), when this tree builds the signer; "Abrir PDF" then shows the system's file-open
# dialog, which Escape closes. Sourced by scripts/cross-windows.
signer_open_dialog() {  # signer_open_dialog WINDOW
  local dialog
  eval "$(xdotool getwindowgeometry --shell "$1")"
  # Wine draws the frame itself: the client area of 900 x 680 sits above the bottom border.
  local border=$(((WIDTH - 900) / 2))
  xdotool mousemove --window "$1" $((border + 66)) $((HEIGHT - 680 - border + 68)) click 1 || fail "xdotool"
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

if [ -e "$dist/signer.exe" ]; then
  echo "== signer.exe on the screen"
  signer_doc=()
  [ -e "${qm:-}/contrato Ω_firmao.pdf" ] && signer_doc=("$(winpath "$qm/contrato Ω_firmao.pdf")")
  on_screen_then=signer_open_dialog
  on_screen '^Quillmark 2026$' signer-screen.png wine "$dist/signer.exe" "${signer_doc[@]}"
  on_screen_then=""
fi
