#include "toolkit/cairo/cairo_canvas.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "toolkit/style.h"

namespace Vy {

std::string MapFontconfigFamily(std::string_view family) {
  if (family.empty() || family == "system" || family == "default" || family == "sans-serif" ||
      family == "Segoe UI" || family == "MS Shell Dlg 2") {
    return "sans-serif";
  }
  if (family == "monospace" || family == "mono" || family == "Courier New" || family == "Consolas") {
    return "monospace";
  }
  if (family == "serif" || family == "Times New Roman") return "serif";
  return std::string(family);
}
namespace {

void SetColor(cairo_t* cr, Color c) {
  cairo_set_source_rgba(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0, c.a / 255.0);
}

// RoundRectPath adds a closed path of four quarter arcs of radius r.
void RoundRectPath(cairo_t* cr, double x, double y, double w, double h, double r) {
  constexpr double kPi = std::numbers::pi;
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + r, y + r, r, kPi, 1.5 * kPi);
  cairo_arc(cr, x + w - r, y + r, r, 1.5 * kPi, 2 * kPi);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, 0.5 * kPi);
  cairo_arc(cr, x + r, y + h - r, r, 0.5 * kPi, kPi);
  cairo_close_path(cr);
}

// StrokeInsetRect strokes a rectangle so that the pen stays inside `rect`.
void StrokeInsetRect(cairo_t* cr, const Rect& rect, double width) {
  if (rect.width <= width || rect.height <= width) {
    cairo_rectangle(cr, rect.x, rect.y, rect.width, rect.height);
    cairo_fill(cr);
    return;
  }
  double h = width / 2;
  cairo_rectangle(cr, rect.x + h, rect.y + h, rect.width - width, rect.height - width);
  cairo_set_line_width(cr, width);
  cairo_stroke(cr);
}

void EllipsePath(cairo_t* cr, double x, double y, double w, double h) {
  cairo_save(cr);
  cairo_translate(cr, x + w / 2, y + h / 2);
  cairo_scale(cr, w / 2, h / 2);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * std::numbers::pi);
  cairo_restore(cr);
}

// DrawSurfaceScaled paints the whole of `image` into `dest` with a good filter; the edges are
// padded so that scaling does not fade them.
bool DrawSurfaceScaled(cairo_t* cr, cairo_surface_t* image, int width, int height, const Rect& dest) {
  cairo_save(cr);
  cairo_rectangle(cr, dest.x, dest.y, dest.width, dest.height);
  cairo_clip(cr);
  cairo_translate(cr, dest.x, dest.y);
  cairo_scale(cr, static_cast<double>(dest.width) / width, static_cast<double>(dest.height) / height);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_pattern_t* pattern = cairo_get_source(cr);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_GOOD);
  cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
  cairo_paint(cr);
  cairo_restore(cr);
  return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

CCairoCanvas::CCairoCanvas(cairo_t* cr) : cr_(cr) {
  cairo_save(cr_);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_GOOD);
}

CCairoCanvas::~CCairoCanvas() {
  while (saved_ > 0) Restore();
  cairo_restore(cr_);
  if (layout_) g_object_unref(layout_);
}

void CCairoCanvas::FillRect(const Rect& rect, Color color) {
  SetColor(cr_, color);
  cairo_rectangle(cr_, rect.x, rect.y, rect.width, rect.height);
  cairo_fill(cr_);
}

void CCairoCanvas::DrawRect(const Rect& rect, Color color, float width) {
  if (width <= 0 || rect.Empty()) return;
  SetColor(cr_, color);
  StrokeInsetRect(cr_, rect, width);
}

void CCairoCanvas::FillRoundRect(const Rect& rect, float radius, Color color) {
  if (rect.Empty()) return;
  double r = std::min<double>(radius, std::min(rect.width, rect.height) / 2.0);
  SetColor(cr_, color);
  if (r <= 0) {
    cairo_rectangle(cr_, rect.x, rect.y, rect.width, rect.height);
  } else {
    RoundRectPath(cr_, rect.x, rect.y, rect.width, rect.height, r);
  }
  cairo_fill(cr_);
}

