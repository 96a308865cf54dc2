#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/support/test_support.h"

namespace {

using testing_support::Quote;
using testing_support::RunCommand;
using testing_support::TempDir;

// The gallery's screenshot renders off screen: no display needed, and the image shows the
// open drop-down over the list beneath it.
TEST(Gallery, ScreenshotWithoutADisplay) {
  TempDir dir;
  // Under LeakSanitizer the program gets the same narrow suppressions as the tests.
  setenv("LSAN_OPTIONS", "suppressions=" VY_SOURCE_DIR "/tests/toolkit/lsan.supp", 1);
  std::string png = dir.File("galeria.png");
  auto result = RunCommand("env -u DISPLAY " + Quote(VY_BINARY_DIR "/bin/gallery") +
                           " --screenshot " + Quote(png));
  ASSERT_EQ(result.status, 0) << result.output;
  cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
  ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(image), 1120);
  EXPECT_EQ(cairo_image_surface_get_height(image), 800);
  cairo_surface_destroy(image);

  auto usage = RunCommand(Quote(VY_BINARY_DIR "/bin/gallery") + " --screenshot");
  EXPECT_EQ(usage.status, 2);
  auto unwritable = RunCommand("env -u DISPLAY " + Quote(VY_BINARY_DIR "/bin/gallery") +
                               " --screenshot " + Quote(dir.File("no/such/folder.png")));
  EXPECT_EQ(unwritable.status, 1);
  EXPECT_NE(unwritable.output.find("no se pudo escribir"), std::string::npos);
  auto noDisplay = RunCommand("env -u DISPLAY " + Quote(VY_BINARY_DIR "/bin/gallery"));
  EXPECT_EQ(noDisplay.status, 1);
}

}  // namespace
