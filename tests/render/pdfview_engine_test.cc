// The PDF view on the real engine and a real document, painted off-screen; the screenshot is
// kept in the build folder for a person to look at.
#include <gtest/gtest.h>

#include "tests/render/raster_compare.h"
#include "tests/support/pdf_documents.h"
#include "tests/support/test_support.h"
#include "tests/toolkit/headless_fixture.h"
#include "toolkit/pdfview.h"

namespace Vy {
namespace {

using testing_support::TempDir;

TEST_F(HeadlessTest, PdfViewShowsARealDocument) {
  TempDir dir;
  std::string pdf = dir.File("contrato.pdf");
  ASSERT_TRUE(testing_support::WriteSamplePdf(pdf, 3));
  CWindow form;
  CHeadlessWindowImpl& win = Open(form, {700, 900});
  CPdfView* view = form.AddPdfView({0, 0, 700, 900});
  std::vector<int> pages;
  view->OnPageChanged([&](int page, int) { pages.push_back(page); });
  ASSERT_TRUE(view->Open(pdf)) << view->LastError();
  EXPECT_EQ(view->PageCount(), 3);
  EXPECT_EQ(view->Path(), pdf);
  ASSERT_TRUE(win.SavePng(VY_BINARY_DIR "/tests/render/pdfview_screenshot.png"));
  EXPECT_EQ(view->LastError(), "");
  // The red box of the sample page: 50 ... 200 x 300 ... 410 pt, shown at 660 / 595.28.
  Color red = win.PixelAt(14 + 139, 14 + 394);
  EXPECT_GT(red.r, 180);
  EXPECT_LT(red.g, 80);
  EXPECT_GT(view->MaxScroll(), 0) << "an A4 page is taller than the view is wide";

  ASSERT_TRUE(view->GoToPage(2));
  std::string error;
  ASSERT_TRUE(view->SavePageJpg(dir.File("hoja3.jpg"), 85, &error)) << error;
  Page jpeg = DecodeJpeg(testing_support::ReadFileBytes(dir.File("hoja3.jpg")));
  EXPECT_EQ(jpeg.width, 1600);
  EXPECT_EQ(jpeg.height, 2263);
  EXPECT_FALSE(view->Open(dir.File("hoja3.jpg")));
  EXPECT_EQ(view->LastError().rfind("El archivo no es un PDF valido o esta danado", 0), 0u)
      << view->LastError();
  EXPECT_EQ(pages, (std::vector<int>{0, 2, -1}));
}

}  // namespace
}  // namespace Vy
