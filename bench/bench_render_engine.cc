// bench_render_engine PDF PAGES OUT: the engine side of bench_render. It loads the engine,
// opens the document, renders page 1 at 912 pixels, then every further page, then page 1 of a
// second open, and writes "first further warm" as wall and CPU milliseconds to OUT.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_clock.h"
#include "render/engine/vyrender.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const std::string pdf = argv[1], out = argv[3];
  const int pages = std::atoi(argv[2]);
  Clock start = Clock::Now();
  void* library = dlopen(VY_ENGINE_PATH, RTLD_NOW | RTLD_LOCAL);
  if (!library) return 1;
  auto open = reinterpret_cast<VyPdfOpenFn>(dlsym(library, "VyPdf_Open"));
  auto close = reinterpret_cast<VyPdfCloseFn>(dlsym(library, "VyPdf_Close"));
  auto render = reinterpret_cast<VyPdfRenderPageFn>(dlsym(library, "VyPdf_RenderPage"));
  auto release = reinterpret_cast<VyPdfFreeFn>(dlsym(library, "VyPdf_Free"));
  auto page = [&](VyPdfDocument* document, int index) {
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    bool ok = render(document, index, 912, &pixels, &w, &h, nullptr, 0) == 1;
    release(pixels);
    return ok;
  };
  int count = 0;
  VyPdfDocument* document = open(pdf.c_str(), &count, nullptr, 0);
  if (!document || !page(document, 0)) return 1;
  Clock first = start.Since();
  Clock further = Clock::Now();
  for (int i = 1; i < pages; ++i) {  // pages >= 2
    if (!page(document, i)) return 1;
  }
  Clock perPage = further.Since();
  perPage = {perPage.wall / (pages - 1), perPage.cpu / (pages - 1)};
  close(document);
  Clock again = Clock::Now();
  document = open(pdf.c_str(), &count, nullptr, 0);
  if (!document || !page(document, 0)) return 1;
  Clock warm = again.Since();
  close(document);
  FILE* file = std::fopen(out.c_str(), "w");
  if (!file) return 1;
  std::fprintf(file, "%f %f %f %f %f %f\n", first.wall, first.cpu, perPage.wall, perPage.cpu, warm.wall,
               warm.cpu);
  std::fclose(file);
  return 0;
}
