#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "toolkit/types.h"

namespace Vy {

// LineEnds are the end points of a stroked line in surface coordinates.
struct LineEnds {
  float fromX, fromY, toX, toY;
};

// CrispLineEnds moves an axis-aligned line of odd width half a pixel, so that on a surface
// whose pixel edges lie on whole coordinates it covers whole pixels instead of blurring
// over two.
inline LineEnds CrispLineEnds(Point from, Point to, float width) {
  LineEnds e{float(from.x), float(from.y), float(to.x), float(to.y)};
  bool odd = static_cast<int>(std::lround(width)) % 2 == 1;
  if (odd && from.x == to.x) e.fromX = e.toX = from.x + 0.5f;
  if (odd && from.y == to.y) e.fromY = e.toY = from.y + 0.5f;
  return e;
}

// CCanvas is the drawing surface of one paint of one window, in integer pixel coordinates.
// Controls never keep a canvas beyond the paint that handed it to them.
class CCanvas {
 public:
  virtual ~CCanvas() = default;

  virtual void FillRect(const Rect& rect, Color color) = 0;
  // DrawRect, DrawRoundRect and DrawEllipse keep the stroke inside the rectangle.
  virtual void DrawRect(const Rect& rect, Color color, float width) = 0;
  virtual void FillRoundRect(const Rect& rect, float radius, Color color) = 0;
  virtual void DrawRoundRect(const Rect& rect, float radius, Color color, float width) = 0;
  virtual void FillEllipse(const Rect& rect, Color color) = 0;
  virtual void DrawEllipse(const Rect& rect, Color color, float width) = 0;
  virtual void DrawLine(Point from, Point to, Color color, float width) = 0;
  // DrawText anchors the text's top-left corner at `origin` and does not wrap.
  virtual void DrawText(std::string_view text, Point origin, Color color, std::string_view family, int size,
                        bool bold, bool italic) = 0;
  // MeasureText gives the widest line and the whole text's height rounded up; (0, 0) for an
  // empty text.
  virtual Size MeasureText(std::string_view text, std::string_view family, int size, bool bold,
                           bool italic) = 0;
  virtual void Save() = 0;
  // Restore does nothing without a matching Save.
  virtual void Restore() = 0;
  virtual void Translate(float dx, float dy) = 0;
  virtual void Scale(float sx, float sy) = 0;
  // SetClip intersects the current clip with the rectangle.
  virtual void SetClip(const Rect& rect) = 0;
  // ClearRect makes the rectangle fully transparent.
  virtual void ClearRect(const Rect& rect) = 0;
  // DrawImageRGBA scales rows of red, green, blue, alpha bytes (stride width * 4) into
  // `dest`. It returns false, drawing nothing, for null pixels, a size below 1 or an empty
  // destination.
  virtual bool DrawImageRGBA(const uint8_t* pixels, int width, int height, const Rect& dest) = 0;
  // DrawImageFile scales an image file into `dest`; false when it cannot be loaded.
  virtual bool DrawImageFile(const std::string& path, const Rect& dest) = 0;
  // FillGradientRect fills with a linear gradient running at `angle` degrees.
  virtual bool FillGradientRect(const Rect& rect, Color start, Color end, float angle) = 0;
};

}  // namespace Vy
