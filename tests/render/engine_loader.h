#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <string>
#include <vector>

#include "render/engine/vyrender.h"
#include "tests/render/raster_compare.h"

// Engine is the built libvyrender.so, loaded and bound the way a C caller does it.
struct Engine {
  void* library = dlopen(VY_ENGINE_PATH, RTLD_NOW | RTLD_LOCAL);
  VyPdfApiVersionFn ApiVersion = Bind<VyPdfApiVersionFn>("VyPdf_ApiVersion");
  VyPdfOpenFn Open = Bind<VyPdfOpenFn>("VyPdf_Open");
  VyPdfCloseFn Close = Bind<VyPdfCloseFn>("VyPdf_Close");
  VyPdfFreeFn Free = Bind<VyPdfFreeFn>("VyPdf_Free");
  VyPdfRenderPageFn RenderPage = Bind<VyPdfRenderPageFn>("VyPdf_RenderPage");
  VyPdfSavePageJpgFn SavePageJpg = Bind<VyPdfSavePageJpgFn>("VyPdf_SavePageJpg");
  VyPdfPageSizesFn PageSizes = Bind<VyPdfPageSizesFn>("VyPdf_PageSizes");
  VyPdfPrefetchPageFn PrefetchPage = Bind<VyPdfPrefetchPageFn>("VyPdf_PrefetchPage");

  template <typename F>
  F Bind(const char* name) {
    return library ? reinterpret_cast<F>(dlsym(library, name)) : nullptr;
  }
  bool Ready() const {
    return ApiVersion && Open && Close && Free && RenderPage && SavePageJpg && PageSizes && PrefetchPage;
  }

  // One process-wide load: the library stays loaded like it does for the programs.
  static Engine& Get() {
    static Engine engine;
    return engine;
  }
};

inline Page RenderCopy(VyPdfDocument* document, int index, int width) {
  Engine& engine = Engine::Get();
  Page page;
  unsigned char* pixels = nullptr;
  char message[512];
  page.ok = engine.RenderPage(document, index, width, &pixels, &page.width, &page.height, message,
                              sizeof message) == 1;
  page.message = message;
  if (pixels) page.rgba.assign(pixels, pixels + static_cast<size_t>(page.width) * page.height * 4);
  engine.Free(pixels);
  return page;
}
