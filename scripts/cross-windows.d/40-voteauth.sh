# voteauth.exe started as a firmatalven:// link would start it, when this tree builds it. It
# runs from a copy of what dist/ ships (its log is written beside the program), so the copy
# must find its pictures in assets/. Sourced by scripts/cross-windows.
if [ -e "$dist/voteauth.exe" ]; then
  echo "== voteauth.exe on the screen"
  va="$tmp/voteauth"
  mkdir -p "$va"
  cp -r "$dist/." "$va/"
  for picture in logo.png dni.png; do
    [ -s "$va/assets/$picture" ] || fail "dist/assets no trae $picture"
  done
  on_screen '^TalvenNet' voteauth-screen.png wine "$va/voteauth.exe" 'firmatalven://?reto=UmV0byBkZSBwcnVlYmE&codigo=4521'
  # A link naming another host: the warning is on the screen. A refused one: the reason is,
  # with Accept greyed, and the log has its one line.
  on_screen '^TalvenNet' voteauth-other-host.png wine "$va/voteauth.exe" \
    'firmatalven://?reto=x&codigo=4521&host=atacante.example.com'
  on_screen '^TalvenNet' voteauth-refused.png wine "$va/voteauth.exe" 'firmatalven://?reto=x&codigo=<b>77</b>'
  refused="  Enlace rechazado: el código debe tener solo cifras (20 como máximo). | codigo=<b>77</b>"
  [ "$(grep -cF -- "$refused" "$va/TALVEN.log")" = 1 ] || fail "TALVEN.log no registra el enlace rechazado"
  # --help and --version answer on standard output and end with 0, with no display at all.
  if out="$(env -u DISPLAY wine "$va/voteauth.exe" --version </dev/null 2>/dev/null | tr -d '\r')"; then
    [[ "$out" =~ ^voteauth\ [0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "voteauth.exe --version escribio: $out"
  else
    fail "voteauth.exe --version no termino con 0"
  fi
  if out="$(env -u DISPLAY wine "$va/voteauth.exe" --help </dev/null 2>/dev/null | tr -d '\r')"; then
    [[ "$out" == "voteauth "*": autenticador de voto electrónico TalvenNet con el DNIe."$'\n\nUso:\n'* ]] ||
      fail "voteauth.exe --help escribio: $out"
  else
    fail "voteauth.exe --help no termino con 0"
  fi
  [ -s "$va/TALVEN.log" ] || fail "voteauth.exe no escribio TALVEN.log junto al programa"
fi
