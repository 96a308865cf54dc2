// draw_assets writes the program's two pictures, logo.png and dni.png, into a folder; the
// build runs it, so no image is committed or taken from elsewhere.
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
  cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
}

bool Save(cairo_surface_t* surface, const std::string& path) {
  bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  if (!ok) std::fprintf(stderr, "draw_assets: no se pudo escribir %s\n", path.c_str());
  cairo_surface_destroy(surface);
  return ok;
}

// The logo: a ballot box with a tick on a blue rounded square, drawn at twice its shown size.
bool DrawLogo(const std::string& path) {
  const int size = 88;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, size);
  cairo_pattern_add_color_stop_rgb(sky, 0, 0.05, 0.47, 0.82);
  cairo_pattern_add_color_stop_rgb(sky, 1, 0.00, 0.28, 0.58);
  RoundedRect(cr, 0, 0, size, size, 16);
  cairo_set_source(cr, sky);
  cairo_fill(cr);
  cairo_pattern_destroy(sky);
  // The box and its slot.
  cairo_set_source_rgb(cr, 1, 1, 1);
  RoundedRect(cr, 16, 42, 56, 32, 4);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.00, 0.28, 0.58);
  cairo_rectangle(cr, 30, 48, 28, 4);
  cairo_fill(cr);
  // The ballot going in, with a tick.
  cairo_set_source_rgb(cr, 0.98, 0.80, 0.20);
  cairo_rectangle(cr, 32, 14, 24, 34);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.00, 0.28, 0.58);
  cairo_set_line_width(cr, 4);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_move_to(cr, 37, 30);
  cairo_line_to(cr, 43, 37);
  cairo_line_to(cr, 52, 22);
  cairo_stroke(cr);
  cairo_destroy(cr);
  return Save(surface, path);
}

// The card: an identity card seen from the front, with chip, photo and text lines.
bool DrawCard(const std::string& path) {
  const int w = 564, h = 322;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_pattern_t* face = cairo_pattern_create_linear(0, 0, w, h);
  cairo_pattern_add_color_stop_rgb(face, 0, 0.86, 0.91, 0.96);
  cairo_pattern_add_color_stop_rgb(face, 1, 0.72, 0.80, 0.89);
  RoundedRect(cr, 8, 8, w - 16, h - 16, 26);
  cairo_set_source(cr, face);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(face);
  cairo_set_source_rgb(cr, 0.45, 0.55, 0.67);
  cairo_set_line_width(cr, 3);
  cairo_stroke(cr);
  // Heading band.
  cairo_set_source_rgb(cr, 0.05, 0.23, 0.45);
  cairo_rectangle(cr, 8, 40, w - 16, 40);
  cairo_fill(cr);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 22);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_move_to(cr, 32, 68);
  cairo_show_text(cr, "DOCUMENTO NACIONAL DE IDENTIDAD");
  // Chip.
  RoundedRect(cr, 40, 120, 76, 58, 9);
  cairo_set_source_rgb(cr, 0.86, 0.70, 0.30);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0.60, 0.46, 0.15);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  for (double y : {139.0, 159.0}) {
    cairo_move_to(cr, 40, y);
    cairo_line_to(cr, 116, y);
  }
  cairo_move_to(cr, 78, 120);
  cairo_line_to(cr, 78, 178);
  cairo_stroke(cr);
  // Photo: a head and shoulders.
  RoundedRect(cr, 420, 100, 110, 140, 10);
  cairo_set_source_rgb(cr, 0.95, 0.97, 0.99);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.55, 0.63, 0.73);
  cairo_arc(cr, 475, 150, 26, 0, 2 * M_PI);
  cairo_fill(cr);
  cairo_arc(cr, 475, 232, 46, M_PI, 2 * M_PI);
  cairo_fill(cr);
  // Text lines.
  cairo_set_source_rgb(cr, 0.30, 0.38, 0.48);
  for (int i = 0; i < 4; ++i) {
    RoundedRect(cr, 150, 118 + i * 30, i % 2 ? 170 : 230, 12, 6);
    cairo_fill(cr);
  }
  cairo_set_font_size(cr, 40);
  cairo_set_source_rgb(cr, 0.05, 0.23, 0.45);
  cairo_move_to(cr, 40, 280);
  cairo_show_text(cr, "DNIe");
  cairo_destroy(cr);
  return Save(surface, path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "uso: draw_assets CARPETA\n");
    return 2;
  }
  const std::string folder = argv[1];
  return DrawLogo(folder + "/logo.png") && DrawCard(folder + "/dni.png") ? 0 : 1;
}
