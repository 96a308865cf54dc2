#include "toolkit/win32/win32_canvas.h"

#include <windows.h>
// windows.h first: the GDI+ headers use its types.
#include <gdiplus.h>
// windows.h names DrawTextA/W with a macro that would rename the canvas operation.
#undef DrawText

#include <algorithm>
#include <climits>
#include <cmath>
#include <memory>

#include "toolkit/win32/font_faces.h"
#include "toolkit/win32/wide.h"

namespace Vy {
namespace {

namespace Gp = Gdiplus::DllExports;
using Gdiplus::GpStatus;
using Gdiplus::Ok;

// GDI+ wants 0xAARRGGBB.
Gdiplus::ARGB Argb(Color c) {
  return (Gdiplus::ARGB(c.a) << 24) | (Gdiplus::ARGB(c.r) << 16) | (Gdiplus::ARGB(c.g) << 8) | c.b;
}

// Owners of the GDI+ objects a single operation makes.
struct PenDeleter {
  void operator()(Gdiplus::GpPen* p) const { Gp::GdipDeletePen(p); }
};
struct BrushDeleter {
  void operator()(Gdiplus::GpBrush* b) const { Gp::GdipDeleteBrush(b); }
};
struct PathDeleter {
  void operator()(Gdiplus::GpPath* p) const { Gp::GdipDeletePath(p); }
};
struct ImageDeleter {
  void operator()(Gdiplus::GpImage* i) const { Gp::GdipDisposeImage(i); }
};
struct FamilyDeleter {
  void operator()(Gdiplus::GpFontFamily* f) const { Gp::GdipDeleteFontFamily(f); }
};
struct AttributesDeleter {
  void operator()(Gdiplus::GpImageAttributes* a) const { Gp::GdipDisposeImageAttributes(a); }
};
using Pen = std::unique_ptr<Gdiplus::GpPen, PenDeleter>;
using Brush = std::unique_ptr<Gdiplus::GpBrush, BrushDeleter>;
using Path = std::unique_ptr<Gdiplus::GpPath, PathDeleter>;
using Image = std::unique_ptr<Gdiplus::GpImage, ImageDeleter>;
using Family = std::unique_ptr<Gdiplus::GpFontFamily, FamilyDeleter>;
using Attributes = std::unique_ptr<Gdiplus::GpImageAttributes, AttributesDeleter>;

Brush SolidBrush(Color color) {
  Gdiplus::GpSolidFill* fill = nullptr;
  Gp::GdipCreateSolidFill(Argb(color), &fill);
  return Brush(fill);
}

Pen MakePen(Color color, float width) {
  Gdiplus::GpPen* pen = nullptr;
  if (Gp::GdipCreatePen1(Argb(color), width, Gdiplus::UnitPixel, &pen) != Ok) return nullptr;
  return Pen(pen);
}

// RoundRectPath is a closed path of four quarter arcs of diameter 2r.
Path RoundRectPath(float x, float y, float w, float h, float r) {
  Gdiplus::GpPath* raw = nullptr;
  if (Gp::GdipCreatePath(Gdiplus::FillModeAlternate, &raw) != Ok) return nullptr;
  Path path(raw);
  float d = 2 * r;
  Gp::GdipAddPathArc(raw, x, y, d, d, 180, 90);
  Gp::GdipAddPathArc(raw, x + w - d, y, d, d, 270, 90);
  Gp::GdipAddPathArc(raw, x + w - d, y + h - d, d, d, 0, 90);
  Gp::GdipAddPathArc(raw, x, y + h - d, d, d, 90, 90);
  Gp::GdipClosePathFigure(raw);
  return path;
}

Family FontFamily(const wchar_t* face) {
  Gdiplus::GpFontFamily* family = nullptr;
  if (Gp::GdipCreateFontFamilyFromName(face, nullptr, &family) != Ok) return nullptr;
  return Family(family);
}

// The generic family is fetched per use rather than kept: a copy kept for the process would
// outlive a GDI+ shutdown when a program starts the toolkit twice.
Family GenericSansSerif() {
  Gdiplus::GpFontFamily* family = nullptr;
  if (Gp::GdipGetGenericFontFamilySansSerif(&family) != Ok) return nullptr;
  return Family(family);
}

// SelectedFont is a GDI font selected into a device context for measuring.
class SelectedFont {
 public:
  SelectedFont(HDC hdc, const std::wstring& face, int size, bool bold, bool italic) : hdc_(hdc) {
    Select(face, size, bold, italic);
    // GDI substitutes silently; a face that is not the one asked for measures as "Segoe UI",
    // which is what the drawing falls back to.
    wchar_t actual[LF_FACESIZE] = {};
    if (font_ && GetTextFaceW(hdc_, LF_FACESIZE, actual) > 0 &&
        _wcsicmp(actual, face.substr(0, LF_FACESIZE - 1).c_str()) != 0) {
      Release();
      Select(L"Segoe UI", size, bold, italic);
    }
  }
  ~SelectedFont() { Release(); }
  SelectedFont(const SelectedFont&) = delete;
  SelectedFont& operator=(const SelectedFont&) = delete;

