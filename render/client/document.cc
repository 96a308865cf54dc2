#include "render/client/document.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "core/dynlib.h"
#include "core/platform_names.h"
#include "render/client/engine_location.h"
#include "render/engine/vyrender.h"

namespace Vy::Pdf {
namespace {

constexpr int kMessageSize = 512;

// EngineBinding is the render engine loaded once per process and kept loaded; a failed load
// keeps its message and is not tried again.
struct EngineBinding {
  DynamicLibrary library;
  std::string loadMessage;
  VyPdfApiVersionFn apiVersion = nullptr;
  VyPdfOpenFn open = nullptr;
  VyPdfCloseFn close = nullptr;
  VyPdfRenderPageFn renderPage = nullptr;
  VyPdfFreeFn free = nullptr;
  VyPdfSavePageJpgFn savePageJpg = nullptr;
  VyPdfPageSizesFn pageSizes = nullptr;
  VyPdfPrefetchPageFn prefetchPage = nullptr;

  bool Ready() const { return library.IsOpen(); }

  static EngineBinding& Get() {
    static EngineBinding binding = Load();
    return binding;
  }

 private:
  static EngineBinding Load() {
    EngineBinding b;
    const std::string name = platform::kRenderLibrary;
    for (const std::string& candidate : EngineCandidates()) {
      if (b.library.Open(candidate)) break;
    }
    if (!b.library.IsOpen()) {
      b.loadMessage = "No se encontro " + name + kEngineMissingEnd;
      return b;
    }
    b.library.Bind("VyPdf_ApiVersion", &b.apiVersion);      // optional
    b.library.Bind("VyPdf_SavePageJpg", &b.savePageJpg);    // optional
    b.library.Bind("VyPdf_PageSizes", &b.pageSizes);        // optional, later than the first six
    b.library.Bind("VyPdf_PrefetchPage", &b.prefetchPage);  // optional, likewise
    b.library.Bind("VyPdf_Open", &b.open);
    b.library.Bind("VyPdf_Close", &b.close);
    b.library.Bind("VyPdf_RenderPage", &b.renderPage);
    b.library.Bind("VyPdf_Free", &b.free);
    if (!b.open || !b.close || !b.renderPage || !b.free) {
      b.Unbind(name + " incompleta (faltan exportaciones).");
    } else if (b.apiVersion && b.apiVersion() != VYPDF_ABI_VERSION) {
      b.Unbind(name + " con una version inesperada del ABI.");
    }
    return b;
  }

  void Unbind(const std::string& message) {
    loadMessage = message;
    library.Close();
    apiVersion = nullptr, open = nullptr, close = nullptr, renderPage = nullptr, free = nullptr;
    savePageJpg = nullptr, pageSizes = nullptr, prefetchPage = nullptr;
  }
};

std::string OutOfRange(int index) {
  return "Pagina fuera de rango (" + std::to_string(static_cast<long long>(index) + 1) + ").";
}

// WinRtDocument is a document opened by the render engine; it closes the engine's handle.
class WinRtDocument final : public IDocument {
 public:
  WinRtDocument(VyPdfDocument* handle, int pageCount) : handle_(handle), pageCount_(pageCount) {}
  ~WinRtDocument() override {
    EngineBinding& engine = EngineBinding::Get();
    if (handle_ && engine.close) engine.close(handle_);
  }

  int PageCount() const override { return pageCount_; }

  bool RenderPage(int index, int width, PageRaster* raster, std::string* message) override {
    *raster = PageRaster{};
    if (index < 0 || index >= pageCount_) return Fail(message, OutOfRange(index));
    EngineBinding& engine = EngineBinding::Get();
    if (!engine.renderPage || !handle_) return Fail(message, engine.loadMessage);
    width = std::clamp(width, 16, 6000);
    unsigned char* pixels = nullptr;
    int pixelWidth = 0, pixelHeight = 0;
    char text[kMessageSize] = {};
    if (engine.renderPage(handle_, index, width, &pixels, &pixelWidth, &pixelHeight, text, kMessageSize) &&
        pixels) {
      if (pixelWidth <= 0 || pixelHeight <= 0) {
        engine.free(pixels);
        return Fail(message, "El motor devolvio una hoja vacia.");
      }
      raster->width = pixelWidth;
      raster->height = pixelHeight;
      raster->pixels.reset(pixels,
                           [release = engine.free](const uint8_t* p) { release(const_cast<uint8_t*>(p)); });
      return true;
    }
    return Fail(message, *text ? text : "No se pudo rasterizar la hoja.");
  }

