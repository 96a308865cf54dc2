// The render engine over arbitrary bytes: open, render page 0 at 64 pixels, close. It must
// end without crashing, hanging or leaving its worker thread behind, whatever the input.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/scratch.h"
#include "render/engine/vyrender.h"

// Poppler's font lookups fill fontconfig's process-lifetime caches; they are not leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = ScratchFolder("fuzz-render") + "/in.pdf";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  int pages = -1;
  char message[256];
  VyPdfDocument* document = VyPdf_Open(path.c_str(), &pages, message, sizeof message);
  if (!document) {
    if (pages != 0 || !message[0]) abort();  // a refusal always says why
    return 0;
  }
  if (pages < 1) abort();
  unsigned char* pixels = nullptr;
  int width = 0, height = 0;
  if (VyPdf_RenderPage(document, 0, 64, &pixels, &width, &height, message, sizeof message)) {
    if (!pixels || width != 64 || height < 1) abort();
    for (size_t i = 3; i < static_cast<size_t>(width) * height * 4; i += 4) {
      if (pixels[i] != 255) abort();
    }
  } else if (pixels || width || height || !message[0]) {
    abort();
  }
  VyPdf_Free(pixels);
  VyPdf_Close(document);  // joins the worker: a thread left behind would pile up across runs
  return 0;
}
