#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "render/client/document.h"
#include "toolkit/callback.h"
#include "toolkit/control.h"

namespace Vy {

// CPdfView shows the pages of a PDF document one below the other as white sheets, fitted to
// the control's width (the default), fitted whole into it, or at 25 ... 400 % of their printed
// size (100 % is 96 pixels to the inch). It scrolls continuously from page to page with a
// vertical scroll bar (and a horizontal one while the pages are wider than the view), by
// dragging the sheet, with the wheel (Shift: sideways; Control: zoom around the pointer) and
// with the keyboard: Up, Down, Left, Right, Home, End, Page Up, Page Down, and Control with +,
// - and 0 for zoom in, zoom out and fit width. The current page is the one that fills most of
// the view (or the one just gone to); a callback reports it. Visible pages are rendered at
// their displayed width and kept while in or next to the view; the pages just outside it are
// rendered ahead on the engine's worker, so that the next page is there when asked for.
// Failures are kept as LastError and shown on the sheet or in the empty view; nothing throws.
class CPdfView : public CControl {
 public:
  enum class ZoomMode { kFitWidth, kFitPage, kPercent };
  static constexpr int kMinZoom = 25;
  static constexpr int kMaxZoom = 400;
  // Pixels of background between two pages.
  static constexpr int kPageGap = 12;

  CPdfView() { rect_ = {0, 0, 400, 300}; }

  // OnPageChanged binds the callback called with (current page, page count) after every open,
  // close and change of the current page; the current page is -1 while no document is loaded.
  template <typename T>
  void OnPageChanged(T* object, void (T::*method)(int, int)) {
    onPageChanged_ = Bind(object, method);
  }
  void OnPageChanged(std::function<void(int, int)> callback) { onPageChanged_ = std::move(callback); }
  // OnZoomChanged is called after every change of the zoom mode or percentage.
  template <typename T>
  void OnZoomChanged(T* object, void (T::*method)()) {
    onZoomChanged_ = Bind(object, method);
  }
  void OnZoomChanged(std::function<void()> callback) { onZoomChanged_ = std::move(callback); }

  // Open shows the PDF at `path` through the render engine, on its first page. On failure the
  // view is left empty (not on the previous document) with the engine's message as LastError,
  // and the callback gets -1 as the page.
  bool Open(const std::string& path);
  // Load shows an already opened page source; `path` is what Path reports. Null is refused
  // like a failed open. The zoom stays as it was.
  bool Load(std::unique_ptr<Pdf::IDocument> document, const std::string& path);
  // Close drops the document, when there is one.
  void Close();
  // GoToPage scrolls page `index` (from 0) to the top of the view and makes it current. It
  // returns false without a document or for a page outside it, and true without any change for
  // the current page.
  bool GoToPage(int index);
  bool GoToFirstPage() { return GoToPage(0); }
  // ShowPageArea makes page `index` current and scrolls so that its band from `top` to `bottom`
  // (points from the page's top edge) is in the middle of the view; false like GoToPage.
  bool ShowPageArea(int index, float top, float bottom);
  // ScrollBy moves the sheets up by `delta` pixels (down when negative), within 0 ... MaxScroll;
  // ScrollXBy moves them left, within 0 ... MaxScrollX.
  void ScrollBy(int delta);
  void ScrollXBy(int delta);

  // Zoom. SetZoomPercent clamps to kMinZoom ... kMaxZoom; ZoomIn and ZoomOut step along the
  // usual ladder of percentages from the current effective zoom; both keep the middle of the
  // view in place.
  void SetZoomMode(ZoomMode mode);
  void SetZoomPercent(int percent);
  void ZoomIn();
  void ZoomOut();
  ZoomMode Zoom() const { return zoomMode_; }
  // ZoomPercent is the effective zoom of the current page, also in the fit modes.
  int ZoomPercent() const;

  // SavePageJpg writes the current page as a JPEG file at `width` pixels (1600 when 0 or less,
  // else clamped to 16 ... 6000) and `quality` (90 unless within 1 ... 100). It returns false
  // with a Spanish message in `error`.
  bool SavePageJpg(const std::string& path, int quality, std::string* error, int width = 0);

  const std::string& LastError() const { return error_; }
  const std::string& Path() const { return path_; }
  int CurrentPage() const { return page_; }
  int PageCount() const { return pageCount_; }
  // PagePoints is page `index`'s size in points ((0, 0) outside the document).
  Pdf::PageSize PagePoints(int index) const {
    return index >= 0 && index < static_cast<int>(sizes_.size()) ? sizes_[index] : Pdf::PageSize{};
  }
  bool HasDocument() const { return document_ != nullptr; }
  void SetMargin(int margin);
  void SetBackground(Color color);