void CCairoCanvas::DrawRoundRect(const Rect& rect, float radius, Color color, float width) {
  if (width <= 0 || rect.width - width <= 0 || rect.height - width <= 0) return;
  double h = width / 2.0;
  double w = rect.width - width;
  double ht = rect.height - width;
  double r = std::min(radius - h, std::min(w, ht) / 2.0);
  SetColor(cr_, color);
  if (r < 0.75) {
    StrokeInsetRect(cr_, rect, width);
    return;
  }
  RoundRectPath(cr_, rect.x + h, rect.y + h, w, ht, r);
  cairo_set_line_width(cr_, width);
  cairo_stroke(cr_);
}

void CCairoCanvas::FillEllipse(const Rect& rect, Color color) {
  if (rect.Empty()) return;
  SetColor(cr_, color);
  EllipsePath(cr_, rect.x, rect.y, rect.width, rect.height);
  cairo_fill(cr_);
}

void CCairoCanvas::DrawEllipse(const Rect& rect, Color color, float width) {
  if (width <= 0 || rect.width - width <= 0 || rect.height - width <= 0) return;
  SetColor(cr_, color);
  double h = width / 2.0;
  EllipsePath(cr_, rect.x + h, rect.y + h, rect.width - width, rect.height - width);
  cairo_set_line_width(cr_, width);
  cairo_stroke(cr_);
}

void CCairoCanvas::DrawLine(Point from, Point to, Color color, float width) {
  if (width <= 0) return;
  LineEnds e = CrispLineEnds(from, to, width);
  SetColor(cr_, color);
  cairo_set_line_width(cr_, width);
  cairo_move_to(cr_, e.fromX, e.fromY);
  cairo_line_to(cr_, e.toX, e.toY);
  cairo_stroke(cr_);
}

PangoLayout* CCairoCanvas::Layout(std::string_view text, std::string_view family, int size, bool bold,
                                  bool italic) {
  if (!layout_) {
    layout_ = pango_cairo_create_layout(cr_);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout_), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout_);
  }
  std::string key = MapFontconfigFamily(family);
  key += '/';
  key += std::to_string(size) + (bold ? "b" : "") + (italic ? "i" : "");
  if (key != fontKey_) {
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, MapFontconfigFamily(family).c_str());
    pango_font_description_set_absolute_size(desc, std::max(size, 1) * PANGO_SCALE);
    pango_font_description_set_weight(desc, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(desc, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_layout_set_font_description(layout_, desc);
    pango_font_description_free(desc);
    fontKey_ = std::move(key);
  }
  pango_layout_set_text(layout_, text.data(), static_cast<int>(text.size()));
  return layout_;
}

void CCairoCanvas::DrawText(std::string_view text, Point origin, Color color, std::string_view family,
                            int size, bool bold, bool italic) {
  if (text.empty()) return;
  PangoLayout* layout = Layout(text, family, size, bold, italic);
  pango_cairo_update_layout(cr_, layout);
  SetColor(cr_, color);
  cairo_move_to(cr_, origin.x, origin.y);
  pango_cairo_show_layout(cr_, layout);
  cairo_new_path(cr_);
}

Size CCairoCanvas::MeasureText(std::string_view text, std::string_view family, int size, bool bold,
                               bool italic) {
  if (text.empty()) return {0, 0};
  int width = 0;
  std::string_view rest = text;
  while (true) {
    size_t lf = rest.find('\n');
    std::string_view line = rest.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) {
      PangoRectangle logical;
      pango_layout_get_pixel_extents(Layout(line, family, size, bold, italic), nullptr, &logical);
      width = std::max(width, logical.width);
    }
    if (lf == std::string_view::npos) break;
    rest.remove_prefix(lf + 1);
  }
  PangoRectangle logical;
  pango_layout_get_extents(Layout(text, family, size, bold, italic), nullptr, &logical);
  int height = (logical.height + PANGO_SCALE - 1) / PANGO_SCALE;
  return {width, height > 0 ? height : size};
}

void CCairoCanvas::Save() {
  cairo_save(cr_);
  ++saved_;
}

void CCairoCanvas::Restore() {
  if (saved_ == 0) return;
  cairo_restore(cr_);
  --saved_;
}

void CCairoCanvas::Translate(float dx, float dy) {
  cairo_translate(cr_, dx, dy);
}

