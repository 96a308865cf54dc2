// The GDI+ canvas on a memory bitmap: pixels at chosen points.
#include <gtest/gtest.h>

#include <vector>

#include "tests/toolkit/canvas_contract.h"
#include "tests/toolkit/win32/bitmap.h"
#include "toolkit/win32/win32_backend.h"
#include "toolkit/win32/win32_canvas.h"

namespace Vy {
namespace {

// Surface is a white bitmap with a canvas on it.
class Surface : public Bitmap {
 public:
  Surface(int width, int height) : Bitmap(width, height), canvas_(dc(), {width, height}) {
    canvas_.FillRect({0, 0, width, height}, kWhite);
  }
  CWin32Canvas& canvas() { return canvas_; }
  // Ink counts the pixels in the rectangle that are not white.
  int Ink(const Rect& r) const {
    int n = 0;
    for (int y = r.y; y < r.Bottom(); ++y)
      for (int x = r.x; x < r.Right(); ++x) n += !(Pixel(x, y) == kWhite);
    return n;
  }

 private:
  CWin32Canvas canvas_;
};

class Win32Canvas : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(app.GdiplusStarted()); }
  CWin32App app;  // starts GDI+ as programs do
};

TEST_F(Win32Canvas, ShapesKeepStrokesInsideAndRoundCorners) {
  Surface s(100, 100);
  CheckShapes(s);
  EXPECT_EQ(s.canvas().LastStatus(), 0);
}

TEST_F(Win32Canvas, StateClipImagesAndGradient) {
  Surface s(100, 100);
  s.canvas().Restore();  // without Save: nothing happens
  s.canvas().Save();
  s.canvas().SetClip({0, 0, 10, 10});
  s.canvas().Translate(5, 5);
  s.canvas().FillRect({0, 0, 50, 50}, kRed);
  s.canvas().Restore();
  s.canvas().Restore();
  EXPECT_EQ(s.Pixel(7, 7), kRed);
  EXPECT_EQ(s.Pixel(12, 12), kWhite) << "clipped";
  EXPECT_EQ(s.Pixel(2, 2), kWhite) << "translated";
  s.canvas().FillRect({20, 0, 5, 5}, kBlue);
  EXPECT_EQ(s.Pixel(20, 0), kBlue) << "the clip and the transform are gone";

  // Red, green, blue, alpha bytes keep their meaning: a raster red on the left, blue on the
  // right, scaled up twice.
  std::vector<uint8_t> pixels;
  for (int i = 0; i < 8 * 8; ++i) {
    bool left = i % 8 < 4;
    pixels.insert(pixels.end(), {uint8_t(left ? 255 : 0), 0, uint8_t(left ? 0 : 255), 255});
  }
  EXPECT_TRUE(s.canvas().DrawImageRGBA(pixels.data(), 8, 8, {40, 40, 16, 16}));
  EXPECT_EQ(s.Pixel(43, 48), kRed);
  EXPECT_EQ(s.Pixel(52, 48), kBlue);
  EXPECT_EQ(s.Pixel(40, 40), kRed) << "the edge does not fade";
  EXPECT_EQ(s.Pixel(55, 55), kBlue);
  EXPECT_EQ(s.Pixel(56, 56), kWhite);
  EXPECT_FALSE(s.canvas().DrawImageRGBA(nullptr, 2, 2, {70, 40, 20, 20}));
  EXPECT_FALSE(s.canvas().DrawImageRGBA(pixels.data(), 0, 2, {70, 40, 20, 20}));
  EXPECT_FALSE(s.canvas().DrawImageRGBA(pixels.data(), 2, 2, {70, 40, 0, 20}));
  EXPECT_FALSE(s.canvas().DrawImageFile("C:\\no\\such\\file.png", {70, 40, 20, 20}));
  EXPECT_EQ(s.Ink({70, 40, 20, 20}), 0);

  EXPECT_TRUE(s.canvas().FillGradientRect({0, 70, 100, 10}, kRed, kBlue, 0));
  EXPECT_GT(s.Pixel(2, 75).r, 200);
  EXPECT_GT(s.Pixel(97, 75).b, 200);

  // ClearRect replaces the pixels rather than blending nothing over them.
  s.canvas().FillRect({0, 90, 10, 10}, kRed);
  s.canvas().ClearRect({0, 90, 10, 10});
  EXPECT_NE(s.Pixel(5, 95), kRed);
}

TEST_F(Win32Canvas, TextFallsBackAndMeasuresLines) {
  Surface s(300, 120);
  auto draw = [&](const char* family, int y) {
    s.canvas().DrawText("Firma digital", {4, y}, {0, 0, 0, 255}, family, 16, false, false);
  };
  draw("system", 0);
  draw("Fuente que no existe", 40);
  int ink = s.Ink({0, 0, 300, 30});
  EXPECT_GT(ink, 50);
  EXPECT_EQ(s.Ink({0, 40, 300, 30}), ink) << "a missing face draws like Segoe UI";
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 300; x += 3) ASSERT_EQ(s.Pixel(x, y), s.Pixel(x, y + 40)) << x << "," << y;

  CCanvas& c = s.canvas();
  EXPECT_EQ(c.MeasureText("", "system", 13, false, false), (Size{0, 0}));
  Size two = c.MeasureText("ab", "system", 13, false, false);
  Size lines = c.MeasureText("x\r\nab", "system", 13, false, false);
  EXPECT_EQ(lines.width, two.width) << "the widest line, without the carriage return";
  EXPECT_GT(lines.height, two.height);
  EXPECT_GE(two.height, 13);
  EXPECT_GT(c.MeasureText("ab", "system", 13, true, false).width, 0);
  EXPECT_EQ(c.MeasureText("ab", "Fuente que no existe", 13, false, false), two);
}


}  // namespace
}  // namespace Vy