  // Geometry in window coordinates, following the control's rectangle. The inner rectangle
  // holds the sheets; the 12 pixels to its right hold the vertical scroll bar, and 12 below it
  // the horizontal one while the pages are wider than the view.
  Rect InnerRect() const;
  // RenderWidth is the fit-width raster width: the inner width clamped to 64 ... 6000, rounded
  // up to a multiple of 16, so a resize by a few pixels reuses the cached rasters.
  int RenderWidth() const;
  // ContentHeight and ContentWidth span every page as displayed, with the gaps (0 without a
  // document).
  int ContentHeight() const;
  int ContentWidth() const;
  int MaxScroll() const;
  int MaxScrollX() const;
  int Scroll() const { return scrollY_; }
  int ScrollX() const { return scrollX_; }
  // PageTop is where page `index` starts in the content (0 for the first page).
  int PageTop(int index) const;
  // PageRect is page `index` as displayed now, in window coordinates.
  Rect PageRect(int index) const;
  Rect TrackRect() const;
  // ThumbRect is empty while nothing scrolls; likewise the horizontal pair.
  Rect ThumbRect() const;
  Rect HTrackRect() const;
  Rect HThumbRect() const;

  void Paint(CCanvas& canvas) override;
  void OnEvent(Event& event) override;
  bool AcceptsFocus() const override { return true; }

 private:
  // Layout is the displayed size of every page for one inner size and zoom.
  struct Layout {
    Rect base;  // the inner rectangle before a horizontal bar
    ZoomMode mode = ZoomMode::kFitWidth;
    int percent = 100;
    int sizesVersion = -1;
    std::vector<Size> pages;  // displayed width and height
    std::vector<int> tops;
    int contentWidth = 0;
    int contentHeight = 0;
    bool horizontalBar = false;
  };
  struct Cached {
    int width = 0;
    Pdf::PageRaster raster;
  };
  // Place is a point of the document: a page and fractions of its width and height.
  struct Place {
    int page = 0;
    double fx = 0, fy = 0;
  };

  Rect BaseInner() const;
  // Current lays the pages out again when the control, the zoom or the page sizes changed,
  // keeping the place at the top of the view where it was.
  const Layout& Current() const;
  void Build(Layout* layout) const;
  double ScaleOf(int index, const Rect& inner) const;
  Place PlaceAt(const Layout& layout, Point at) const;
  void ScrollToPlace(const Layout& layout, const Place& place, Point at) const;
  void ClampScroll() const;
  void ChangeZoom(ZoomMode mode, int percent, Point focus);
  void ResetDocumentState();
  void ReadPageSizes();
  int RasterWidth(int index) const;
  // Raster gives page `index` at its displayed width, rendering it when needed; null with
  // LastError set on failure.
  const Pdf::PageRaster* Raster(int index);
  void PaintPage(CCanvas& canvas, int index, const Rect& inner, bool stretchToBottom);
  void PaintScrollBars(CCanvas& canvas);
  // VisiblePages is the first and last page meeting the view; (0, -1) without pages.
  std::pair<int, int> VisiblePages() const;
  void KeepRastersNear(int first, int last);
  // PrefetchAround asks for the pages just outside the view, once the frame being painted is
  // on the screen: rendering them must not slow that frame.
  void PrefetchAround(int first, int last);
  void AskAhead();
  // Scrolled recomputes the current page after the view moved, reporting a change.
  void Scrolled();
  int MostVisiblePage() const;
  bool HandleScrollBarPress(const Event& event);
  void HandleKey(Event& event);
  void HandleWheel(Event& event);
  void Notify();

  std::unique_ptr<Pdf::IDocument> document_;
  std::string path_;
  std::string error_;
  int page_ = 0;
  int pageCount_ = 0;
  int margin_ = 14;
  Color background_{226, 229, 236, 255};
  ZoomMode zoomMode_ = ZoomMode::kFitWidth;
  int zoomPercent_ = 100;
  // Page sizes in points; guessed (and corrected from each raster's proportions) when the page
  // source cannot tell them.
  std::vector<Pdf::PageSize> sizes_;
  bool sizesGuessed_ = false;
  int sizesVersion_ = 0;
  mutable Layout layout_;
  mutable int scrollX_ = 0;
  mutable int scrollY_ = 0;
  std::map<int, Cached> rasters_;
  std::set<std::pair<int, int>> prefetched_;  // (page, width) asked for ahead
  std::pair<int, int> ahead_{0, -1};          // the pages in view when the next ask was posted
  bool askPosted_ = false;
  // A posted ask holds it weakly, so it finds out when the view is gone.
  std::shared_ptr<CPdfView*> self_ = std::make_shared<CPdfView*>(this);
  bool draggingThumb_ = false;
  bool draggingHThumb_ = false;
  int grabOffset_ = 0;
  bool panning_ = false;
  Point last_;
  std::function<void(int, int)> onPageChanged_;
  std::function<void()> onZoomChanged_;
};

}  // namespace Vy