void CCairoCanvas::Scale(float sx, float sy) {
  cairo_scale(cr_, sx, sy);
}

void CCairoCanvas::SetClip(const Rect& rect) {
  cairo_rectangle(cr_, rect.x, rect.y, std::max(rect.width, 0), std::max(rect.height, 0));
  cairo_clip(cr_);
}

void CCairoCanvas::ClearRect(const Rect& rect) {
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_CLEAR);
  cairo_rectangle(cr_, rect.x, rect.y, rect.width, rect.height);
  cairo_fill(cr_);
  cairo_restore(cr_);
}

bool CCairoCanvas::DrawImageRGBA(const uint8_t* pixels, int width, int height, const Rect& dest) {
  if (!pixels || width < 1 || height < 1 || dest.Empty()) return false;
  int stride = cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width);
  if (stride < 0) return false;
  // Cairo wants premultiplied native-endian ARGB words. The buffer stays for the next frame:
  // fresh memory for every page drawn would cost page faults on each one.
  thread_local std::vector<uint32_t> argb;
  argb.resize(static_cast<size_t>(stride / 4) * height);
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = pixels + static_cast<size_t>(y) * width * 4;
    uint32_t* row = argb.data() + static_cast<size_t>(y) * (stride / 4);
    for (int x = 0; x < width; ++x, src += 4) {
      uint32_t a = src[3];
      // Page rasters are opaque: their pixels need no premultiplying, which is most of the cost.
      if (a == 255) {
        row[x] = 0xFF000000u | (uint32_t(src[0]) << 16) | (uint32_t(src[1]) << 8) | src[2];
        continue;
      }
      auto pre = [a](uint32_t v) { return (v * a + 127) / 255; };
      row[x] = (a << 24) | (pre(src[0]) << 16) | (pre(src[1]) << 8) | pre(src[2]);
    }
  }
  cairo_surface_t* image = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(argb.data()),
                                                               CAIRO_FORMAT_ARGB32, width, height, stride);
  bool ok = cairo_surface_status(image) == CAIRO_STATUS_SUCCESS &&
            DrawSurfaceScaled(cr_, image, width, height, dest);
  cairo_surface_destroy(image);
  return ok;
}

bool CCairoCanvas::DrawImageFile(const std::string& path, const Rect& dest) {
  if (path.empty() || dest.Empty()) return false;
  cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
  bool ok = false;
  if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
    int w = cairo_image_surface_get_width(image);
    int h = cairo_image_surface_get_height(image);
    ok = w > 0 && h > 0 && DrawSurfaceScaled(cr_, image, w, h, dest);
  }
  cairo_surface_destroy(image);
  return ok;
}

bool CCairoCanvas::FillGradientRect(const Rect& rect, Color start, Color end, float angle) {
  if (rect.Empty()) return false;
  // The gradient line runs through the centre at `angle`; its ends are the extreme projections
  // of the corners, so the start colour touches one corner and the end colour the opposite one.
  double rad = angle * std::numbers::pi / 180.0;
  double dx = std::cos(rad), dy = std::sin(rad);
  double cx = rect.x + rect.width / 2.0, cy = rect.y + rect.height / 2.0;
  double extent = std::abs(dx) * rect.width / 2.0 + std::abs(dy) * rect.height / 2.0;
  cairo_pattern_t* pattern =
      cairo_pattern_create_linear(cx - dx * extent, cy - dy * extent, cx + dx * extent, cy + dy * extent);
  if (cairo_pattern_status(pattern) != CAIRO_STATUS_SUCCESS) {
    cairo_pattern_destroy(pattern);
    return false;
  }
  cairo_pattern_add_color_stop_rgba(pattern, 0, start.r / 255.0, start.g / 255.0, start.b / 255.0,
                                    start.a / 255.0);
  cairo_pattern_add_color_stop_rgba(pattern, 1, end.r / 255.0, end.g / 255.0, end.b / 255.0, end.a / 255.0);
  cairo_set_source(cr_, pattern);
  cairo_rectangle(cr_, rect.x, rect.y, rect.width, rect.height);
  cairo_fill(cr_);
  cairo_pattern_destroy(pattern);
  return true;
}

}  // namespace Vy
