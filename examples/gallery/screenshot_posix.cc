// Off screen: no display needed.
#include <cstdio>
#include <memory>

#include "examples/gallery/gallery_window.h"
#include "examples/gallery/screenshot.h"
#include "toolkit/headless/headless.h"

int Screenshot(int argc, char** argv, const std::string& path) {
  auto backend = std::make_unique<Vy::CHeadlessApp>();
  Vy::CHeadlessApp* headless = backend.get();
  Vy::VyApp app(argc, argv, std::move(backend));
  auto* window = new CGalleryWindow;
  app.SetMainWindow(window);
  headless->Post([&] {
    window->Stage();
    bool saved = headless->Find(window)->SavePng(path);
    if (!saved) std::fprintf(stderr, "gallery: no se pudo escribir %s\n", path.c_str());
    app.Quit(saved ? 0 : 1);
  });
  return app.Run();
}
