#include <cstdio>

#include "examples/gallery/screenshot.h"

// Windows has no off-screen backend: the window itself is captured from outside.
int Screenshot(int, char**, const std::string&) {
  std::fprintf(stderr, "gallery: --screenshot solo existe en Linux; capture la ventana.\n");
  return 2;
}
