#include "tests/support/pdf_documents.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <pango/pangocairo.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>

namespace testing_support {

const char* const kContractText =
    "La firma electronica avanzada garantiza la autenticidad e integridad del documento. "
    "El titular del certificado declara haber leido y aceptado el contenido de cada hoja, "
    "incluidas las clausulas sobre plazos, pagos, garantias y resolucion de controversias. "
    "Cualquier modificacion posterior invalida la firma y debe ser advertida por el validador. ";

void DrawParagraph(cairo_t* cr, const std::string& text, const char* font, double x, double y, double width) {
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

bool WritePdf(const std::string& path, double width, double height, int pages,
              const std::function<void(cairo_t*, int page)>& draw) {
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), width, height);
  cairo_t* cr = cairo_create(surface);
  for (int page = 0; page < pages; ++page) {
    draw(cr, page);
    cairo_show_page(cr);
  }
  bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  ok = ok && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

namespace {

void SamplePage(cairo_t* cr, double w, double h, int page) {
  cairo_set_source_rgb(cr, 0.05, 0.1, 0.3);
  DrawParagraph(cr, "Contrato de servicios - hoja " + std::to_string(page + 1), "DejaVu Sans Bold 22", 50, 40,
                w - 100);
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
  std::string body;
  for (int i = 0; i < 2; ++i) body += kContractText;
  DrawParagraph(cr, body, "DejaVu Serif 11", 50, 90, w - 100);
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

}  // namespace

bool WriteSamplePdf(const std::string& path, int pages, double width, double height) {
  return WritePdf(path, width, height, pages,
                  [&](cairo_t* cr, int page) { SamplePage(cr, width, height, page); });
}

bool AppendContentChange(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A page's /Contents is a reference; a signature's is a hex string.
  std::smatch contents, size, root;
  std::regex reference("/Contents (\\d+) 0 R"), sizeKey("/Size (\\d+)"), rootKey("/Root (\\d+ \\d+ R)");
  size_t startxref = file.rfind("startxref");
  if (!std::regex_search(file, contents, reference) || startxref == std::string::npos) return false;
  std::string trailer = file.substr(file.rfind("trailer"));
  if (!std::regex_search(trailer, size, sizeKey) || !std::regex_search(trailer, root, rootKey)) return false;
  const std::string prev = std::to_string(std::stoll(file.substr(startxref + 9)));
  const std::string content = "1 0 0 rg 60 560 220 220 re f";
  char entry[40];
  std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", file.size());
  std::string update = contents[1].str() + " 0 obj\n<< /Length " + std::to_string(content.size()) +
                       " >>\nstream\n" + content + "\nendstream\nendobj\n";
  const size_t xref = file.size() + update.size();
  update += "xref\n" + contents[1].str() + " 1\n" + entry + "trailer\n<< /Size " + size[1].str() + " /Root " +
            root[1].str() + " /Prev " + prev + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << update;
  return static_cast<bool>(out);
}

bool WriteStripPdf(const std::string& path, double width, double height) {
  return WritePdf(path, width, height, 1, [&](cairo_t* cr, int) {
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.8);
    cairo_rectangle(cr, 0, 0, width / 2, height);
    cairo_fill(cr);
  });
}

}  // namespace testing_support