 private:
  void Select(const std::wstring& face, int size, bool bold, bool italic) {
    LOGFONTW lf{};
    lf.lfHeight = -size;  // character height in pixels
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = italic ? TRUE : FALSE;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfQuality = ANTIALIASED_QUALITY;
    face.copy(lf.lfFaceName, LF_FACESIZE - 1);
    font_ = CreateFontIndirectW(&lf);
    if (font_) previous_ = SelectObject(hdc_, font_);
  }
  void Release() {
    if (!font_) return;
    SelectObject(hdc_, previous_);
    DeleteObject(font_);
    font_ = nullptr;
  }

  HDC hdc_;
  HFONT font_ = nullptr;
  HGDIOBJ previous_ = nullptr;
};

}  // namespace

CWin32Canvas::CWin32Canvas(void* hdc, Size size) : hdc_(hdc), size_(size) {
  Check(Gp::GdipCreateFromHDC(static_cast<HDC>(hdc_), &graphics_));
  if (!graphics_) return;
  Check(Gp::GdipSetSmoothingMode(graphics_, Gdiplus::SmoothingModeAntiAlias));
  Check(Gp::GdipSetTextRenderingHint(graphics_, Gdiplus::TextRenderingHintAntiAliasGridFit));
  // Pixel edges on whole coordinates, as the inset strokes assume. GDI+ centres pixels there,
  // which smears a 1-pixel border over two pixels and lets the clip of its control cut the
  // right and bottom halves away; moving everything up and left by half a pixel is what
  // PixelOffsetModeHalf does, and unlike that mode it is honoured by every GDI+ (Wine's too).
  Check(Gp::GdipTranslateWorldTransform(graphics_, -0.5f, -0.5f, Gdiplus::MatrixOrderAppend));
}

CWin32Canvas::~CWin32Canvas() {
  if (font_) Gp::GdipDeleteFont(font_);
  if (graphics_) Gp::GdipDeleteGraphics(graphics_);
}

bool CWin32Canvas::Check(int status) {
  if (status != Ok) lastStatus_ = status;
  return status == Ok;
}

void CWin32Canvas::FillRect(const Rect& rect, Color color) {
  Brush brush = SolidBrush(color);
  if (!graphics_ || !brush) return;
  Check(Gp::GdipFillRectangleI(graphics_, brush.get(), rect.x, rect.y, rect.width, rect.height));
}

void CWin32Canvas::StrokeInset(const Rect& rect, Color color, float width, bool ellipse) {
  if (!graphics_ || width <= 0 || rect.Empty()) return;
  // The inset is done here rather than with an inset pen, whose alignment not every GDI+
  // implements; a stroke as wide as the shape fills it.
  if (rect.width <= width || rect.height <= width)
    return ellipse ? FillEllipse(rect, color) : FillRect(rect, color);
  Pen pen = MakePen(color, width);
  if (!pen) return;
  float h = width / 2, x = rect.x + h, y = rect.y + h, w = rect.width - width, ht = rect.height - width;
  Check(ellipse ? Gp::GdipDrawEllipse(graphics_, pen.get(), x, y, w, ht)
                : Gp::GdipDrawRectangle(graphics_, pen.get(), x, y, w, ht));
}

void CWin32Canvas::DrawRect(const Rect& rect, Color color, float width) {
  StrokeInset(rect, color, width, false);
}

void CWin32Canvas::FillRoundRect(const Rect& rect, float radius, Color color) {
  if (!graphics_ || rect.Empty()) return;
  float r = std::min(radius, std::min(rect.width, rect.height) / 2.0f);
  // Arcs of no size make no path: a radius of 0 is a plain rectangle.
  if (r <= 0) return FillRect(rect, color);
  Path path = RoundRectPath(rect.x, rect.y, rect.width, rect.height, r);
  Brush brush = SolidBrush(color);
  if (!path || !brush) return;
  Check(Gp::GdipFillPath(graphics_, brush.get(), path.get()));
}

void CWin32Canvas::DrawRoundRect(const Rect& rect, float radius, Color color, float width) {
  if (!graphics_ || width <= 0 || rect.width - width <= 0 || rect.height - width <= 0) return;
  float h = width / 2;
  float w = rect.width - width;
  float ht = rect.height - width;
  float r = std::min(radius - h, std::min(w, ht) / 2);
  if (r < 0.75f) return DrawRect(rect, color, width);
  Path path = RoundRectPath(rect.x + h, rect.y + h, w, ht, r);
  Pen pen = MakePen(color, width);
  if (!path || !pen) return;
  Check(Gp::GdipDrawPath(graphics_, pen.get(), path.get()));
}

void CWin32Canvas::FillEllipse(const Rect& rect, Color color) {
  Brush brush = SolidBrush(color);
  if (!graphics_ || !brush) return;
  Check(Gp::GdipFillEllipseI(graphics_, brush.get(), rect.x, rect.y, rect.width, rect.height));
}

void CWin32Canvas::DrawEllipse(const Rect& rect, Color color, float width) {
  StrokeInset(rect, color, width, true);
}

void CWin32Canvas::DrawLine(Point from, Point to, Color color, float width) {
  if (width <= 0) return;
  Pen pen = MakePen(color, width);
  if (!graphics_ || !pen) return;
  LineEnds e = CrispLineEnds(from, to, width);
  Check(Gp::GdipDrawLine(graphics_, pen.get(), e.fromX, e.fromY, e.toX, e.toY));
}

Gdiplus::GpFont* CWin32Canvas::Font(std::string_view familyName, int size, bool bold, bool italic) {
  std::u16string faceUnits = MapFontFamily(familyName);
  std::wstring face(faceUnits.begin(), faceUnits.end());
  int style = (bold ? Gdiplus::FontStyleBold : 0) | (italic ? Gdiplus::FontStyleItalic : 0);
  if (font_ && face == fontFace_ && size == fontSize_ && style == fontStyle_) return font_;
  if (font_) Gp::GdipDeleteFont(font_);
  font_ = nullptr;
  fontFace_ = face;
  fontSize_ = size;
  fontStyle_ = style;
  Family family = FontFamily(face.c_str());
  if (!family) family = FontFamily(L"Segoe UI");
  if (!family) family = FontFamily(L"MS Shell Dlg 2");
  if (!family) family = GenericSansSerif();
  if (family) {
    Check(Gp::GdipCreateFont(family.get(), static_cast<float>(size), style, Gdiplus::UnitPixel, &font_));
  }
  return font_;
}

void CWin32Canvas::DrawText(std::string_view text, Point origin, Color color, std::string_view family,
                            int size, bool bold, bool italic) {
  if (!graphics_ || text.empty()) return;
  Gdiplus::GpFont* font = Font(family, size, bold, italic);
  Brush brush = SolidBrush(color);
  if (!font || !brush) return;
  std::wstring wide = Wide(text);
  Gdiplus::RectF layout(static_cast<float>(origin.x), static_cast<float>(origin.y), 0, 0);
  Check(Gp::GdipDrawString(graphics_, wide.c_str(), static_cast<int>(wide.size()), font, &layout, nullptr,
                           brush.get()));
}

int CWin32Canvas::MeasureWidth(std::string_view text, std::string_view family, int size, bool bold,
                               bool italic) {
  HDC hdc = static_cast<HDC>(hdc_);
  std::u16string face = MapFontFamily(family);
  SelectedFont font(hdc, std::wstring(face.begin(), face.end()), size, bold, italic);
  int widest = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty()) {
      std::wstring wide = Wide(line);
      SIZE extent{};
      if (GetTextExtentExPointW(hdc, wide.c_str(), static_cast<int>(wide.size()), 0, nullptr, nullptr,
                                &extent))
        widest = std::max(widest, static_cast<int>(extent.cx));
    }
    start = end + 1;
  }
  return widest;
}

