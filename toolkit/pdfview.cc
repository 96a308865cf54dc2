#include "toolkit/pdfview.h"

#include <algorithm>
#include <cmath>

namespace Vy {
namespace {

constexpr int kBarWidth = 12;
constexpr int kLineStep = 40;
constexpr Color kSheet{255, 255, 255, 255};
constexpr Color kShadow{0, 0, 0, 45};
constexpr Color kSheetBorder{198, 204, 216, 255};
constexpr Color kMessage{120, 128, 145, 255};
constexpr Color kTrack{233, 236, 242, 255};
constexpr Color kThumb{176, 182, 194, 255};
constexpr Color kThumbDragged{140, 147, 161, 255};

void DrawCentered(CCanvas& canvas, const std::string& text, const Rect& area) {
  Size extent = canvas.MeasureText(text, "system", 13, false, false);
  canvas.DrawText(text,
                  {area.x + (area.width - extent.width) / 2, area.y + (area.height - extent.height) / 2},
                  kMessage, "system", 13, false, false);
}

}  // namespace

bool CPdfView::Open(const std::string& path) {
  std::string message;
  std::unique_ptr<Pdf::IDocument> document = Pdf::OpenDocument(path, &message);
  if (!document) {
    document_.reset();
    path_.clear();
    error_ = message.empty() ? "No se pudo abrir el PDF." : message;
    ResetCache();
    Invalidate();
    Notify();
    return false;
  }
  return Load(std::move(document), path);
}

bool CPdfView::Load(std::unique_ptr<Pdf::IDocument> document, const std::string& path) {
  if (!document) {
    document_.reset();
    path_.clear();
    error_ = "No se pudo abrir el PDF.";
  } else {
    document_ = std::move(document);
    path_ = path;
    error_.clear();
  }
  page_ = 0;
  ResetCache();
  Invalidate();
  Notify();
  return document_ != nullptr;
}

void CPdfView::Close() {
  if (!document_) return;
  document_.reset();
  path_.clear();
  error_.clear();
  ResetCache();
  Invalidate();
  Notify();
}

bool CPdfView::GoToPage(int index) {
  if (!document_ || index < 0 || index >= pageCount_) return false;
  if (index == page_) return true;
  page_ = index;
  ResetCache();
  Invalidate();
  Notify();
  return true;
}

void CPdfView::ScrollBy(int delta) {
  if (delta == 0) return;
  scroll_ = std::clamp(scroll_ + delta, 0, MaxScroll());
  Invalidate();
}

bool CPdfView::SavePageJpg(const std::string& path, int quality, std::string* error, int width) {
  if (!document_) {
    *error = "No hay documento cargado.";
    return false;
  }
  if (page_ < 0 || page_ >= pageCount_) {
    *error = "Pagina fuera de rango.";
    return false;
  }
  if (path.empty()) {
    *error = "Ruta de destino vacia.";
    return false;
  }
  width = width <= 0 ? 1600 : std::clamp(width, 16, 6000);
  if (quality < 1 || quality > 100) quality = 90;
  return document_->SavePageJpg(page_, width, quality, path, error);
}

void CPdfView::SetMargin(int margin) {
  margin_ = std::max(margin, 0);
  Invalidate();
}

void CPdfView::SetBackground(Color color) {
  background_ = color;
  Invalidate();
}

Rect CPdfView::InnerRect() const {
  return {rect_.x + margin_, rect_.y + margin_, std::max(rect_.width - 2 * margin_ - kBarWidth, 1),
          std::max(rect_.height - 2 * margin_, 1)};
}

int CPdfView::RenderWidth() const {
  // Rounded up, so the raster is never stretched wider than it was rendered.
  return (std::clamp(InnerRect().width, 64, 6000) + 15) & ~15;
}

int CPdfView::ContentHeight() const {
  if (raster_.Empty()) return 0;
  double height = static_cast<double>(raster_.height) * InnerRect().width / raster_.width;
  return std::max(static_cast<int>(std::lround(height)), 1);
}

int CPdfView::MaxScroll() const {
  return std::max(ContentHeight() - InnerRect().height, 0);
}

Rect CPdfView::TrackRect() const {
  Rect inner = InnerRect();
  return {inner.x + inner.width, inner.y, kBarWidth, inner.height};
}

Rect CPdfView::ThumbRect() const {
  int maxScroll = MaxScroll(), content = ContentHeight(), visible = InnerRect().height;
  if (maxScroll <= 0 || content <= 0 || visible <= 0) return {};
  long long t = std::min<long long>(static_cast<long long>(visible) * visible / content, visible);
  if (t <= 24) t = 24;
  Rect track = TrackRect();
  int y = track.y + static_cast<int>((visible - t) * scroll_ / maxScroll);
  return {track.x + 1, y, 10, static_cast<int>(t)};
}

void CPdfView::ResetCache() {
  pageCount_ = document_ ? document_->PageCount() : 0;
  if (page_ >= pageCount_) page_ = 0;
  scroll_ = 0;
  raster_ = Pdf::PageRaster{};
  rasterPage_ = -1;
  rasterWidth_ = 0;
}

bool CPdfView::EnsureRaster() {
  if (!document_) {
    error_ = "No hay documento cargado.";
    return false;
  }
  int width = RenderWidth();
  if (!raster_.Empty() && rasterPage_ == page_ && rasterWidth_ == width) return true;
  Pdf::PageRaster fresh;
  std::string message;
  if (!document_->RenderPage(page_, width, &fresh, &message)) {
    error_ = message;
    return false;
  }
  if (fresh.Empty()) {
    error_ = "El motor devolvio una hoja vacia.";
    return false;
  }
  raster_ = std::move(fresh);
  rasterPage_ = page_;
  rasterWidth_ = width;
  return true;
}

void CPdfView::Paint(CCanvas& canvas) {
  canvas.FillRect(rect_, background_);
  Rect inner = InnerRect();
  if (!document_) {
    DrawCentered(canvas, error_.empty() ? "Sin documento PDF cargado." : error_, inner);
    return;
  }
  EnsureRaster();
  scroll_ = std::clamp(scroll_, 0, MaxScroll());
  int content = ContentHeight();
  // The sheet fills at least the view, like paper; the page keeps its proportions on it.
  Rect sheet{inner.x, inner.y - scroll_, inner.width, std::max(inner.height, content)};
  canvas.Save();
  canvas.SetClip(inner);
  canvas.FillRect({sheet.x + 3, sheet.y + 3, sheet.width, sheet.height}, kShadow);
  canvas.FillRect(sheet, kSheet);
  std::string message;
  if (!raster_.Empty()) {
    Rect page{sheet.x, sheet.y, sheet.width, content};
    if (!canvas.DrawImageRGBA(raster_.pixels.data(), raster_.width, raster_.height, page))
      message = "El backend no soporta pintar rasteres (DrawImageRGBA).";
  } else {
    message = error_;
  }
  if (!message.empty())
    DrawCentered(canvas, message, {sheet.x, sheet.y, sheet.width, std::max(sheet.height, 60)});
  canvas.DrawRect(sheet, kSheetBorder, 1);
  canvas.Restore();
  PaintScrollBar(canvas);
}

void CPdfView::PaintScrollBar(CCanvas& canvas) {
  if (MaxScroll() < 1) return;
  canvas.FillRect(TrackRect(), kTrack);
  canvas.FillRoundRect(ThumbRect(), 5, draggingThumb_ ? kThumbDragged : kThumb);
}

void CPdfView::OnEvent(Event& e) {
  switch (e.kind) {
    case kMouseMove:
      if (draggingThumb_) {
        e.handled = true;
        Rect track = TrackRect(), thumb = ThumbRect();
        int room = track.height - thumb.height, maxScroll = MaxScroll();
        if (room < 1 || maxScroll < 1) return;
        double ratio = std::clamp(static_cast<double>(e.y - grabOffset_ - track.y) / room, 0.0, 1.0);
        scroll_ = std::clamp(static_cast<int>(maxScroll * ratio), 0, maxScroll);
        Invalidate();
      } else if (panning_) {
        e.handled = true;
        ScrollBy(lastY_ - e.y);
        lastY_ = e.y;
      }
      return;
    case kMouseDown: {
      if (e.button != kLeftButton) return;
      e.handled = true;
      if (MaxScroll() > 0 && TrackRect().Contains(e.x, e.y)) {
        Rect thumb = ThumbRect();
        if (thumb.Contains(e.x, e.y)) {
          draggingThumb_ = true;
          grabOffset_ = e.y - thumb.y;
          Invalidate();
        } else {
          // A click beside the thumb pages towards the click.
          int page = InnerRect().height * 4 / 5;
          ScrollBy(e.y >= thumb.y + thumb.height ? page : -page);
        }
        return;
      }
      panning_ = true;
      lastY_ = e.y;
      return;
    }
    case kMouseUp:
      if (!draggingThumb_ && !panning_) return;
      draggingThumb_ = false;
      panning_ = false;
      e.handled = true;
      Invalidate();
      return;
    case kWheel:
      e.handled = true;
      ScrollBy(-kLineStep * std::clamp(NormalizeWheelSteps(e.wheelSteps), -3, 3));
      return;
    case kKeyPressed: HandleKey(e); return;
    default: return;
  }
}

void CPdfView::HandleKey(Event& e) {
  switch (e.key) {
    case kKeyUp: ScrollBy(-kLineStep); break;
    case kKeyDown: ScrollBy(kLineStep); break;
    case kKeyHome: GoToFirstPage(); break;
    case kKeyEnd: GoToPage(pageCount_ - 1); break;
    case kKeyPageUp: GoToPage(page_ - 1); break;
    case kKeyPageDown: GoToPage(page_ + 1); break;
    default: return;
  }
  e.handled = true;
}

void CPdfView::Notify() {
  if (onPageChanged_) onPageChanged_(document_ ? page_ : -1, pageCount_);
}

}  // namespace Vy
