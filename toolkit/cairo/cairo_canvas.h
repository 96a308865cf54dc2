#pragma once

#include <string>
#include <string_view>

#include "toolkit/canvas.h"

typedef struct _cairo cairo_t;
typedef struct _PangoLayout PangoLayout;

namespace Vy {

// MapFontconfigFamily maps a style's font family to a fontconfig family; fontconfig itself
// substitutes a default face for families that are not installed.
std::string MapFontconfigFamily(std::string_view family);

// CCairoCanvas draws on a Cairo context (not owned) with anti-aliased shapes and Pango text.
class CCairoCanvas : public CCanvas {
 public:
  // The context's state is saved on construction and restored on destruction.
  explicit CCairoCanvas(cairo_t* cr);
  ~CCairoCanvas() override;
  CCairoCanvas(const CCairoCanvas&) = delete;
  CCairoCanvas& operator=(const CCairoCanvas&) = delete;

  void FillRect(const Rect& rect, Color color) override;
  void DrawRect(const Rect& rect, Color color, float width) override;
  void FillRoundRect(const Rect& rect, float radius, Color color) override;
  void DrawRoundRect(const Rect& rect, float radius, Color color, float width) override;
  void FillEllipse(const Rect& rect, Color color) override;
  void DrawEllipse(const Rect& rect, Color color, float width) override;
  void DrawLine(Point from, Point to, Color color, float width) override;
  void DrawText(std::string_view text, Point origin, Color color, std::string_view family, int size,
                bool bold, bool italic) override;
  Size MeasureText(std::string_view text, std::string_view family, int size, bool bold, bool italic) override;
  void Save() override;
  void Restore() override;
  void Translate(float dx, float dy) override;
  void Scale(float sx, float sy) override;
  void SetClip(const Rect& rect) override;
  void ClearRect(const Rect& rect) override;
  bool DrawImageRGBA(const uint8_t* pixels, int width, int height, const Rect& dest) override;
  bool DrawImageFile(const std::string& path, const Rect& dest) override;
  bool FillGradientRect(const Rect& rect, Color start, Color end, float angle) override;

 private:
  // Layout returns the canvas's one Pango layout set to the text and font.
  PangoLayout* Layout(std::string_view text, std::string_view family, int size, bool bold, bool italic);

  cairo_t* cr_;
  int saved_ = 0;
  PangoLayout* layout_ = nullptr;
  std::string fontKey_;
};

}  // namespace Vy
