#include <cmath>
#include <string>

#include "tests/toolkit/headless_fixture.h"
#include "toolkit/pdfview.h"

namespace Vy {
namespace {

// ScriptedDocument is a page source of flat-coloured pages `ratio` times as tall as wide. It
// records every render as (page, width) and every JPEG export as "page width quality path".
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
    for (int i = 0; i < raster->width * raster->height; ++i)
      raster->pixels.insert(raster->pixels.end(), {static_cast<uint8_t>(40 * index), 100, 200, 255});
    return true;
  }
  bool SavePageJpg(int index, int width, int quality, const std::string& path, std::string*) override {
    jpegs.push_back(std::to_string(index) + " " + std::to_string(width) + " " + std::to_string(quality) +
                    " " + path);
    return true;
  }

  std::vector<std::pair<int, int>> renders;
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
// bar at x 514 ... 525. Pages render at 512 pixels, 1024 tall, shown 1000 tall.
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
  EXPECT_EQ(view->ContentHeight(), 1000);
  EXPECT_EQ(view->MaxScroll(), 700);
  EXPECT_EQ(view->TrackRect(), (Rect{514, 14, 12, 300}));
  struct Thumb {
    int scroll;
    Rect rect;  // height 300 * 300 / 1000 = 90
  } thumbs[] = {{0, {515, 14, 10, 90}}, {350, {515, 119, 10, 90}}, {700, {515, 224, 10, 90}}};
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
  EXPECT_EQ(view->Scroll(), 0) << "a new page starts at its top";
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
  view->GoToPage(0);
  win.Paint();
  EXPECT_EQ(view->LastError(), "El motor devolvio una hoja vacia.");

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

}  // namespace
}  // namespace Vy