Size CWin32Canvas::MeasureText(std::string_view text, std::string_view family, int size, bool bold,
                               bool italic) {
  if (text.empty()) return {0, 0};
  Size result{MeasureWidth(text, family, size, bold, italic), size};
  Gdiplus::GpFont* font = graphics_ ? Font(family, size, bold, italic) : nullptr;
  if (font) {
    std::wstring wide = Wide(text);
    Gdiplus::RectF layout(0, 0, 0, 0);
    Gdiplus::RectF bounds(0, 0, 0, 0);
    if (Check(Gp::GdipMeasureString(graphics_, wide.c_str(), static_cast<int>(wide.size()), font, &layout,
                                    nullptr, &bounds, nullptr, nullptr)) &&
        bounds.Height > 0) {
      result.height = static_cast<int>(std::ceil(bounds.Height));
    }
  }
  return result;
}

void CWin32Canvas::Save() {
  Gdiplus::GraphicsState state = 0;
  if (graphics_ && Check(Gp::GdipSaveGraphics(graphics_, &state))) saved_.push_back(state);
}

void CWin32Canvas::Restore() {
  if (!graphics_ || saved_.empty()) return;
  Check(Gp::GdipRestoreGraphics(graphics_, saved_.back()));
  saved_.pop_back();
}

