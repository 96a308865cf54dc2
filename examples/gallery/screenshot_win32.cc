// On the desktop: the real window, shown, staged and printed into the file from its loop.
#include <cstdio>

#include "examples/gallery/gallery_window.h"
#include "examples/gallery/screenshot.h"
#include "toolkit/win32/win32_capture.h"

namespace {

class CapturedGallery : public CGalleryWindow {
 public:
  explicit CapturedGallery(std::string path) : path_(std::move(path)) {}
  bool OnInit() override { return CGalleryWindow::OnInit() && SetTimer(kCapture, 10); }
  void OnTimer(unsigned id) override {
    if (id != kCapture) return;
    KillTimer(kCapture);
    Stage();
    bool saved = Vy::SaveWindowPng(NativeHandle(), path_);
    if (!saved) std::fprintf(stderr, "gallery: no se pudo escribir %s\n", path_.c_str());
    Vy::VyApp::Current()->Quit(saved ? 0 : 1);
  }

 private:
  static constexpr unsigned kCapture = 1;
  std::string path_;
};

}  // namespace

int Screenshot(int argc, char** argv, const std::string& path) {
  Vy::VyApp app(argc, argv);
  if (!app.Backend()) return 1;
  app.SetMainWindow(new CapturedGallery(path));
  return app.Run();
}
