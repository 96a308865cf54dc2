#pragma once

#include <string>
#include <vector>

#include "toolkit/canvas.h"

namespace Gdiplus {
class GpGraphics;
class GpFont;
}  // namespace Gdiplus

namespace Vy {

// CWin32Canvas draws on a device context (not owned) with GDI+: anti-aliased shapes and text,
// bicubic image scaling. Text widths come from GDI, which the platform's own controls use.
// GDI+ must be started (CWin32App does it). A failing GDI+ call leaves its status in
// LastStatus and the operation carries on.
class CWin32Canvas : public CCanvas {
 public:
  CWin32Canvas(void* hdc, Size size);
  ~CWin32Canvas() override;
  CWin32Canvas(const CWin32Canvas&) = delete;
  CWin32Canvas& operator=(const CWin32Canvas&) = delete;

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

  // LastStatus is the GDI+ status of the last failing call (0 when none failed).
  int LastStatus() const { return lastStatus_; }
  Size SurfaceSize() const { return size_; }

 private:
  bool Check(int status);
  // StrokeInset strokes a rectangle or an ellipse keeping the pen inside `rect`.
  void StrokeInset(const Rect& rect, Color color, float width, bool ellipse);
  // Font gives the canvas's GDI+ font for the family, size and style, falling back to
  // "Segoe UI", "MS Shell Dlg 2" and the generic sans-serif family; null when none exists.
  Gdiplus::GpFont* Font(std::string_view family, int size, bool bold, bool italic);
  int MeasureWidth(std::string_view text, std::string_view family, int size, bool bold, bool italic);
  bool DrawBitmap(void* image, int width, int height, const Rect& dest);

  void* hdc_;
  Size size_;
  Gdiplus::GpGraphics* graphics_ = nullptr;
  int lastStatus_ = 0;
  std::vector<unsigned long> saved_;  // GDI+ graphics states
  // One paint draws most texts in a few fonts: the last one is kept.
  Gdiplus::GpFont* font_ = nullptr;
  std::wstring fontFace_;
  int fontSize_ = 0;
  int fontStyle_ = -1;
};

}  // namespace Vy
