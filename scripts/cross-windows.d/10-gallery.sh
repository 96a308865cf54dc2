# gallery.exe: printed by itself into a file named beyond any ANSI code page, then on the
# virtual screen driven through X. Sourced by scripts/cross-windows.

# 1. gallery.exe prints its staged window into a file whose name is beyond any ANSI code
#    page: the argument arrives whole and the image is the window's own painting.
echo "== gallery.exe --screenshot"
name="galería ñ Ω.png"
if wine "$build/dist/gallery.exe" --screenshot "$(winpath "$shots/$name")" </dev/null && [ -s "$shots/$name" ]; then
  mv "$shots/$name" "$shots/gallery-printed.png"
else
  fail "gallery.exe --screenshot no escribio \"$name\""
fi

# 2. gallery.exe on the virtual screen, driven with the mouse through X and closed with
#    Alt+F4: the drop-down opens, the second card shows its hover border, the program ends 0.
echo "== gallery.exe on the screen"
pixel() {  # pixel X Y: "r,g,b" of the screen at the gallery's client point
  import -window root -crop "1x1+$((left + $1))+$((top + $2))" png:- 2>/dev/null |
    convert - -format '%[fx:round(255*r)],%[fx:round(255*g)],%[fx:round(255*b)]' info: 2>/dev/null
}
is_pixel() { [ "$(pixel "$1" "$2")" = "$3" ]; }
wine "$build/dist/gallery.exe" </dev/null &
gallery=$!
if win="$(timeout 60 xdotool search --sync --onlyvisible --name '^Galeria Vy$' | head -n 1)" && [ -n "$win" ]; then
  eval "$(xdotool getwindowgeometry --shell "$win")"
  # Wine draws the frame itself: the client area of 1120 x 800 sits above the bottom border.
  border=$(((WIDTH - 1120) / 2))
  left=$((X + border))
  top=$((Y + HEIGHT - 800 - border))
  until_ok 30 is_pixel 1110 30 "240,240,240" || fail "la galeria no se pinto"
  xdotool mousemove --window "$win" $((border + 130)) $((top - Y + 371)) click 1 || fail "xdotool"
  until_ok 30 is_pixel 130 515 "150,150,150" || fail "la lista desplegable no se abrio"
  xdotool mousemove --window "$win" $((border + 680)) $((top - Y + 701)) || fail "xdotool"
  until_ok 30 is_pixel 680 661 "140,162,202" || fail "la segunda tarjeta no muestra el borde de encima"
  import -window root "$shots/gallery-screen.png"
  # Real key presses (XTest) to the focused window; Wine turns them into WM_SYSKEYDOWN.
  xdotool windowfocus --sync "$win" key alt+F4 || fail "no se pudo pulsar Alt+F4"
  code=0
  wait "$gallery" || code=$?
  [ "$code" = 0 ] || fail "gallery.exe termino con $code tras Alt+F4"
else
  fail "la ventana de gallery.exe no aparecio"
  kill "$gallery" 2>/dev/null || true
fi
