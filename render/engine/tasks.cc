#include "render/engine/tasks.h"

#include <algorithm>
#include <cmath>

namespace vyrender {

long TargetHeight(float pageWidth, float pageHeight, int width) {
  float ratio = pageHeight / pageWidth;
  return std::max(std::lround(static_cast<double>(ratio) * width), 1L);
}

bool OpenTask(EngineDocument& document, const std::string& path, std::string* message) {
  PageRenderer& renderer = document.Renderer();
  if (!renderer.Open(path, message)) return false;
  int count = renderer.PageCount();
  if (count <= 0) {
    *message = "El PDF no tiene hojas.";
    return false;
  }
  document.SetPageCount(count);
  return true;
}

namespace {

bool RenderNow(EngineDocument& document, int index, int width, Raster* raster, std::string* message) {
  PageRenderer& renderer = document.Renderer();
  float pageWidth = 0, pageHeight = 0;
  if (!renderer.PageSize(index, &pageWidth, &pageHeight, message)) return false;
  if (!(pageWidth > 0) || !(pageHeight > 0)) {
    *message = "La hoja no tiene tamano valido.";
    return false;
  }
  long height = TargetHeight(pageWidth, pageHeight, width);
  if (height > kMaxPixels / width) {
    *message = "La hoja es demasiado grande para rasterizarla a este ancho.";
    return false;
  }
  if (!renderer.Render(index, width, static_cast<int>(height), raster, message)) return false;
  if (!raster->pixels || raster->width != width || raster->height != height ||
      raster->size != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
    *raster = Raster{};
    *message = "El raster de la hoja viene corrupto.";
    return false;
  }
  return true;
}

}  // namespace

bool RenderTask(EngineDocument& document, int index, int width, Raster* raster, std::string* message) {
  if (document.TakePrefetched(index, width, raster)) return true;
  return RenderNow(document, index, width, raster, message);
}

void PrefetchTask(EngineDocument& document, int index, int width) {
  if (document.HasPrefetched(index, width) || document.CallerWaiting() || document.IsStopping()) return;
  Raster raster;
  std::string message;
  if (RenderNow(document, index, width, &raster, &message))
    document.KeepPrefetched(index, width, std::move(raster));
}

bool PageSizesTask(EngineDocument& document, int first, int count, float* sizes, std::string* message) {
  for (int i = 0; i < count; ++i) {
    float* size = sizes + 2 * static_cast<size_t>(i);
    if (!document.Renderer().PageSize(first + i, &size[0], &size[1], message)) return false;
    if (!(size[0] > 0) || !(size[1] > 0)) {
      *message = "La hoja no tiene tamano valido.";
      return false;
    }
  }
  return true;
}

bool JpegTask(EngineDocument& document, int index, int width, int quality, const std::string& path,
              std::string* message) {
  Raster raster;
  if (!RenderTask(document, index, width, &raster, message)) return false;
  std::vector<uint8_t> jpeg;
  if (!document.Renderer().EncodeJpeg(raster, std::clamp(quality, 1, 100), &jpeg, message)) return false;
  raster = Raster{};  // the page's pixels are not needed while the file is written
  switch (platform::WriteFileReplacing(path, jpeg.data(), jpeg.size())) {
    case platform::WriteResult::kOk: return true;
    case platform::WriteResult::kCreateFailed: *message = "No se pudo crear el archivo JPG."; return false;
    case platform::WriteResult::kWriteFailed: *message = "No se pudo escribir el archivo JPG."; return false;
  }
  return false;
}

}  // namespace vyrender
