#pragma once

#include <windows.h>
// windows.h renames DrawText, an operation of the toolkit's canvas.
#undef DrawText

#include <cstdint>

#include "toolkit/types.h"

namespace Vy {

// Bitmap is a top-down 32-bit bitmap selected into a memory device context.
class Bitmap {
 public:
  Bitmap(int width, int height) : width_(width) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
    previous_ = SelectObject(dc_, bitmap_);
  }
  ~Bitmap() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  HDC dc() const { return dc_; }
  Color Pixel(int x, int y) const {
    GdiFlush();
    const uint8_t* p = bits_ + (static_cast<size_t>(y) * width_ + x) * 4;
    return {p[2], p[1], p[0], 255};
  }

 private:
  int width_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
  uint8_t* bits_ = nullptr;
};

}  // namespace Vy
