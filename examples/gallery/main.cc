// gallery shows every toolkit control. With --screenshot FILE.png it renders off screen and
// writes the image; otherwise it opens a window on the desktop.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "examples/gallery/gallery_window.h"
#include "toolkit/combobox.h"
#include "toolkit/headless/headless.h"
#include "toolkit/listview.h"

namespace {

int Screenshot(int argc, char** argv, const std::string& path) {
  auto backend = std::make_unique<Vy::CHeadlessApp>();
  Vy::CHeadlessApp* headless = backend.get();
  Vy::VyApp app(argc, argv, std::move(backend));
  auto* window = new CGalleryWindow;
  app.SetMainWindow(window);
  headless->Post([&] {
    Vy::CHeadlessWindowImpl* impl = headless->Find(window);
    // The mouse opens the drop-down and rests on the second card.
    Vy::Rect combo = window->openCombo->Bounds();
    impl->Click(combo.x + combo.width / 2, combo.y + combo.height / 2);
    Vy::Rect cards = window->cards->Bounds();
    impl->MouseMove(cards.x + cards.width / 2, cards.y + 90 + 45);
    bool saved = impl->SavePng(path);
    if (!saved) std::fprintf(stderr, "gallery: no se pudo escribir %s\n", path.c_str());
    app.Quit(saved ? 0 : 1);
  });
  return app.Run();
}

}  // namespace

int main(int argc, char** argv) {
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
