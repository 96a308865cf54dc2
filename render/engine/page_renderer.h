#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/engine/platform.h"

namespace vyrender {

// Raster is a page image of width * height RGBA pixels (alpha 255, stride width * 4) in a
// buffer from the platform allocator, so it can be handed to a caller without a copy.
struct Raster {
  struct Free {
    void operator()(uint8_t* p) const { platform::FreeRaster(p); }
  };
  std::unique_ptr<uint8_t, Free> pixels;
  int width = 0;
  int height = 0;
  size_t size = 0;

  // Allocate makes an uninitialised raster; false when the memory cannot be had.
  bool Allocate(int w, int h) {
    size = static_cast<size_t>(w) * static_cast<size_t>(h) * 4;
    pixels.reset(static_cast<uint8_t*>(platform::AllocateRaster(size)));
    width = pixels ? w : 0;
    height = pixels ? h : 0;
    if (!pixels) size = 0;
    return pixels != nullptr;
  }
};

// PageRenderer is one platform's PDF renderer for one document. Every call for a document is
// made on that document's worker thread. Messages are the texts shown to the user.
class PageRenderer {
 public:
  virtual ~PageRenderer() = default;

  // Open loads the document; false with a message for a file the renderer refuses (damaged,
  // not a PDF, password-protected).
  virtual bool Open(const std::string& path, std::string* message) = 0;
  virtual int PageCount() = 0;
  // PageSize gives the page's size as displayed (after its own rotation), in points.
  virtual bool PageSize(int index, float* width, float* height, std::string* message) = 0;
  // Render draws the whole page on white into exactly width x height pixels.
  virtual bool Render(int index, int width, int height, Raster* raster, std::string* message) = 0;
  // EncodeJpeg compresses a raster at a quality of 1 ... 100.
  virtual bool EncodeJpeg(const Raster& raster, int quality, std::vector<uint8_t>* jpeg,
                          std::string* message) = 0;
};

// CreatePageRenderer makes the platform's renderer; defined by the renderer's own file.
std::unique_ptr<PageRenderer> CreatePageRenderer();

}  // namespace vyrender