void CWin32Canvas::Translate(float dx, float dy) {
  if (graphics_) Check(Gp::GdipTranslateWorldTransform(graphics_, dx, dy, Gdiplus::MatrixOrderPrepend));
}

void CWin32Canvas::Scale(float sx, float sy) {
  if (graphics_) Check(Gp::GdipScaleWorldTransform(graphics_, sx, sy, Gdiplus::MatrixOrderPrepend));
}

void CWin32Canvas::SetClip(const Rect& rect) {
  if (graphics_)
    Check(Gp::GdipSetClipRectI(graphics_, rect.x, rect.y, rect.width, rect.height,
                               Gdiplus::CombineModeIntersect));
}

void CWin32Canvas::ClearRect(const Rect& rect) {
  if (!graphics_) return;
  // A transparent fill blended over the surface would change nothing: the pixels are
  // replaced instead.
  Gdiplus::CompositingMode previous = Gdiplus::CompositingModeSourceOver;
  Gp::GdipGetCompositingMode(graphics_, &previous);
  Check(Gp::GdipSetCompositingMode(graphics_, Gdiplus::CompositingModeSourceCopy));
  FillRect(rect, {0, 0, 0, 0});
  Gp::GdipSetCompositingMode(graphics_, previous);
}

bool CWin32Canvas::DrawBitmap(void* raw, int width, int height, const Rect& dest) {
  auto* image = static_cast<Gdiplus::GpImage*>(raw);
  Gdiplus::InterpolationMode previous = Gdiplus::InterpolationModeDefault;
  Gp::GdipGetInterpolationMode(graphics_, &previous);
  Check(Gp::GdipSetInterpolationMode(graphics_, Gdiplus::InterpolationModeHighQualityBicubic));
  // Bicubic scaling samples beyond the edges; mirroring there keeps the border from fading.
  Gdiplus::GpImageAttributes* rawAttributes = nullptr;
  Gp::GdipCreateImageAttributes(&rawAttributes);
  Attributes attributes(rawAttributes);
  if (attributes) Gp::GdipSetImageAttributesWrapMode(attributes.get(), Gdiplus::WrapModeTileFlipXY, 0, FALSE);
  bool ok =
      Check(Gp::GdipDrawImageRectRectI(graphics_, image, dest.x, dest.y, dest.width, dest.height, 0, 0, width,
                                       height, Gdiplus::UnitPixel, attributes.get(), nullptr, nullptr));
  Gp::GdipSetInterpolationMode(graphics_, previous);
  return ok;
}

bool CWin32Canvas::DrawImageRGBA(const uint8_t* pixels, int width, int height, const Rect& dest) {
  if (!graphics_ || !pixels || width < 1 || height < 1 || dest.Empty()) return false;
  if (width > INT_MAX / 4 || static_cast<size_t>(height) > SIZE_MAX / (static_cast<size_t>(width) * 4))
    return false;
  size_t count = static_cast<size_t>(width) * height;
  std::vector<uint8_t> bgra(count * 4);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* s = pixels + i * 4;
    uint8_t* d = bgra.data() + i * 4;
    d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = s[3];
  }
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (!Check(Gp::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB, bgra.data(),
                                           &bitmap)))
    return false;
  Image image(bitmap);
  return DrawBitmap(image.get(), width, height, dest);
}

bool CWin32Canvas::DrawImageFile(const std::string& path, const Rect& dest) {
  if (!graphics_ || path.empty() || dest.Empty()) return false;
  std::wstring wide = Wide(path);
  if (wide.empty()) return false;
  Gdiplus::GpImage* raw = nullptr;
  if (!Check(Gp::GdipLoadImageFromFile(wide.c_str(), &raw))) return false;
  Image image(raw);
  UINT width = 0, height = 0;
  Gp::GdipGetImageWidth(raw, &width);
  Gp::GdipGetImageHeight(raw, &height);
  if (width == 0 || height == 0) return false;
  return DrawBitmap(raw, static_cast<int>(width), static_cast<int>(height), dest);
}

bool CWin32Canvas::FillGradientRect(const Rect& rect, Color start, Color end, float angle) {
  if (!graphics_) return false;
  Gdiplus::RectF area(rect.x, rect.y, rect.width, rect.height);
  Gdiplus::GpLineGradient* gradient = nullptr;
  if (!Check(Gp::GdipCreateLineBrushFromRectWithAngle(&area, Argb(start), Argb(end), angle, FALSE,
                                                      Gdiplus::WrapModeTile, &gradient)))
    return false;
  Brush brush(gradient);
  Check(Gp::GdipFillRectangleI(graphics_, brush.get(), rect.x, rect.y, rect.width, rect.height));
  return true;
}

}  // namespace Vy
