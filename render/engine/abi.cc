// The exports: argument checks in a fixed order, then one task on the document's worker.
// Every export catches everything, so nothing thrown inside crosses the C interface.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "render/engine/tasks.h"
#include "render/engine/vyrender.h"

struct VyPdfDocument {
  vyrender::EngineDocument engine;
};

namespace {

using vyrender::EngineDocument;

// MessageBuffer is the caller's buffer: cleared on entry, filled once on failure.
class MessageBuffer {
 public:
  MessageBuffer(char* buffer, int size) : buffer_(size > 0 ? buffer : nullptr), size_(size) {
    if (buffer_) buffer_[0] = 0;
  }
  // Fail copies at most size - 1 bytes of the text, cut byte-wise, and a NUL. It returns the
  // exports' failure result, 0.
  int Fail(const std::string& text) const {
    if (!buffer_) return 0;
    size_t n = std::min(text.size(), static_cast<size_t>(size_ - 1));
    std::memcpy(buffer_, text.data(), n);
    buffer_[n] = 0;
    return 0;
  }
  int Fail(const std::string& text, const char* fallback) const {
    return Fail(text.empty() ? fallback : text);
  }

 private:
  char* buffer_;
  int size_;
};

int ClampWidth(int width) {
  return std::clamp(width, vyrender::kMinWidth, vyrender::kMaxWidth);
}

bool PageInRange(VyPdfDocument* document, int index) {
  return index >= 0 && index < document->engine.PageCount();
}

// Guarded runs an export's body; an escaping exception is reported as a failure. Only memory
// can run out on the caller's thread (the tasks' own exceptions stay in their completions).
template <typename Body, typename Result>
Result Guarded(const MessageBuffer& message, Result failure, Body body) {
  try {
    return body();
  } catch (...) {
    message.Fail("Sin memoria.");
    return failure;
  }
}

}  // namespace

extern "C" {

VYPDF_API int VYPDF_CALL VyPdf_ApiVersion(void) {
  return VYPDF_ABI_VERSION;
}

VYPDF_API VyPdfDocument* VYPDF_CALL VyPdf_Open(const char* path, int* pageCount, char* messageBuffer,
                                               int messageSize) {
  MessageBuffer message(messageBuffer, messageSize);
  if (pageCount) *pageCount = 0;
  return Guarded(message, static_cast<VyPdfDocument*>(nullptr), [&]() -> VyPdfDocument* {
    if (!path || !*path) {
      message.Fail("Ruta de archivo vacia.");
      return nullptr;
    }
    std::string file(path);
    if (!vyrender::platform::IsReadableFile(file)) {
      message.Fail("No se encuentra el archivo PDF.");
      return nullptr;
    }
    std::unique_ptr<VyPdfDocument> document(
        new (std::nothrow) VyPdfDocument{EngineDocument(vyrender::CreatePageRenderer())});
    if (!document) {
      message.Fail("Sin memoria.");
      return nullptr;
    }
    if (!document->engine.Start()) {
      message.Fail("No se pudo crear el hilo del motor PDF.");
      return nullptr;
    }
    bool ok = false;
    std::string text;
    document->engine.RunOnWorker([&] { ok = vyrender::OpenTask(document->engine, file, &text); });
    if (!ok) {
      message.Fail(text, "No se pudo abrir el PDF.");
      return nullptr;  // the record's destructor stops and joins the worker
    }
    if (pageCount) *pageCount = document->engine.PageCount();
    return document.release();
  });
}

VYPDF_API void VYPDF_CALL VyPdf_Close(VyPdfDocument* document) {
  delete document;
}

VYPDF_API void VYPDF_CALL VyPdf_Free(void* buffer) {
  vyrender::platform::FreeRaster(buffer);
}

VYPDF_API int VYPDF_CALL VyPdf_RenderPage(VyPdfDocument* document, int pageIndex, int width,
                                          unsigned char** pixels, int* pixelWidth, int* pixelHeight,
                                          char* messageBuffer, int messageSize) {
  MessageBuffer message(messageBuffer, messageSize);
  if (pixels) *pixels = nullptr;
  if (pixelWidth) *pixelWidth = 0;
  if (pixelHeight) *pixelHeight = 0;
  return Guarded(message, 0, [&] {
    if (!document) return message.Fail("Documento no abierto.");
    if (!pixels || !pixelWidth || !pixelHeight) return message.Fail("Argumentos nulos.");
    if (!PageInRange(document, pageIndex)) return message.Fail("Pagina fuera de rango.");
    width = ClampWidth(width);
    bool ok = false;
    std::string text;
    vyrender::Raster raster;
    // A page rendered ahead is handed over at once; otherwise the worker renders it, or takes
    // it from a prefetch that was still running.
    ok = document->engine.TakePrefetched(pageIndex, width, &raster);
    if (!ok) {
      document->engine.RunOnWorker(
          [&] { ok = vyrender::RenderTask(document->engine, pageIndex, width, &raster, &text); });
    }
    if (!ok || raster.size == 0) return message.Fail(text, "No se pudo rasterizar la hoja.");
    *pixelWidth = raster.width;
    *pixelHeight = raster.height;
    *pixels = raster.pixels.release();
    return 1;
  });
}

VYPDF_API int VYPDF_CALL VyPdf_SavePageJpg(VyPdfDocument* document, int pageIndex, int width, int quality,
                                           const char* destination, char* messageBuffer, int messageSize) {
  MessageBuffer message(messageBuffer, messageSize);
  return Guarded(message, 0, [&] {
    if (!document) return message.Fail("Documento no abierto.");
    if (!destination || !*destination) return message.Fail("Ruta de destino vacia.");
    if (!PageInRange(document, pageIndex)) return message.Fail("Pagina fuera de rango.");
    width = ClampWidth(width);
    bool ok = false;
    std::string text;
    std::string path(destination);
    document->engine.RunOnWorker(
        [&] { ok = vyrender::JpegTask(document->engine, pageIndex, width, quality, path, &text); });
    return ok ? 1 : message.Fail(text, "No se pudo exportar la hoja.");
  });
}

VYPDF_API int VYPDF_CALL VyPdf_PageSizes(VyPdfDocument* document, int firstPage, int count, float* sizes,
                                         char* messageBuffer, int messageSize) {
  MessageBuffer message(messageBuffer, messageSize);
  return Guarded(message, 0, [&] {
    if (!document) return message.Fail("Documento no abierto.");
    if (!sizes) return message.Fail("Argumentos nulos.");
    if (count < 1 || !PageInRange(document, firstPage) || count > document->engine.PageCount() - firstPage)
      return message.Fail("Pagina fuera de rango.");
    bool ok = false;
    std::string text;
    document->engine.RunOnWorker(
        [&] { ok = vyrender::PageSizesTask(document->engine, firstPage, count, sizes, &text); });
    return ok ? 1 : message.Fail(text, "No se pudo leer la hoja.");
  });
}

VYPDF_API int VYPDF_CALL VyPdf_PrefetchPage(VyPdfDocument* document, int pageIndex, int width) {
  MessageBuffer message(nullptr, 0);
  return Guarded(message, 0, [&] {
    if (!document || !PageInRange(document, pageIndex)) return 0;
    width = ClampWidth(width);
    vyrender::EngineDocument* engine = &document->engine;
    engine->PostToWorker([engine, pageIndex, width] { vyrender::PrefetchTask(*engine, pageIndex, width); });
    return 1;
  });
}

}  // extern "C"
