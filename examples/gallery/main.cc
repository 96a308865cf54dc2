// gallery shows every toolkit control. With --screenshot FILE.png it writes an image of the
// staged window and ends; otherwise it opens a window on the desktop.
#include <cstdio>
#include <cstring>

#include "core/arguments.h"
#include "examples/gallery/gallery_window.h"
#include "examples/gallery/screenshot.h"

int main(int argc, char** argv) {
  Utf8Arguments args(argc, argv);
  argc = args.Count();
  argv = args.Vector();
  if (argc >= 2 && std::strcmp(argv[1], "--screenshot") == 0) {
    if (argc < 3) {
      std::fprintf(stderr, "uso: gallery [--screenshot ARCHIVO.png]\n");
      return 2;
    }
    return Screenshot(argc, argv, argv[2]);
  }
  Vy::VyApp app(argc, argv);
  if (!app.Backend()) {
    std::fprintf(stderr, "gallery: sin pantalla; use --screenshot ARCHIVO.png\n");
    return 1;
  }
  app.SetMainWindow(new CGalleryWindow);
  return app.Run();
}
