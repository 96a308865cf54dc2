#include <cmath>
#include <functional>
#include <string>

#include "tests/toolkit/headless_fixture.h"
#include "toolkit/pdfview.h"

namespace Vy {
namespace {

// ScriptedDocument is a page source of flat-coloured pages of 600 points `ratio` times as tall
// as wide. It records every render and prefetch as (page, width) and every JPEG export as
// "page width quality path".
class ScriptedDocument : public Pdf::IDocument {
 public:
  explicit ScriptedDocument(int pages) : pages_(pages) {}
  int PageCount() const override { return pages_; }
  bool RenderPage(int index, int width, Pdf::PageRaster* raster, std::string* message) override {
    renders.push_back({index, width});
    *raster = {};
    if (!failure.empty()) *message = failure;
    if (!failure.empty() || emptySuccess) return failure.empty();
    raster->width = width;
    raster->height = static_cast<int>(std::lround(width * ratio));
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    for (int i = 0; i < raster->width * raster->height; ++i)
      bytes->insert(bytes->end(), {static_cast<uint8_t>(40 * index), 100, 200, 255});
    raster->pixels = std::shared_ptr<const uint8_t>(bytes, bytes->data());
    return true;
  }
  bool PageSizes(std::vector<Pdf::PageSize>* sizes, std::string*) override {
    sizes->assign(pages_, {600, static_cast<float>(600 * ratio)});
    return true;
  }
  void Prefetch(int index, int width) override { prefetches.push_back({index, width}); }
  bool SavePageJpg(int index, int width, int quality, const std::string& path, std::string*) override {
    jpegs.push_back(std::to_string(index) + " " + std::to_string(width) + " " + std::to_string(quality) +
                    " " + path);
    return true;
  }

  std::vector<std::pair<int, int>> renders, prefetches;
  std::vector<std::string> jpegs;
  std::string failure;
  bool emptySuccess = false;
  double ratio = 2.0;