  bool SavePageJpg(int index, int width, int quality, const std::string& path,
                   std::string* message) override {
    if (index < 0 || index >= pageCount_) return Fail(message, OutOfRange(index));
    if (!handle_) return Fail(message, "Documento no abierto.");
    if (path.empty()) return Fail(message, "Ruta de destino vacia.");
    EngineBinding& engine = EngineBinding::Get();
    if (!engine.savePageJpg)
      return Fail(message, std::string(platform::kRenderLibrary) + " no exporta VyPdf_SavePageJpg.");
    char text[kMessageSize] = {};
    if (engine.savePageJpg(handle_, index, width, quality, path.c_str(), text, kMessageSize)) return true;
    return Fail(message, *text ? text : "No se pudo exportar la hoja.");
  }

  bool PageSizes(std::vector<PageSize>* sizes, std::string* message) override {
    EngineBinding& engine = EngineBinding::Get();
    if (!engine.pageSizes || !handle_) return IDocument::PageSizes(sizes, message);
    std::vector<float> pairs(static_cast<size_t>(pageCount_) * 2);
    char text[kMessageSize] = {};
    sizes->clear();
    if (!engine.pageSizes(handle_, 0, pageCount_, pairs.data(), text, kMessageSize))
      return Fail(message, *text ? text : "No se pudo leer la hoja.");
    for (size_t i = 0; i < pairs.size(); i += 2) sizes->push_back({pairs[i], pairs[i + 1]});
    return true;
  }

  void Prefetch(int index, int width) override {
    EngineBinding& engine = EngineBinding::Get();
    if (engine.prefetchPage && handle_ && index >= 0 && index < pageCount_)
      engine.prefetchPage(handle_, index, std::clamp(width, 16, 6000));
  }

 private:
  static bool Fail(std::string* message, const std::string& text) {
    *message = text;
    return false;
  }

  VyPdfDocument* handle_;
  int pageCount_;
};

// IsReadableFile accepts a regular file that opens for reading. Pipes and devices are refused
// before anything opens them, so a mistaken path can never block the program.
bool IsReadableFile(const std::string& path) {
  std::error_code error;
  std::filesystem::path file(std::u8string(path.begin(), path.end()));
  if (!std::filesystem::is_regular_file(file, error)) return false;
  std::ifstream in(file, std::ios::binary);
  return in.is_open();
}

}  // namespace

std::unique_ptr<IDocument> OpenDocument(const std::string& path, std::string* message) {
  message->clear();
  if (path.empty() || !IsReadableFile(path)) {
    *message = "No se encuentra el archivo PDF.";
    return nullptr;
  }
  EngineBinding& engine = EngineBinding::Get();
  if (!engine.Ready()) {
    *message = engine.loadMessage;
    return nullptr;
  }
  int pageCount = 0;
  char text[kMessageSize] = {};
  VyPdfDocument* handle = engine.open(path.c_str(), &pageCount, text, kMessageSize);
  if (handle && pageCount > 0) return std::make_unique<WinRtDocument>(handle, pageCount);
  if (handle) {
    engine.close(handle);
    *message = "El PDF no tiene hojas.";
  } else if (*text) {
    *message = text;
  } else if (!engine.loadMessage.empty()) {
    *message = engine.loadMessage;
  } else {
    *message = "No se pudo abrir el PDF.";
  }
  return nullptr;
}

}  // namespace Vy::Pdf
