#include <cairo.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/toolkit/canvas_contract.h"
#include "toolkit/cairo/cairo_canvas.h"

namespace Vy {
namespace {

// Surface is a white image with a canvas on it; Pixel reads unpremultiplied colours.
class Surface {
 public:
  Surface(int width, int height)
      : surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
        cr_(cairo_create(surface_)) {
    canvas_ = std::make_unique<CCairoCanvas>(cr_);
    canvas_->FillRect({0, 0, width, height}, {255, 255, 255, 255});
  }
  ~Surface() {
    canvas_.reset();
    cairo_destroy(cr_);
    cairo_surface_destroy(surface_);
  }
  CCairoCanvas& canvas() { return *canvas_; }
  Color Pixel(int x, int y) {
    cairo_surface_flush(surface_);
    auto* data = cairo_image_surface_get_data(surface_);
    uint32_t w = *reinterpret_cast<uint32_t*>(data + y * cairo_image_surface_get_stride(surface_) + x * 4);
    uint32_t a = w >> 24;
    if (a == 0) return {0, 0, 0, 0};
    auto c = [a](uint32_t v) { return static_cast<uint8_t>((v * 255 + a / 2) / a); };
    return {c((w >> 16) & 255), c((w >> 8) & 255), c(w & 255), static_cast<uint8_t>(a)};
  }

 private:
  cairo_surface_t* surface_;
  cairo_t* cr_;
  std::unique_ptr<CCairoCanvas> canvas_;
};

TEST(CairoCanvas, ShapesKeepStrokesInsideAndRoundCorners) {
  Surface s(100, 100);
  CheckShapes(s);
}

TEST(CairoCanvas, StateClipTransformAndClear) {
  Surface s(60, 60);
  s.canvas().Restore();  // without Save: no effect, and the canvas still works
  s.canvas().Save();
  s.canvas().SetClip({0, 0, 10, 10});
  s.canvas().SetClip({5, 5, 20, 20});  // intersects
  s.canvas().FillRect({0, 0, 60, 60}, kRed);
  s.canvas().Restore();
  EXPECT_EQ(s.Pixel(7, 7), kRed);
  EXPECT_EQ(s.Pixel(3, 3), kWhite);
  EXPECT_EQ(s.Pixel(12, 12), kWhite);

  s.canvas().Save();
  s.canvas().Translate(30, 30);
  s.canvas().Scale(2, 2);
  s.canvas().FillRect({0, 0, 5, 5}, kBlue);
  s.canvas().Restore();
  EXPECT_EQ(s.Pixel(39, 39), kBlue);
  EXPECT_EQ(s.Pixel(41, 41), kWhite);

  s.canvas().ClearRect({50, 50, 5, 5});
  EXPECT_EQ(s.Pixel(52, 52).a, 0);
  EXPECT_EQ(s.Pixel(56, 56), kWhite);
}

TEST(CairoCanvas, ImagesAndGradients) {
  Surface s(80, 40);
  EXPECT_FALSE(s.canvas().DrawImageRGBA(nullptr, 2, 2, {0, 0, 10, 10}));
  std::vector<uint8_t> pixels = {255, 0, 0, 255, 0, 0, 255, 255};  // red | blue, 2 x 1
  EXPECT_FALSE(s.canvas().DrawImageRGBA(pixels.data(), 0, 1, {0, 0, 10, 10}));
  EXPECT_FALSE(s.canvas().DrawImageRGBA(pixels.data(), 2, 1, {0, 0, 0, 10}));
  EXPECT_EQ(s.Pixel(0, 0), kWhite) << "refused draws paint nothing";
  ASSERT_TRUE(s.canvas().DrawImageRGBA(pixels.data(), 2, 1, {0, 0, 40, 20}));
  EXPECT_EQ(s.Pixel(2, 10), kRed) << "scaled from the whole source, channels in RGBA order";
  EXPECT_EQ(s.Pixel(37, 10), kBlue);
  EXPECT_EQ(s.Pixel(39, 19), kBlue) << "edges are not faded by the filter";

  ASSERT_TRUE(s.canvas().FillGradientRect({40, 0, 40, 40}, {0, 0, 0, 255}, kWhite, 0));
  Color left = s.Pixel(41, 20), right = s.Pixel(78, 20);
  EXPECT_LT(left.r, 20);
  EXPECT_GT(right.r, 235);
  EXPECT_EQ(s.Pixel(60, 2).r, s.Pixel(60, 38).r) << "horizontal at angle 0";

  testing_support::TempDir dir;
  EXPECT_FALSE(s.canvas().DrawImageFile(dir.File("missing.png"), {0, 0, 10, 10}));
  EXPECT_FALSE(s.canvas().DrawImageFile("", {0, 0, 10, 10}));
  cairo_surface_t* png = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 4, 4);
  cairo_t* cr = cairo_create(png);
  cairo_set_source_rgb(cr, 0, 0, 1);
  cairo_paint(cr);
  cairo_destroy(cr);
  ASSERT_EQ(cairo_surface_write_to_png(png, dir.File("blue.png").c_str()), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(png);
  EXPECT_TRUE(s.canvas().DrawImageFile(dir.File("blue.png"), {0, 20, 20, 20}));
  EXPECT_EQ(s.Pixel(10, 30), kBlue);
}

TEST(CairoCanvas, MeasureTextLinesAndRounding) {
  Surface s(10, 10);
  Size empty = s.canvas().MeasureText("", "system", 13, false, false);
  EXPECT_EQ(empty.width, 0);
  EXPECT_EQ(empty.height, 0);
  Size two = s.canvas().MeasureText("mm", "system", 13, false, false);
  Size lines = s.canvas().MeasureText("W\r\nmm", "system", 13, false, false);
  EXPECT_GT(two.width, 0);
  EXPECT_EQ(lines.width, two.width) << "the widest line, carriage return dropped";
  EXPECT_GT(lines.height, two.height);
  Size bold = s.canvas().MeasureText("mmmmmmmm", "system", 13, true, false);
  Size plain = s.canvas().MeasureText("mmmmmmmm", "system", 13, false, false);
  EXPECT_GT(bold.width, plain.width);
  // A family that is not installed still measures with a substitute face.
  Size missing = s.canvas().MeasureText("mm", "No Such Family", 13, false, false);
  EXPECT_GT(missing.width, 0);
  EXPECT_GE(s.canvas().MeasureText("Ay", "system", 20, false, false).height, 20);
}

TEST(CairoCanvas, TextIsDrawnFromItsTopLeft) {
  Surface s(60, 40);
  s.canvas().DrawText("", {0, 0}, kRed, "system", 20, false, false);
  s.canvas().DrawText("\xe2\x96\x88", {10, 10}, {0, 0, 0, 255}, "monospace", 20, false, false);  // full block
  Size size = s.canvas().MeasureText("\xe2\x96\x88", "monospace", 20, false, false);
  Color inside = s.Pixel(10 + size.width / 2, 10 + size.height / 2);
  EXPECT_LT(inside.r, 60);
  EXPECT_EQ(s.Pixel(5, 5), kWhite);
  EXPECT_EQ(s.Pixel(10 + size.width + 3, 10 + size.height / 2), kWhite);
}

}  // namespace
}  // namespace Vy
