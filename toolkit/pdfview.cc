#include "toolkit/pdfview.h"

#include <algorithm>
#include <cmath>

#include "toolkit/app.h"
#include "toolkit/window.h"

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
constexpr Color kFocusFrame{0, 120, 215, 255};
// A page source that cannot tell its page sizes gets Letter pages until each is rendered.
constexpr Pdf::PageSize kGuessedPage{612, 792};
// Rendering ahead is for pages of ordinary size; a page of this many pixels is rendered only
// when it is shown.
constexpr long long kMaxPrefetchPixels = 16LL * 1024 * 1024;
// The zoom steps of Control with + and -, and of Control with the wheel.
constexpr int kZoomLadder[] = {25, 33, 50, 67, 75, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400};

void DrawCentered(CCanvas& canvas, const std::string& text, const Rect& area) {
  Size extent = canvas.MeasureText(text, "system", 13, false, false);
  canvas.DrawText(text,
                  {area.x + (area.width - extent.width) / 2, area.y + (area.height - extent.height) / 2},
                  kMessage, "system", 13, false, false);
}

// Thumb places a scroll bar's thumb on its track: as long as the visible share of the content
// (24 pixels at least), as far along as the scroll is.
Rect Thumb(const Rect& track, int visible, int content, int scroll, int maxScroll, bool vertical) {
  if (maxScroll <= 0 || content <= 0 || visible <= 0) return {};
  long long t = std::min<long long>(static_cast<long long>(visible) * visible / content, visible);
  if (t <= 24) t = 24;
  int along = static_cast<int>((visible - t) * scroll / maxScroll);
  if (vertical) return {track.x + 1, track.y + along, 10, static_cast<int>(t)};
  return {track.x + along, track.y + 1, static_cast<int>(t), 10};
}

// DrawVisibleRows draws only the raster rows that land inside `clip`: a page zoomed far beyond
// the view is not converted whole on every paint.
bool DrawVisibleRows(CCanvas& canvas, const Pdf::PageRaster& raster, const Rect& page, const Rect& clip) {
  int top = std::max(page.y, clip.y), bottom = std::min(page.Bottom(), clip.Bottom());
  if (bottom <= top) return true;
  double rowsPerPixel = static_cast<double>(raster.height) / page.height;
  int first =
      std::clamp(static_cast<int>(std::floor((top - page.y) * rowsPerPixel)) - 1, 0, raster.height - 1);
  int end =
      std::clamp(static_cast<int>(std::ceil((bottom - page.y) * rowsPerPixel)) + 1, first + 1, raster.height);
  int y0 = page.y + static_cast<int>(std::lround(first / rowsPerPixel));
  int y1 = page.y + static_cast<int>(std::lround(end / rowsPerPixel));
  const uint8_t* rows = raster.pixels.get() + static_cast<size_t>(first) * raster.width * 4;
  return canvas.DrawImageRGBA(rows, raster.width, end - first,
                              {page.x, y0, page.width, std::max(y1 - y0, 1)});
}

}  // namespace

