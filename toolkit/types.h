#pragma once

#include <cstdint>

namespace Vy {

// Color holds red, green, blue and alpha in that order; read as one little-endian word it is
// 0xAABBGGRR. Alpha 255 is opaque.
struct Color {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  uint8_t a = 255;

  friend bool operator==(const Color&, const Color&) = default;
};

struct Point {
  int x = 0;
  int y = 0;
};

struct Size {
  int width = 0;
  int height = 0;

  friend bool operator==(const Size&, const Size&) = default;
};

// Rect is in window client pixels with the origin at the top left.
struct Rect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;

  int Right() const { return x + width; }
  int Bottom() const { return y + height; }
  bool Empty() const { return width <= 0 || height <= 0; }
  // Contains includes the left and top edges and excludes the right and bottom ones.
  bool Contains(int px, int py) const { return px >= x && px < x + width && py >= y && py < y + height; }

  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace Vy
