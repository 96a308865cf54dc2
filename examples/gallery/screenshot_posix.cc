#include <cstdio>
#include <memory>

#include "examples/gallery/gallery_window.h"
#include "examples/gallery/screenshot.h"
#include "toolkit/combobox.h"
#include "toolkit/headless/headless.h"
#include "toolkit/listview.h"

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