bool CPdfView::Open(const std::string& path) {
  std::string message;
  std::unique_ptr<Pdf::IDocument> document = Pdf::OpenDocument(path, &message);
  if (!document) {
    document_.reset();
    path_.clear();
    error_ = message.empty() ? "No se pudo abrir el PDF." : message;
    ResetDocumentState();
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
  ResetDocumentState();
  Invalidate();
  Notify();
  return document_ != nullptr;
}

void CPdfView::Close() {
  if (!document_) return;
  document_.reset();
  path_.clear();
  error_.clear();
  ResetDocumentState();
  Invalidate();
  Notify();
}

void CPdfView::ResetDocumentState() {
  pageCount_ = document_ ? document_->PageCount() : 0;
  page_ = 0;
  scrollX_ = scrollY_ = 0;
  rasters_.clear();
  prefetched_.clear();
  ahead_ = {0, -1};
  ReadPageSizes();
  layout_.pages.clear();  // nothing to keep the place of
  ++sizesVersion_;
}

void CPdfView::ReadPageSizes() {
  sizes_.clear();
  sizesGuessed_ = false;
  if (!document_ || pageCount_ < 1) return;
  std::string message;
  bool known = document_->PageSizes(&sizes_, &message) && static_cast<int>(sizes_.size()) == pageCount_;
  if (!known) sizes_.assign(pageCount_, kGuessedPage);
  for (Pdf::PageSize& size : sizes_) {
    if (!(size.width > 0) || !(size.height > 0)) size = kGuessedPage;
  }
  sizesGuessed_ = !known;
}

bool CPdfView::GoToPage(int index) {
  if (!document_ || index < 0 || index >= pageCount_) return false;
  if (index == page_) return true;
  page_ = index;
  scrollY_ = PageTop(index);
  ClampScroll();
  Invalidate();
  Notify();
  return true;
}

bool CPdfView::ShowPageArea(int index, float top, float bottom) {
  if (!document_ || index < 0 || index >= pageCount_) return false;
  const Layout& layout = Current();
  double scale = layout.pages[index].height / static_cast<double>(sizes_[index].height);
  double middle = layout.tops[index] + (top + bottom) / 2.0 * scale;
  scrollY_ = static_cast<int>(std::lround(middle - InnerRect().height / 2.0));
  ClampScroll();
  bool changed = page_ != index;
  page_ = index;
  Invalidate();
  if (changed) Notify();
  return true;
}

void CPdfView::ScrollBy(int delta) {
  if (delta == 0) return;
  scrollY_ = std::clamp(scrollY_ + delta, 0, MaxScroll());
  Invalidate();
  Scrolled();
}

void CPdfView::ScrollXBy(int delta) {
  if (delta == 0) return;
  scrollX_ = std::clamp(scrollX_ + delta, 0, MaxScrollX());
  Invalidate();
}

void CPdfView::SetZoomMode(ZoomMode mode) {
  Rect inner = InnerRect();
  ChangeZoom(mode, zoomPercent_, {inner.x + inner.width / 2, inner.y + inner.height / 2});
}

void CPdfView::SetZoomPercent(int percent) {
  Rect inner = InnerRect();
  ChangeZoom(ZoomMode::kPercent, percent, {inner.x + inner.width / 2, inner.y + inner.height / 2});
}

void CPdfView::ZoomIn() {
  int now = ZoomPercent();
  for (int step : kZoomLadder) {
    if (step > now) return SetZoomPercent(step);
  }
  SetZoomPercent(kMaxZoom);
}

void CPdfView::ZoomOut() {
  int now = ZoomPercent();
  for (auto it = std::rbegin(kZoomLadder); it != std::rend(kZoomLadder); ++it) {
    if (*it < now) return SetZoomPercent(*it);
  }
  SetZoomPercent(kMinZoom);
}

int CPdfView::ZoomPercent() const {
  if (zoomMode_ == ZoomMode::kPercent || sizes_.empty()) return zoomPercent_;
  int page = std::clamp(page_, 0, static_cast<int>(sizes_.size()) - 1);
  // 100 % is 96 pixels for 72 points.
  return static_cast<int>(std::lround(ScaleOf(page, Current().base) * 75.0));
}

void CPdfView::ChangeZoom(ZoomMode mode, int percent, Point focus) {
  percent = std::clamp(percent, kMinZoom, kMaxZoom);
  if (mode == zoomMode_ && (mode != ZoomMode::kPercent || percent == zoomPercent_)) return;
  bool keep = document_ && !sizes_.empty();
  Place place = keep ? PlaceAt(Current(), focus) : Place{};
  zoomMode_ = mode;
  zoomPercent_ = percent;
  if (keep) ScrollToPlace(Current(), place, focus);
  Invalidate();
  if (onZoomChanged_) onZoomChanged_();
  Scrolled();
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

Rect CPdfView::BaseInner() const {
  return {rect_.x + margin_, rect_.y + margin_, std::max(rect_.width - 2 * margin_ - kBarWidth, 1),
          std::max(rect_.height - 2 * margin_, 1)};
}

double CPdfView::ScaleOf(int index, const Rect& inner) const {
  const Pdf::PageSize& size = sizes_[index];
  switch (zoomMode_) {
    case ZoomMode::kFitWidth: return inner.width / static_cast<double>(size.width);
    case ZoomMode::kFitPage:
      return std::min(inner.width / static_cast<double>(size.width),
                      inner.height / static_cast<double>(size.height));
    case ZoomMode::kPercent: break;
  }
  return zoomPercent_ / 75.0;
}

void CPdfView::Build(Layout* layout) const {
  layout->base = BaseInner();
  layout->mode = zoomMode_;
  layout->percent = zoomPercent_;
  layout->sizesVersion = sizesVersion_;
  int count = static_cast<int>(sizes_.size());
  layout->pages.assign(count, {});
  layout->tops.assign(count, 0);
  int y = 0, widest = 0;
  for (int i = 0; i < count; ++i) {
    double scale = ScaleOf(i, layout->base);
    Size page{std::max(static_cast<int>(std::lround(sizes_[i].width * scale)), 1),
              std::max(static_cast<int>(std::lround(sizes_[i].height * scale)), 1)};
    layout->pages[i] = page;
    layout->tops[i] = y;
    y += page.height + (i + 1 < count ? kPageGap : 0);
    widest = std::max(widest, page.width);
  }
  layout->contentWidth = widest;
  layout->contentHeight = count > 0 ? y : 0;
  layout->horizontalBar = widest > layout->base.width;
}

const CPdfView::Layout& CPdfView::Current() const {
  Rect base = BaseInner();
  if (layout_.base == base && layout_.mode == zoomMode_ && layout_.percent == zoomPercent_ &&
      layout_.sizesVersion == sizesVersion_) {
    return layout_;
  }
  bool keep = !layout_.pages.empty() && layout_.pages.size() == sizes_.size();
  Point corner{layout_.base.x, layout_.base.y};
  Place top = keep ? PlaceAt(layout_, corner) : Place{};
  Layout fresh;
  Build(&fresh);
  layout_ = std::move(fresh);
  if (keep) ScrollToPlace(layout_, top, {base.x, base.y});
  ClampScroll();
  return layout_;
}

Rect CPdfView::InnerRect() const {
  const Layout& layout = Current();
  Rect inner = layout.base;
  if (layout.horizontalBar) inner.height = std::max(inner.height - kBarWidth, 1);
  return inner;
}

CPdfView::Place CPdfView::PlaceAt(const Layout& layout, Point at) const {
  Place place;
  if (layout.pages.empty()) return place;
  Rect inner = layout.base;
  int y = at.y - inner.y + scrollY_;
  auto after = std::upper_bound(layout.tops.begin(), layout.tops.end(), y);
  place.page = std::max(static_cast<int>(after - layout.tops.begin()) - 1, 0);
  const Size& page = layout.pages[place.page];
  int left = (std::max(layout.contentWidth, inner.width) - page.width) / 2;
  place.fy = static_cast<double>(y - layout.tops[place.page]) / page.height;
  place.fx = static_cast<double>(at.x - inner.x + scrollX_ - left) / page.width;
  return place;
}

void CPdfView::ScrollToPlace(const Layout& layout, const Place& place, Point at) const {
  if (place.page < 0 || place.page >= static_cast<int>(layout.pages.size())) return;
  Rect inner = layout.base;
  const Size& page = layout.pages[place.page];
  int left = (std::max(layout.contentWidth, inner.width) - page.width) / 2;
  scrollY_ =
      static_cast<int>(std::lround(layout.tops[place.page] + place.fy * page.height - (at.y - inner.y)));
  scrollX_ = static_cast<int>(std::lround(left + place.fx * page.width - (at.x - inner.x)));
  ClampScroll();
}

void CPdfView::ClampScroll() const {
  Rect inner = layout_.base;
  if (layout_.horizontalBar) inner.height = std::max(inner.height - kBarWidth, 1);
  scrollY_ = std::clamp(scrollY_, 0, std::max(layout_.contentHeight - inner.height, 0));
  scrollX_ = std::clamp(scrollX_, 0, std::max(layout_.contentWidth - inner.width, 0));
}

int CPdfView::RenderWidth() const {
  // Rounded up, so the raster is never stretched wider than it was rendered.
  return (std::clamp(BaseInner().width, 64, 6000) + 15) & ~15;
}

int CPdfView::RasterWidth(int index) const {
  return (std::clamp(Current().pages[index].width, 64, 6000) + 15) & ~15;
}

int CPdfView::ContentHeight() const {
  return document_ ? Current().contentHeight : 0;
}

int CPdfView::ContentWidth() const {
  return document_ ? Current().contentWidth : 0;
}

int CPdfView::MaxScroll() const {
  return std::max(ContentHeight() - InnerRect().height, 0);
}

int CPdfView::MaxScrollX() const {
  return std::max(ContentWidth() - InnerRect().width, 0);
}

int CPdfView::PageTop(int index) const {
  const Layout& layout = Current();
  if (index < 0 || index >= static_cast<int>(layout.tops.size())) return 0;
  return layout.tops[index];
}

Rect CPdfView::PageRect(int index) const {
  const Layout& layout = Current();
  if (index < 0 || index >= static_cast<int>(layout.pages.size())) return {};
  Rect inner = InnerRect();
  const Size& page = layout.pages[index];
  int left = (std::max(layout.contentWidth, inner.width) - page.width) / 2;
  return {inner.x - scrollX_ + left, inner.y - scrollY_ + layout.tops[index], page.width, page.height};
}

Rect CPdfView::TrackRect() const {
  Rect inner = InnerRect();
  return {inner.x + inner.width, inner.y, kBarWidth, inner.height};
}

Rect CPdfView::ThumbRect() const {
  return Thumb(TrackRect(), InnerRect().height, ContentHeight(), scrollY_, MaxScroll(), true);
}

Rect CPdfView::HTrackRect() const {
  Rect inner = InnerRect();
  return {inner.x, inner.y + inner.height, inner.width, kBarWidth};
}

Rect CPdfView::HThumbRect() const {
  return Thumb(HTrackRect(), InnerRect().width, ContentWidth(), scrollX_, MaxScrollX(), false);
}

std::pair<int, int> CPdfView::VisiblePages() const {
  const Layout& layout = Current();
  if (layout.pages.empty()) return {0, -1};
  int height = InnerRect().height;
  auto pageAt = [&](int y) {
    auto after = std::upper_bound(layout.tops.begin(), layout.tops.end(), y);
    return std::max(static_cast<int>(after - layout.tops.begin()) - 1, 0);
  };
  int first = pageAt(scrollY_);
  // A view starting in the gap below a page starts with the next one.
  if (scrollY_ >= layout.tops[first] + layout.pages[first].height && first + 1 < pageCount_) ++first;
  return {first, std::max(pageAt(scrollY_ + height - 1), first)};
}

int CPdfView::MostVisiblePage() const {
  auto [first, last] = VisiblePages();
  const Layout& layout = Current();
  int top = scrollY_, bottom = scrollY_ + InnerRect().height;
  int best = first, bestShown = -1;
  for (int i = first; i <= last; ++i) {
    int shown = std::min(bottom, layout.tops[i] + layout.pages[i].height) - std::max(top, layout.tops[i]);
    if (shown > bestShown) best = i, bestShown = shown;
  }
  return best;
}

void CPdfView::Scrolled() {
  if (!document_ || pageCount_ < 1) return;
  int most = MostVisiblePage();
  if (most == page_) return;
  page_ = most;
  Notify();
}

const Pdf::PageRaster* CPdfView::Raster(int index) {
  int width = RasterWidth(index);
  auto cached = rasters_.find(index);
  if (cached != rasters_.end() && cached->second.width == width && !cached->second.raster.Empty())
    return &cached->second.raster;
  Pdf::PageRaster fresh;
  std::string message;
  prefetched_.erase({index, width});
  if (!document_->RenderPage(index, width, &fresh, &message)) {
    error_ = message;
    rasters_.erase(index);
    return nullptr;
  }
  if (fresh.Empty()) {
    error_ = "El motor devolvio una hoja vacia.";
    rasters_.erase(index);
    return nullptr;
  }
  if (sizesGuessed_) {
    // The raster tells the page's proportions; the layout follows from the next paint on.
    float height = sizes_[index].width * fresh.height / fresh.width;
    if (std::abs(height - sizes_[index].height) > 0.5f) {
      sizes_[index].height = height;
      ++sizesVersion_;
      Invalidate();
    }
  }
  Cached& entry = rasters_[index];
  entry.width = width;
  entry.raster = std::move(fresh);
  return &entry.raster;
}

void CPdfView::KeepRastersNear(int first, int last) {
  // The pages in view and one on each side stay; the rest are rendered again when they return.
  std::erase_if(rasters_,
                [&](const auto& entry) { return entry.first < first - 1 || entry.first > last + 1; });
  std::erase_if(prefetched_,
                [&](const auto& asked) { return asked.first < first - 2 || asked.first > last + 2; });
}

void CPdfView::PrefetchAround(int first, int last) {
  ahead_ = {first, last};
  VyApp* app = VyApp::Current();
  if (!app || !app->Backend()) return AskAhead();
  if (askPosted_) return;
  askPosted_ = true;
  app->Post([self = std::weak_ptr<CPdfView*>(self_)] {
    if (std::shared_ptr<CPdfView*> view = self.lock()) (*view)->AskAhead();
  });
}

void CPdfView::AskAhead() {
  askPosted_ = false;
  auto [first, last] = ahead_;
  if (!document_ || last < first) return;
  for (int index : {last + 1, first - 1}) {
    if (index < 0 || index >= pageCount_ || rasters_.count(index)) continue;
    int width = RasterWidth(index);
    const Size& page = Current().pages[index];
    long long pixels = static_cast<long long>(width) * page.height * width / std::max(page.width, 1);
    if (pixels > kMaxPrefetchPixels || !prefetched_.insert({index, width}).second) continue;
    document_->Prefetch(index, width);
  }
}

void CPdfView::Paint(CCanvas& canvas) {
  canvas.FillRect(rect_, background_);
  if (!document_) {
    DrawCentered(canvas, error_.empty() ? "Sin documento PDF cargado." : error_, InnerRect());
    return;
  }
  Rect inner = InnerRect();
  auto [first, last] = VisiblePages();
  // A document shorter than the view ends on paper, as one page on a desk would.
  bool stretchLast = zoomMode_ == ZoomMode::kFitWidth && Current().contentHeight < inner.height;
  canvas.Save();
  canvas.SetClip(inner);
  for (int i = first; i <= last; ++i) PaintPage(canvas, i, inner, stretchLast && i == pageCount_ - 1);
  canvas.Restore();
  PaintScrollBars(canvas);
  CWindow* window = Window();
  if (window && window->Focused() == this && window->KeyboardFocus())
    canvas.DrawRect({rect_.x + 1, rect_.y + 1, rect_.width - 2, rect_.height - 2}, kFocusFrame, 2);
  KeepRastersNear(first, last);
  PrefetchAround(first, last);
}

void CPdfView::PaintPage(CCanvas& canvas, int index, const Rect& inner, bool stretchToBottom) {
  Rect page = PageRect(index);
  Rect sheet = page;
  if (stretchToBottom) sheet.height = std::max(page.height, inner.Bottom() - page.y);
  canvas.FillRect({sheet.x + 3, sheet.y + 3, sheet.width, sheet.height}, kShadow);
  canvas.FillRect(sheet, kSheet);
  std::string message;
  if (const Pdf::PageRaster* raster = Raster(index)) {
    if (!DrawVisibleRows(canvas, *raster, page, inner))
      message = "El backend no soporta pintar rasteres (DrawImageRGBA).";
  } else {
    message = error_;
  }
  if (!message.empty())
    DrawCentered(canvas, message, {sheet.x, sheet.y, sheet.width, std::max(sheet.height, 60)});
  canvas.DrawRect(sheet, kSheetBorder, 1);
}

void CPdfView::PaintScrollBars(CCanvas& canvas) {
  if (MaxScroll() >= 1) {
    canvas.FillRect(TrackRect(), kTrack);
    canvas.FillRoundRect(ThumbRect(), 5, draggingThumb_ ? kThumbDragged : kThumb);
  }
  if (MaxScrollX() >= 1) {
    canvas.FillRect(HTrackRect(), kTrack);
    canvas.FillRoundRect(HThumbRect(), 5, draggingHThumb_ ? kThumbDragged : kThumb);
  }
}

bool CPdfView::HandleScrollBarPress(const Event& e) {
  bool vertical = MaxScroll() > 0 && TrackRect().Contains(e.x, e.y);
  bool horizontal = !vertical && MaxScrollX() > 0 && HTrackRect().Contains(e.x, e.y);
  if (!vertical && !horizontal) return false;
  Rect thumb = vertical ? ThumbRect() : HThumbRect();
  if (thumb.Contains(e.x, e.y)) {
    (vertical ? draggingThumb_ : draggingHThumb_) = true;
    grabOffset_ = vertical ? e.y - thumb.y : e.x - thumb.x;
    Invalidate();
  } else if (vertical) {
    // A click beside the thumb pages towards the click.
    int page = InnerRect().height * 4 / 5;
    ScrollBy(e.y >= thumb.y + thumb.height ? page : -page);
  } else {
    int page = InnerRect().width * 4 / 5;
    ScrollXBy(e.x >= thumb.x + thumb.width ? page : -page);
  }
  return true;
}

void CPdfView::OnEvent(Event& e) {
  switch (e.kind) {
    case kMouseMove:
      if (draggingThumb_ || draggingHThumb_) {
        e.handled = true;
        bool vertical = draggingThumb_;
        Rect track = vertical ? TrackRect() : HTrackRect(), thumb = vertical ? ThumbRect() : HThumbRect();
        int room = vertical ? track.height - thumb.height : track.width - thumb.width;
        int maxScroll = vertical ? MaxScroll() : MaxScrollX();
        if (room < 1 || maxScroll < 1) return;
        int along = vertical ? e.y - grabOffset_ - track.y : e.x - grabOffset_ - track.x;
        double ratio = std::clamp(static_cast<double>(along) / room, 0.0, 1.0);
        (vertical ? scrollY_ : scrollX_) = std::clamp(static_cast<int>(maxScroll * ratio), 0, maxScroll);
        Invalidate();
        Scrolled();
      } else if (panning_) {
        e.handled = true;
        ScrollXBy(last_.x - e.x);
        ScrollBy(last_.y - e.y);
        last_ = {e.x, e.y};
      }
      return;
    case kMouseDown:
      if (e.button != kLeftButton) return;
      e.handled = true;
      if (HandleScrollBarPress(e)) return;
      panning_ = true;
      last_ = {e.x, e.y};
      return;
    case kMouseUp:
      if (!draggingThumb_ && !draggingHThumb_ && !panning_) return;
      draggingThumb_ = draggingHThumb_ = panning_ = false;
      e.handled = true;
      Invalidate();
      return;
    case kWheel: HandleWheel(e); return;
    case kKeyPressed: HandleKey(e); return;
    case kFocusGained:
    case kFocusLost: Invalidate(); return;
    default: return;
  }
}

void CPdfView::HandleWheel(Event& e) {
  e.handled = true;
  int steps = std::clamp(NormalizeWheelSteps(e.wheelSteps), -3, 3);
  if (e.modifiers & kModControl) {
    // One zoom step per notch turned, around the point under the pointer.
    int now = ZoomPercent(), target = now;
    for (int step : kZoomLadder) {
      if (steps > 0 && step > now) {
        target = step;
        break;
      }
      if (steps < 0 && step < now) target = step;
    }
    ChangeZoom(ZoomMode::kPercent, target, {e.x, e.y});
  } else if (e.modifiers & kModShift) {
    ScrollXBy(-kLineStep * steps);
  } else {
    ScrollBy(-kLineStep * steps);
  }
}

void CPdfView::HandleKey(Event& e) {
  if (e.modifiers & kModControl) {
    switch (e.key) {
      case kKeyPlus: ZoomIn(); break;
      case kKeyMinus: ZoomOut(); break;
      case kKey0: SetZoomMode(ZoomMode::kFitWidth); break;
      default: return;
    }
    e.handled = true;
    return;
  }
  switch (e.key) {
    case kKeyUp: ScrollBy(-kLineStep); break;
    case kKeyDown: ScrollBy(kLineStep); break;
    case kKeyLeft:
    case kKeyRight:
      if (MaxScrollX() < 1) return;  // nothing to move: the keys stay the window's
      ScrollXBy(e.key == kKeyLeft ? -kLineStep : kLineStep);
      break;
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