 private:
  int pages_;
};

class PageForm : public CWindow {
 public:
  void Changed(int page, int count) { changes.push_back({page, count}); }
  std::vector<std::pair<int, int>> changes;
};

// The view fills 540 x 328 of the window: its inner area is 500 x 300 at (14, 14), the scroll
// bar at x 514 ... 525. Pages render at 512 pixels, 1024 tall, shown 1000 tall, one below the
// other with a gap of 12.
class PdfViewTest : public HeadlessTest {
 protected:
  PdfViewTest() : win(Open(form, {560, 360})) {
    view = form.AddPdfView({0, 0, 540, 328});
    view->OnPageChanged(&form, &PageForm::Changed);
    form.SetFocus(view);
  }
  ScriptedDocument* LoadScripted(int pages) {
    auto document = std::make_unique<ScriptedDocument>(pages);
    ScriptedDocument* raw = document.get();
    EXPECT_TRUE(view->Load(std::move(document), "guion.pdf"));
    win.Paint();
    return raw;
  }
  PageForm form;
  CHeadlessWindowImpl& win;
  CPdfView* view;
};

TEST_F(PdfViewTest, GeometryFollowsTheControlAndThePage) {
  struct Case {
    int controlWidth;
    int innerWidth;
    int renderWidth;
  } widths[] = {{540, 500, 512}, {533, 493, 496}, {80, 40, 64}, {7000, 6960, 6000}};
  for (const Case& c : widths) {
    SCOPED_TRACE(c.controlWidth);
    view->SetBounds({0, 0, c.controlWidth, 328});
    EXPECT_EQ(view->InnerRect(), (Rect{14, 14, c.innerWidth, 300}));
    EXPECT_EQ(view->RenderWidth(), c.renderWidth);
  }
  view->SetBounds({0, 0, 540, 328});
  EXPECT_EQ(view->ContentHeight(), 0);
  EXPECT_TRUE(view->ThumbRect().Empty());
  LoadScripted(3);
  EXPECT_EQ(view->ContentHeight(), 3024);
  EXPECT_EQ(view->MaxScroll(), 2724);
  EXPECT_EQ(view->TrackRect(), (Rect{514, 14, 12, 300}));
  struct Thumb {
    int scroll;
    Rect rect;  // height 300 * 300 / 3024 = 29
  } thumbs[] = {{0, {515, 14, 10, 29}}, {1362, {515, 149, 10, 29}}, {2724, {515, 285, 10, 29}}};
  for (const Thumb& t : thumbs) {
    view->ScrollBy(t.scroll - view->Scroll());
    EXPECT_EQ(view->ThumbRect(), t.rect);
  }
  view->SetBounds({0, 0, 540, 60});  // inner height 32: 32 * 32 / content is below 24
  win.Paint();
  EXPECT_EQ(view->ThumbRect().height, 24);
}

TEST_F(PdfViewTest, OneRasterIsCachedPerPageAndRoundedWidth) {
  ScriptedDocument* document = LoadScripted(3);
  win.Paint();
  win.Resize({565, 360});
  view->SetBounds({0, 0, 537, 328});  // inner 497 still renders at 512
  win.Paint();
  view->SetBounds({0, 0, 553, 328});  // inner 513 renders at 528
  win.Paint();
  view->GoToPage(1);
  win.Paint();
  EXPECT_EQ(document->renders, (std::vector<std::pair<int, int>>{{0, 512}, {0, 528}, {1, 528}}));
}

TEST_F(PdfViewTest, PagesKeysAndCallback) {
  LoadScripted(3);
  view->ScrollBy(100);
  EXPECT_TRUE(view->GoToPage(0));  // the current page: no change, no callback
  EXPECT_EQ(view->Scroll(), 100);
  EXPECT_FALSE(view->GoToPage(3));
  EXPECT_FALSE(view->GoToPage(-1));
  EXPECT_TRUE(win.Press(kKeyPageDown));
  EXPECT_EQ(view->Scroll(), view->PageTop(1)) << "a page gone to starts at the top of the view";
  EXPECT_EQ(view->PageTop(1), 1012);
  EXPECT_TRUE(win.Press(kKeyEnd));
  EXPECT_TRUE(win.Press(kKeyPageDown));  // already on the last page
  EXPECT_TRUE(win.Press(kKeyPageUp));
  EXPECT_TRUE(win.Press(kKeyHome));
  EXPECT_FALSE(win.Press(kKeyLeft));
  EXPECT_FALSE(win.Press(kKeyRight));
  view->Close();
  view->Close();
  EXPECT_FALSE(view->Open("/no/existe.pdf"));
  EXPECT_EQ(view->LastError(), "No se encuentra el archivo PDF.");
  EXPECT_FALSE(view->HasDocument());
  EXPECT_EQ(form.changes,
            (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {2, 3}, {1, 3}, {0, 3}, {-1, 0}, {-1, 0}}));
}

TEST_F(PdfViewTest, WheelKeysPanningAndScrollBar) {
  LoadScripted(1);
  struct Step {
    const char* what;
    std::function<void()> act;
    int scroll;
  } steps[] = {
      {"wheel 5 steps is clamped to 3", [&] { win.Wheel(100, 100, -5); }, 120},
      {"wheel up one step", [&] { win.Wheel(100, 100, 1); }, 80},
      {"raw delta of two notches", [&] { win.Wheel(100, 100, -240); }, 160},
      {"down key", [&] { win.Press(kKeyDown); }, 200},
      {"up key", [&] { win.Press(kKeyUp); }, 160},
      {"wheel past the top", [&] { win.Wheel(100, 100, 3), win.Wheel(100, 100, 3); }, 0},
      {"pan by dragging the sheet up",
       [&] {
         win.MouseDown(200, 200), win.MouseMove(200, 150), win.MouseMove(200, 120), win.MouseUp(200, 120);
       },
       80},
      {"track below the thumb pages down", [&] { win.Click(520, 300); }, 320},
      {"track above the thumb pages up", [&] { win.Click(520, 20); }, 80},
      {"thumb dragged past the end",
       [&] {
         Rect thumb = view->ThumbRect();
         win.MouseDown(520, thumb.y + 5), win.MouseMove(520, 900), win.MouseUp(520, 900);
       },
       700},
      {"right button does not pan", [&] { win.MouseDown(200, 200, kRightButton), win.MouseMove(200, 100); },
       700},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(view->Scroll(), step.scroll) << step.what;
  }
}

TEST_F(PdfViewTest, FailuresAndJpegArguments) {
  ScriptedDocument* document = LoadScripted(2);
  document->failure = "El motor fallo.";
  view->GoToPage(1);
  win.Paint();
  EXPECT_EQ(view->LastError(), "El motor fallo.");
  document->failure.clear();
  document->emptySuccess = true;
  view->GoToPage(0);  // page 0 is kept from the first paint: no render
  view->GoToPage(1);
  win.Paint();
  EXPECT_EQ(view->LastError(), "El motor devolvio una hoja vacia.");
  view->GoToPage(0);

  std::string error;
  struct Case {
    int quality, width;
    const char* sent;
  } cases[] = {{0, 10, "0 16 90 a.jpg"},
               {150, 0, "0 1600 90 a.jpg"},
               {1, -4, "0 1600 1 a.jpg"},
               {100, 6001, "0 6000 100 a.jpg"}};
  for (const Case& c : cases) {
    EXPECT_TRUE(view->SavePageJpg("a.jpg", c.quality, &error, c.width));
    EXPECT_EQ(document->jpegs.back(), c.sent);
  }
  EXPECT_FALSE(view->SavePageJpg("", 90, &error));
  EXPECT_EQ(error, "Ruta de destino vacia.");
  EXPECT_EQ(document->jpegs.size(), 4u);
  view->Close();  // destroys the document
  EXPECT_FALSE(view->SavePageJpg("e.jpg", 90, &error));
  EXPECT_EQ(error, "No hay documento cargado.");
}

TEST_F(PdfViewTest, PaintsTheSheetWithoutStretchingThePage) {
  const Color background{226, 229, 236, 255};
  EXPECT_TRUE(Near(win.PixelAt(270, 160), background)) << "empty view";
  auto landscape = std::make_unique<ScriptedDocument>(1);
  landscape->ratio = 0.5;  // a 512 x 256 raster, 250 tall at the inner width
  view->Load(std::move(landscape), "apaisado.pdf");
  EXPECT_TRUE(Near(win.PixelAt(100, 100), {0, 100, 200, 255})) << "page";
  EXPECT_TRUE(Near(win.PixelAt(100, 290), kWhite)) << "sheet below the page, which keeps its proportions";
  EXPECT_TRUE(Near(win.PixelAt(5, 160), background)) << "margin";
  EXPECT_EQ(view->MaxScroll(), 0);
  EXPECT_TRUE(Near(win.PixelAt(520, 160), background)) << "no scroll bar";
}

// Pages of 600 x 1200 points in the 500 x 300 inner area: fit width shows them 500 x 1000
// (62.5 %), fit page 150 x 300, and 100 % is 4/3 pixel per point.
TEST_F(PdfViewTest, ZoomGeometry) {
  int zoomChanges = 0;
  view->OnZoomChanged([&] { ++zoomChanges; });
  LoadScripted(3);
  struct Case {
    const char* what;
    std::function<void()> act;
    CPdfView::ZoomMode mode;
    int percent;
    Rect page1;  // in the window, at the top of the document
    int maxScroll, maxScrollX;
  } cases[] = {
      {"fit width, the default", [] {}, CPdfView::ZoomMode::kFitWidth, 63, {14, 14, 500, 1000}, 2724, 0},
      {"fit page", [&] { view->SetZoomMode(CPdfView::ZoomMode::kFitPage); }, CPdfView::ZoomMode::kFitPage, 19,
       {189, 14, 150, 300}, 624, 0},
      {"100 %: wider than the view, with a bar below", [&] { view->SetZoomPercent(100); },
       CPdfView::ZoomMode::kPercent, 100, {14, 14, 800, 1600}, 4536, 300},
      {"below the least", [&] { view->SetZoomPercent(10); }, CPdfView::ZoomMode::kPercent, 25,
       {164, 14, 200, 400}, 924, 0},
      {"above the most", [&] { view->SetZoomPercent(1000); }, CPdfView::ZoomMode::kPercent, 400,
       {14, 14, 3200, 6400}, 18936, 2700},
      {"Control+0 fits the width again", [&] { win.Press(kKey0, kModControl); },
       CPdfView::ZoomMode::kFitWidth, 63, {14, 14, 500, 1000}, 2724, 0},
      {"Control++ steps up the ladder", [&] { win.Press(kKeyPlus, kModControl); }, CPdfView::ZoomMode::kPercent,
       67, {14, 14, 536, 1072}, 2952, 36},
      {"Control+- steps down", [&] { win.Press(kKeyMinus, kModControl), win.Press(kKeyMinus, kModControl); },
       CPdfView::ZoomMode::kPercent, 33, {132, 14, 264, 528}, 1308, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.act();
    view->ScrollBy(-100000);
    view->ScrollXBy(-100000);
    EXPECT_EQ(view->Zoom(), c.mode);
    EXPECT_EQ(view->ZoomPercent(), c.percent);
    EXPECT_EQ(view->PageRect(0), c.page1);
    EXPECT_EQ(view->MaxScroll(), c.maxScroll);
    EXPECT_EQ(view->MaxScrollX(), c.maxScrollX);
    EXPECT_EQ(view->HThumbRect().Empty(), c.maxScrollX == 0);
  }
  EXPECT_EQ(zoomChanges, 8);

  // Control with the wheel zooms around the pointer: the point under it stays there.
  view->SetZoomMode(CPdfView::ZoomMode::kFitWidth);
  view->ScrollBy(1500);  // page 2, 488 pixels down
  Rect before = view->PageRect(1);
  win.Wheel(300, 200, 1, kModControl);
  Rect after = view->PageRect(1);
  EXPECT_EQ(view->ZoomPercent(), 67);
  EXPECT_NEAR((300.0 - before.x) / before.width, (300.0 - after.x) / after.width, 0.01);
  EXPECT_NEAR((200.0 - before.y) / before.height, (200.0 - after.y) / after.height, 0.01);

  // Dragging the sheet pans both ways; Shift with the wheel and the arrows move sideways.
  view->SetZoomPercent(200);
  view->ScrollXBy(-100000);
  int x = view->ScrollX(), y = view->Scroll();
  win.MouseDown(300, 200), win.MouseMove(250, 170), win.MouseUp(250, 170);
  EXPECT_EQ(view->ScrollX(), x + 50);
  EXPECT_EQ(view->Scroll(), y + 30);
  win.Wheel(300, 200, -1, kModShift);
  EXPECT_EQ(view->ScrollX(), x + 90);
  EXPECT_TRUE(win.Press(kKeyLeft));
  EXPECT_EQ(view->ScrollX(), x + 50);
}

TEST_F(PdfViewTest, ContinuousScrollingAndPagesAhead) {
  ScriptedDocument* document = LoadScripted(3);
  EXPECT_EQ(document->renders, (std::vector<std::pair<int, int>>{{0, 512}}));
  EXPECT_TRUE(document->prefetches.empty()) << "asked for once the frame is out";
  backend().RunPending();
  EXPECT_EQ(document->prefetches, (std::vector<std::pair<int, int>>{{1, 512}})) << "the next page, ahead";
  // The wheel goes on past the end of page 1 into page 2, which becomes current once it fills
  // most of the view, and back.
  view->ScrollBy(840);
  win.Paint();
  EXPECT_EQ(view->CurrentPage(), 0);
  for (int i = 0; i < 2; ++i) win.Wheel(100, 100, -1);
  win.Paint();
  EXPECT_EQ(view->Scroll(), 920);
  EXPECT_EQ(view->CurrentPage(), 1) << "page 2 fills 208 of the 300 rows";
  EXPECT_TRUE(Near(win.PixelAt(100, 90), {0, 100, 200, 255})) << "page 1 above the gap";
  EXPECT_TRUE(Near(win.PixelAt(100, 100), {226, 229, 236, 255})) << "the gap";
  EXPECT_TRUE(Near(win.PixelAt(100, 200), {40, 100, 200, 255})) << "page 2";
  EXPECT_EQ(document->renders, (std::vector<std::pair<int, int>>{{0, 512}, {1, 512}}));
  backend().RunPending();
  EXPECT_EQ(document->prefetches.back(), (std::pair<int, int>{2, 512}));
  win.Wheel(100, 100, 3);
  EXPECT_EQ(view->CurrentPage(), 0);
  EXPECT_EQ(form.changes, (std::vector<std::pair<int, int>>{{0, 3}, {1, 3}, {0, 3}}));
  // Far from the view the rasters go; coming back renders again.
  view->GoToPage(2);
  win.Paint();
  view->GoToPage(0);
  win.Paint();
  EXPECT_EQ(document->renders.back(), (std::pair<int, int>{0, 512}));
}

}  // namespace
}  // namespace Vy
