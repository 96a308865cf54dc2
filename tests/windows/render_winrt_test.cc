// The WinRT page renderer behind the real exports. Wine has none of the runtime classes it
// activates, so under Wine this proves the build links and that a refused open comes back as
// the platform's text, on the worker, without hanging; on Windows the same file is refused by
// the PDF loader itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "render/engine/vyrender.h"

TEST(WinRtRenderer, AFileThePlatformRefusesFailsWithItsText) {
  const char* path = "no-es-un-pdf.pdf";
  std::ofstream(path) << "esto no es un PDF";
  char message[512] = "X";
  int pages = -1;
  EXPECT_EQ(VyPdf_Open(path, &pages, message, sizeof message), nullptr);
  EXPECT_EQ(pages, 0);
  EXPECT_STRNE(message, "");
  EXPECT_STRNE(message, "No se pudo abrir el PDF.");
  std::printf("VyPdf_Open: %s\n", message);  // for the run log: the text Wine gives
  std::remove(path);
}
