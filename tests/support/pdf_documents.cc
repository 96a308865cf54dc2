#include "tests/support/pdf_documents.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <jpeglib.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace testing_support {
namespace {

constexpr double kA4Width = 595.28, kA4Height = 841.89;

const char* const kBody =
    "La firma electronica avanzada garantiza la autenticidad e integridad del documento. "
    "El titular del certificado declara haber leido y aceptado el contenido de cada hoja, "
    "incluidas las clausulas sobre plazos, pagos, garantias y resolucion de controversias. "
    "Cualquier modificacion posterior invalida la firma y debe ser advertida por el validador. ";

void Text(cairo_t* cr, const std::string& text, const char* font, double x, double y, double width) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* description = pango_font_description_from_string(font);
  pango_layout_set_font_description(layout, description);
  pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
  pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
  pango_layout_set_text(layout, text.c_str(), -1);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(description);
  g_object_unref(layout);
}

void SamplePage(cairo_t* cr, double w, double h, int page) {
  cairo_set_source_rgb(cr, 0.05, 0.1, 0.3);
  Text(cr, "Contrato de servicios - hoja " + std::to_string(page + 1), "DejaVu Sans Bold 22", 50, 40,
       w - 100);
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  std::string body;
  for (int i = 0; i < 2; ++i) body += kBody;
  Text(cr, body, "DejaVu Serif 11", 50, 90, w - 100);
  // Saturated shapes in all three primaries, so a channel mix-up cannot go unnoticed.
  const double colours[3][3] = {{0.85, 0.1, 0.1}, {0.1, 0.6, 0.2}, {0.1, 0.25, 0.85}};
  for (int i = 0; i < 3; ++i) {
    cairo_set_source_rgb(cr, colours[i][0], colours[i][1], colours[i][2]);
    cairo_rectangle(cr, 50 + i * 170, 300, 150, 110);
    cairo_fill(cr);
  }
  cairo_pattern_t* gradient = cairo_pattern_create_linear(50, 0, w - 50, 0);
  cairo_pattern_add_color_stop_rgb(gradient, 0, 1, 0.8, 0);
  cairo_pattern_add_color_stop_rgb(gradient, 1, 0.5, 0, 0.6);
  cairo_set_source(cr, gradient);
  cairo_arc(cr, w / 2, 520, 80, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 2);
  cairo_move_to(cr, 50, h - 120);
  cairo_curve_to(cr, w / 3, h - 200, 2 * w / 3, h - 40, w - 50, h - 120);
  cairo_stroke(cr);
  // A small image, scaled up, exercises image interpolation.
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 16, 16);
  auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(image));
  int stride = cairo_image_surface_get_stride(image) / 4;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) data[y * stride + x] = ((x * 16) << 16) | ((y * 16) << 8) | (255 - x * 8);
  cairo_surface_mark_dirty(image);
  cairo_save(cr);
  cairo_translate(cr, 50, 620);
  cairo_scale(cr, 6, 6);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(image);
}

void TextPage(cairo_t* cr, double w, int page) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  std::string body = "Hoja " + std::to_string(page + 1) + ". ";
  for (int i = 0; i < 16; ++i) body += kBody;
  Text(cr, body, "DejaVu Serif 10", 56, 56, w - 112);
}

// VectorPage is drawn like a map: thousands of thin opaque polylines and small filled shapes.
void VectorPage(cairo_t* cr, double w, double h, int page) {
  std::mt19937 random(1000 + page);
  std::uniform_real_distribution<double> x(0, w), y(0, h), unit(0, 1), step(-6, 6);
  cairo_set_line_width(cr, 0.4);
  for (int line = 0; line < 400; ++line) {
    cairo_set_source_rgb(cr, unit(random) * 0.6, unit(random) * 0.6, unit(random) * 0.8);
    double px = x(random), py = y(random);
    cairo_move_to(cr, px, py);
    for (int i = 0; i < 60; ++i) cairo_line_to(cr, px += step(random), py += step(random));
    cairo_stroke(cr);
  }
  for (int shape = 0; shape < 600; ++shape) {
    cairo_set_source_rgb(cr, 0.5 + unit(random) / 2, 0.5 + unit(random) / 2, unit(random));
    double px = x(random), py = y(random);
    cairo_move_to(cr, px, py);
    for (int i = 0; i < 6; ++i) cairo_line_to(cr, px + 2 * step(random), py + 2 * step(random));
    cairo_close_path(cr);
    cairo_fill(cr);
  }
}

// ScanJpeg makes a 300 dpi A4 "scan": paper with grain, dark lines of text-like marks.
std::vector<unsigned char> ScanJpeg(int page, int width, int height) {
  std::mt19937 random(page);
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  for (int yy = 0; yy < height; ++yy) {
    bool line = (yy / 40) % 2 == 1 && yy > 200 && yy < height - 200;
    for (int xx = 0; xx < width; ++xx) {
      int base = 226 + static_cast<int>(random() % 26);
      if (line && xx > 150 && xx < width - 150 && (xx / 23 + yy / 40 + page) % 5 != 0)
        base -= 150 + random() % 40;
      unsigned char* p = &rgb[(static_cast<size_t>(yy) * width + xx) * 3];
      p[0] = static_cast<unsigned char>(base);
      p[1] = static_cast<unsigned char>(base - 3);
      p[2] = static_cast<unsigned char>(base - 10);
    }
  }
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 85, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = &rgb[static_cast<size_t>(cinfo.next_scanline) * width * 3];
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<unsigned char> jpeg(out, out + size);
  std::free(out);
  return jpeg;
}

void ScannedPage(cairo_t* cr, double w, double h, int page) {
  const int width = 2480, height = 3508;
  auto* jpeg = new std::vector<unsigned char>(ScanJpeg(page, width, height));
  // Cairo's PDF backend embeds JPEG mime data as it is; the surface's own pixels stay blank.
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_surface_set_mime_data(
      image, CAIRO_MIME_TYPE_JPEG, jpeg->data(), jpeg->size(),
      [](void* p) { delete static_cast<std::vector<unsigned char>*>(p); }, jpeg);
  cairo_save(cr);
  cairo_scale(cr, w / width, h / height);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(image);
}

}  // namespace

bool WritePdf(PdfKind kind, const std::string& path, int pages) {
  double w = kA4Width, h = kA4Height;
  if (kind == PdfKind::kA3Landscape) w = 1190.55, h = 841.89;
  if (kind == PdfKind::kWidePage) w = 10000, h = 10;
  if (kind == PdfKind::kTallPage) w = 10, h = 14400;
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), w, h);
  cairo_t* cr = cairo_create(surface);
  for (int page = 0; page < pages; ++page) {
    switch (kind) {
      case PdfKind::kSample:
      case PdfKind::kA3Landscape: SamplePage(cr, w, h, page); break;
      case PdfKind::kWidePage:
      case PdfKind::kTallPage:
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.8);
        cairo_rectangle(cr, 0, 0, w / 2, h);
        cairo_fill(cr);
        break;
      case PdfKind::kText: TextPage(cr, w, page); break;
      case PdfKind::kVector: VectorPage(cr, w, h, page); break;
      case PdfKind::kScanned: ScannedPage(cr, w, h, page); break;
    }
    cairo_show_page(cr);
  }
  bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  ok = ok && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace testing_support
