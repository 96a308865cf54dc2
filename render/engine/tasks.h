#pragma once

#include <string>

#include "render/engine/engine_document.h"

// The three tasks a document's worker runs. Each returns success, or false with the message
// for the caller (empty when the caller's generic message should stand).
namespace vyrender {

inline constexpr int kMinWidth = 16;
inline constexpr int kMaxWidth = 6000;
// A page tall enough to need more pixels than this at the asked width is refused rather than
// allowed to exhaust memory: 64 Mpx still holds an A4 page at the widest width.
inline constexpr long kMaxPixels = 64L * 1024 * 1024;

// TargetHeight follows the page's aspect ratio, taken in single precision, at least 1.
long TargetHeight(float pageWidth, float pageHeight, int width);

// OpenTask loads the file and stores its page count in the document.
bool OpenTask(EngineDocument& document, const std::string& path, std::string* message);
// RenderTask renders page `index` at `width` (already clamped) into `raster`, or hands over the
// prefetched raster of that page and width.
bool RenderTask(EngineDocument& document, int index, int width, Raster* raster, std::string* message);
// PageSizesTask reads the displayed size of `count` pages from `first` into `sizes`.
bool PageSizesTask(EngineDocument& document, int first, int count, float* sizes, std::string* message);
// PrefetchTask renders page `index` at `width` and keeps the raster for RenderTask, unless it is
// kept already or a caller waits for the worker.
void PrefetchTask(EngineDocument& document, int index, int width);
// JpegTask renders the page and writes it as a JPEG file at `path`, quality clamped to 1 ... 100.
bool JpegTask(EngineDocument& document, int index, int width, int quality, const std::string& path,
              std::string* message);

}  // namespace vyrender
