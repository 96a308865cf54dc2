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
  [ -s "$va/TALVEN.log" ] || fail "voteauth.exe no escribio TALVEN.log junto al programa"
fi
