#pragma once

#include <functional>
#include <memory>
#include <string>

#include "render/client/document.h"
#include "toolkit/callback.h"
#include "toolkit/control.h"

namespace Vy {

// CPdfView shows one page of a PDF document at a time, as a white sheet fitted to the
// control's width, with a vertical scroll bar, panning by dragging, wheel and keyboard
// scrolling (Up, Down), page keys (Home, End, Page Up, Page Down) and a page-changed callback.
// It keeps one raster of the current page at the displayed width and renders again only when
// the page or the (16-pixel-rounded) width changes. Failures are kept as LastError and shown on
// the sheet or in the empty view; nothing throws.
class CPdfView : public CControl {
 public:
  CPdfView() { rect_ = {0, 0, 400, 300}; }

  // OnPageChanged binds the callback called with (current page, page count) after every open,
  // close and page change; the current page is -1 while no document is loaded.
  template <typename T>
  void OnPageChanged(T* object, void (T::*method)(int, int)) {
    onPageChanged_ = Bind(object, method);
  }
  void OnPageChanged(std::function<void(int, int)> callback) { onPageChanged_ = std::move(callback); }

  // Open shows the PDF at `path` through the render engine, on its first page. On failure the
  // view is left empty (not on the previous document) with the engine's message as LastError,
  // and the callback gets -1 as the page.
  bool Open(const std::string& path);
  // Load shows an already opened page source; `path` is what Path reports. Null is refused
  // like a failed open.
  bool Load(std::unique_ptr<Pdf::IDocument> document, const std::string& path);
  // Close drops the document, when there is one.
  void Close();
  // GoToPage moves to page `index` (from 0), at its top. It returns false without a document or
  // for a page outside it, and true without any change for the current page.
  bool GoToPage(int index);
  bool GoToFirstPage() { return GoToPage(0); }
  // ScrollBy moves the sheet up by `delta` pixels (down when negative), within 0 ... MaxScroll.
  void ScrollBy(int delta);
  // SavePageJpg writes the current page as a JPEG file at `width` pixels (1600 when 0 or less,
  // else clamped to 16 ... 6000) and `quality` (90 unless within 1 ... 100). It returns false
  // with a Spanish message in `error`.
  bool SavePageJpg(const std::string& path, int quality, std::string* error, int width = 0);

  const std::string& LastError() const { return error_; }
  const std::string& Path() const { return path_; }
  int CurrentPage() const { return page_; }
  int PageCount() const { return pageCount_; }
  bool HasDocument() const { return document_ != nullptr; }
  void SetMargin(int margin);
  void SetBackground(Color color);

  // Geometry in window coordinates. The inner rectangle holds the sheet; the 12 pixels to its
  // right hold the scroll bar.
  Rect InnerRect() const;
  // RenderWidth is the inner width clamped to 64 ... 6000, rounded up to a multiple of 16, so a
  // resize by a few pixels reuses the cached raster.
  int RenderWidth() const;
  // ContentHeight is the page's height at the inner width (0 before a raster exists).
  int ContentHeight() const;
  int MaxScroll() const;
  int Scroll() const { return scroll_; }
  Rect TrackRect() const;
  // ThumbRect is empty while nothing scrolls.
  Rect ThumbRect() const;

  void Paint(CCanvas& canvas) override;
  void OnEvent(Event& event) override;

 private:
  void ResetCache();
  // EnsureRaster renders the current page unless the cached raster already fits; false with
  // LastError set.
  bool EnsureRaster();
  void PaintScrollBar(CCanvas& canvas);
  void HandleKey(Event& event);
  void Notify();

  std::unique_ptr<Pdf::IDocument> document_;
  std::string path_;
  std::string error_;
  int page_ = 0;
  int pageCount_ = 0;
  int margin_ = 14;
  Color background_{226, 229, 236, 255};
  int scroll_ = 0;
  Pdf::PageRaster raster_;
  int rasterPage_ = -1;
  int rasterWidth_ = 0;
  bool draggingThumb_ = false;
  int grabOffset_ = 0;
  bool panning_ = false;
  int lastY_ = 0;
  std::function<void(int, int)> onPageChanged_;
};

}  // namespace Vy
