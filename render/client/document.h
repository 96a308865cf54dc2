#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vy::Pdf {

// PageRaster is one rendered page: width x height pixels of R, G, B, A bytes (alpha 255), rows
// top to bottom, stride width * 4. The bytes are often the engine's own buffer, taken over
// without a copy: a page is megabytes, and touching fresh memory for a copy would take most of
// a page turn's time. The last owner gives them back.
struct PageRaster {
  int width = 0;
  int height = 0;
  std::shared_ptr<const uint8_t> pixels;

  bool Empty() const { return width <= 0 || height <= 0 || !pixels; }
};

// PageSize is a page's displayed size in points (1/72 inch), after its own rotation.
struct PageSize {
  float width = 0;
  float height = 0;
};

// IDocument is an open PDF document: the page source of the PDF view and the signer. Calls
// block until the page is done; use a document from one thread at a time.
class IDocument {
 public:
  virtual ~IDocument() = default;

  // PageCount is the number of pages, fixed when the document was opened (at least 1).
  virtual int PageCount() const = 0;
  // RenderPage renders page `index` (from 0) at `width` pixels (clamped to 16 ... 6000; the
  // height follows the page). It returns false, with `raster` emptied and a Spanish message,
  // for a page outside the document or when the engine fails.
  virtual bool RenderPage(int index, int width, PageRaster* raster, std::string* message) = 0;
  // SavePageJpg writes page `index` rendered at `width` as a JPEG file at `path`, with a
  // quality of 1 ... 100 (the engine clamps both). An existing file is replaced only by a
  // complete one. It returns false with a message.
  virtual bool SavePageJpg(int index, int width, int quality, const std::string& path,
                           std::string* message) = 0;
  // PageSizes gives the size of every page, in page order. It returns false, with `sizes`
  // emptied and a message, when the sizes cannot be had (an engine without the export).
  virtual bool PageSizes(std::vector<PageSize>* sizes, std::string* message) {
    sizes->clear();
    *message = "El motor no informa el tamano de las hojas.";
    return false;
  }
  // Prefetch asks for page `index` at `width` to be rendered ahead, without waiting, so that
  // the RenderPage that follows is quick. A page source that cannot does nothing.
  virtual void Prefetch(int index, int width) { (void)index, (void)width; }
};

// OpenDocument opens the PDF at `path` through the render engine, which is loaded on first
// use from the program's own folder (then by its bare name) and kept until the process ends.
// It returns null with a Spanish message when the file cannot be read, the engine is missing
// or unsuitable (the same message every time, without loading again), or the engine refuses
// the file.
std::unique_ptr<IDocument> OpenDocument(const std::string& path, std::string* message);

}  // namespace Vy::Pdf
