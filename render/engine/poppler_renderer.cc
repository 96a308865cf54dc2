// The page renderer on Poppler's C++ interface (Splash, antialiased) with JPEG through libjpeg.
#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-image.h>
#include <poppler-page-renderer.h>
#include <poppler-page.h>

#include <mutex>

#include "render/engine/jpeg_encoder.h"
#include "render/engine/page_renderer.h"

namespace vyrender {
namespace {

// Poppler reports through one process-wide function. Each worker collects what Poppler says
// while it works on its own document, so messages of parallel documents never mix.
thread_local std::string* popplerSink = nullptr;

// Poppler speaks English; what it says about a damaged file reaches the user in Spanish, and
// anything else is left out rather than shown untranslated.
struct KnownMessage {
  const char* poppler;  // how the message begins
  const char* spanish;
};
constexpr KnownMessage kKnownMessages[] = {
    {"Couldn't read xref table", "no se pudo leer la tabla de referencias cruzadas"},
    {"Couldn't find trailer dictionary", "no se encontro el diccionario final (trailer)"},
    {"May not be a PDF file", "no parece un archivo PDF"},
    {"PDF file is damaged", "el archivo esta danado"},
    {"Invalid XRef entry", "una referencia cruzada no es valida"},
    {"Failed to parse XRef entry", "una referencia cruzada no es valida"},
    {"Top-level pages object is wrong type", "el arbol de paginas no es valido"},
    {"Catalog object is wrong type", "el catalogo del documento no es valido"},
    {"Couldn't open file", "no se pudo abrir el archivo"},
    {"Unsupported version", "la version del PDF no se admite"},
    {"Illegal character", "hay un caracter no valido en el archivo"},
    {"Unterminated string", "hay una cadena sin terminar"},
};

void CollectPopplerMessage(const std::string& text, void*) {
  if (!popplerSink) return;
  // The last known message names the final cause.
  for (const KnownMessage& known : kKnownMessages) {
    if (text.find(known.poppler) != std::string::npos) *popplerSink = known.spanish;
  }
}

class PopplerMessages {
 public:
  PopplerMessages() : previous_(popplerSink) {
    static std::once_flag installed;
    std::call_once(installed, [] { poppler::set_debug_error_function(CollectPopplerMessage, nullptr); });
    popplerSink = &last_;
  }
  ~PopplerMessages() { popplerSink = previous_; }
  PopplerMessages(const PopplerMessages&) = delete;
  PopplerMessages& operator=(const PopplerMessages&) = delete;

  // With ends our sentence (given without its full stop) with what Poppler last said of the
  // file, when that is one of its known messages.
  std::string With(const std::string& sentence) const {
    return last_.empty() ? sentence + "." : sentence + " (" + last_ + ").";
  }

 private:
  std::string* previous_;
  std::string last_;
};

class PopplerRenderer final : public PageRenderer {
 public:
  bool Open(const std::string& path, std::string* message) override {
    PopplerMessages poppler;
    document_.reset(poppler::document::load_from_file(path));
    if (!document_) {
      *message = poppler.With("El archivo no es un PDF valido o esta danado");
      return false;
    }
    if (document_->is_locked()) {
      document_.reset();
      *message = "El PDF esta protegido con contrasena.";
      return false;
    }
    return true;
  }

  int PageCount() override { return document_ ? document_->pages() : 0; }

  bool PageSize(int index, float* width, float* height, std::string* message) override {
    PopplerMessages poppler;
    std::unique_ptr<poppler::page> page = Page(index);
    if (!page) {
      *message = poppler.With("No se pudo leer la hoja");
      return false;
    }
    DisplayedSize(*page, width, height);
    return true;
  }

  bool Render(int index, int width, int height, Raster* raster, std::string* message) override {
    PopplerMessages poppler;
    std::unique_ptr<poppler::page> page = Page(index);
    if (!page) {
      *message = poppler.With("No se pudo leer la hoja");
      return false;
    }
    float pageWidth = 0, pageHeight = 0;
    DisplayedSize(*page, &pageWidth, &pageHeight);
    poppler::page_renderer renderer;
    renderer.set_render_hints(poppler::page_renderer::antialiasing |
                              poppler::page_renderer::text_antialiasing);
    renderer.set_paper_color(0xFFFFFFFF);
    // RGB24 renders in Splash's RGB8 mode, measurably cheaper than its 32-bit mode.
    renderer.set_image_format(poppler::image::format_rgb24);
    // Resolutions that map the displayed page exactly onto width x height pixels.
    double xres = 72.0 * width / pageWidth;
    double yres = 72.0 * height / pageHeight;
    poppler::image image = renderer.render_page(page.get(), xres, yres, 0, 0, width, height);
    if (!image.is_valid() || image.format() != poppler::image::format_rgb24) {
      *message = poppler.With("No se pudo rasterizar la hoja");
      return false;
    }
    if (!raster->Allocate(image.width(), image.height())) {
      *message = "Sin memoria.";
      return false;
    }
    // Rows of R, G, B bytes, each row padded to bytes_per_row.
    const auto* rows = reinterpret_cast<const uint8_t*>(image.const_data());
    const size_t rowBytes = static_cast<size_t>(image.bytes_per_row());
    uint8_t* out = raster->pixels.get();
    for (int y = 0; y < image.height(); ++y) {
      const uint8_t* in = rows + y * rowBytes;
      for (int x = 0; x < image.width(); ++x, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = 255;
      }
    }
    return true;
  }

  bool EncodeJpeg(const Raster& raster, int quality, std::vector<uint8_t>* jpeg,
                  std::string* message) override {
    return vyrender::EncodeJpeg(raster.pixels.get(), raster.width, raster.height, quality, jpeg, message);
  }

 private:
  // DisplayedSize is the crop box (what viewers show) turned by the page's own rotation.
  static void DisplayedSize(const poppler::page& page, float* width, float* height) {
    poppler::rectf box = page.page_rect(poppler::crop_box);
    bool quarterTurn =
        page.orientation() == poppler::page::landscape || page.orientation() == poppler::page::seascape;
    *width = static_cast<float>(quarterTurn ? box.height() : box.width());
    *height = static_cast<float>(quarterTurn ? box.width() : box.height());
  }

  std::unique_ptr<poppler::page> Page(int index) {
    if (!document_ || index < 0 || index >= document_->pages()) return nullptr;
    return std::unique_ptr<poppler::page>(document_->create_page(index));
  }

  std::unique_ptr<poppler::document> document_;
};

}  // namespace

std::unique_ptr<PageRenderer> CreatePageRenderer() {
  return std::make_unique<PopplerRenderer>();
}

}  // namespace vyrender
