// The page renderer of a build without one: every document is refused with a message, so that
// a program using the engine starts, binds it and says why no page can be shown.
#include "render/engine/page_renderer.h"

namespace vyrender {
namespace {

const char* const kNoRenderer = "Este motor PDF no tiene renderizador de paginas.";

class NoPageRenderer final : public PageRenderer {
 public:
  bool Open(const std::string&, std::string* message) override { return Refuse(message); }
  int PageCount() override { return 0; }
  bool PageSize(int, float*, float*, std::string* message) override { return Refuse(message); }
  bool Render(int, int, int, Raster*, std::string* message) override { return Refuse(message); }
  bool EncodeJpeg(const Raster&, int, std::vector<uint8_t>*, std::string* message) override {
    return Refuse(message);
  }

 private:
  static bool Refuse(std::string* message) {
    *message = kNoRenderer;
    return false;
  }
};

}  // namespace

std::unique_ptr<PageRenderer> CreatePageRenderer() {
  return std::make_unique<NoPageRenderer>();
}

}  // namespace vyrender
