/* Test builds of the render engine, each lacking or changing one thing (see CMakeLists.txt):
 * FAKE_NO_VERSION, FAKE_VERSION=n, FAKE_NO_RENDER, FAKE_NO_JPEG. Every document has two pages
 * of 2 x 2 pixels. */
#include <stdlib.h>
#include <string.h>

#include "render/engine/vyrender.h"

#ifndef FAKE_VERSION
#define FAKE_VERSION 1
#endif

struct VyPdfDocument {
  int pages;
};

#ifndef FAKE_NO_VERSION
int VyPdf_ApiVersion(void) {
  return FAKE_VERSION;
}
#endif

VyPdfDocument* VyPdf_Open(const char* path, int* pageCount, char* message, int messageSize) {
  VyPdfDocument* document = malloc(sizeof *document);
  (void)path, (void)message, (void)messageSize;
  document->pages = 2;
  *pageCount = document->pages;
  return document;
}

void VyPdf_Close(VyPdfDocument* document) {
  free(document);
}

void VyPdf_Free(void* buffer) {
  free(buffer);
}

#ifndef FAKE_NO_RENDER
int VyPdf_RenderPage(VyPdfDocument* document, int pageIndex, int width, unsigned char** pixels,
                     int* pixelWidth, int* pixelHeight, char* message, int messageSize) {
  (void)document, (void)pageIndex, (void)width, (void)message, (void)messageSize;
  *pixels = malloc(16);
  memset(*pixels, 255, 16);
  *pixelWidth = 2;
  *pixelHeight = 2;
  return 1;
}
#endif

#ifndef FAKE_NO_JPEG
int VyPdf_SavePageJpg(VyPdfDocument* document, int pageIndex, int width, int quality, const char* destination,
                      char* message, int messageSize) {
  (void)document, (void)pageIndex, (void)width, (void)quality, (void)destination, (void)message,
      (void)messageSize;
  return 1;
}
#endif
