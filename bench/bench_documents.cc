#include "bench/bench_documents.h"

#include <cairo.h>
#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "tests/support/pdf_documents.h"

namespace {

void TextPage(cairo_t* cr, double w, int page) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  std::string body = "Hoja " + std::to_string(page + 1) + ". ";
  for (int i = 0; i < 16; ++i) body += testing_support::kContractText;
  testing_support::DrawParagraph(cr, body, "DejaVu Serif 10", 56, 56, w - 112);
}

// VectorPage is drawn like a map: thousands of thin opaque polylines and small filled shapes.
void VectorPage(cairo_t* cr, double w, double h, int page) {
  std::mt19937 random(1000 + page);
  std::uniform_real_distribution<double> x(0, w), y(0, h), unit(0, 1), step(-6, 6);
  cairo_set_line_width(cr, 0.4);
  for (int line = 0; line < 400; ++line) {
    cairo_set_source_rgb(cr, unit(random) * 0.6, unit(random) * 0.6, unit(random) * 0.8);
    double px = x(random), py = y(random);
    cairo_move_to(cr, px, py);
    for (int i = 0; i < 60; ++i) cairo_line_to(cr, px += step(random), py += step(random));
    cairo_stroke(cr);
  }
  for (int shape = 0; shape < 600; ++shape) {
    cairo_set_source_rgb(cr, 0.5 + unit(random) / 2, 0.5 + unit(random) / 2, unit(random));
    double px = x(random), py = y(random);
    cairo_move_to(cr, px, py);
    for (int i = 0; i < 6; ++i) cairo_line_to(cr, px + 2 * step(random), py + 2 * step(random));
    cairo_close_path(cr);
    cairo_fill(cr);
  }
}

// ScanJpeg makes a 300 dpi A4 "scan": paper with grain, dark lines of text-like marks.
std::vector<unsigned char> ScanJpeg(int page, int width, int height) {
  std::mt19937 random(page);
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  for (int yy = 0; yy < height; ++yy) {
    bool line = (yy / 40) % 2 == 1 && yy > 200 && yy < height - 200;
    for (int xx = 0; xx < width; ++xx) {
      int base = 226 + static_cast<int>(random() % 26);
      if (line && xx > 150 && xx < width - 150 && (xx / 23 + yy / 40 + page) % 5 != 0)
        base -= 150 + random() % 40;
      unsigned char* p = &rgb[(static_cast<size_t>(yy) * width + xx) * 3];
      p[0] = static_cast<unsigned char>(base);
      p[1] = static_cast<unsigned char>(base - 3);
      p[2] = static_cast<unsigned char>(base - 10);
    }
  }
  jpeg_compress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 85, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = &rgb[static_cast<size_t>(cinfo.next_scanline) * width * 3];
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<unsigned char> jpeg(out, out + size);
  std::free(out);
  return jpeg;
}

void ScannedPage(cairo_t* cr, double w, double h, int page) {
  const int width = 2480, height = 3508;
  auto* jpeg = new std::vector<unsigned char>(ScanJpeg(page, width, height));
  // Cairo's PDF backend embeds JPEG mime data as it is; the surface's own pixels stay blank.
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_surface_set_mime_data(
      image, CAIRO_MIME_TYPE_JPEG, jpeg->data(), jpeg->size(),
      [](void* p) { delete static_cast<std::vector<unsigned char>*>(p); }, jpeg);
  cairo_save(cr);
  cairo_scale(cr, w / width, h / height);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(image);
}

}  // namespace

bool WriteBenchDocument(BenchDocument kind, const std::string& path, int pages) {
  using testing_support::kA4Height;
  using testing_support::kA4Width;
  return testing_support::WritePdf(path, kA4Width, kA4Height, pages, [&](cairo_t* cr, int page) {
    switch (kind) {
      case BenchDocument::kText: TextPage(cr, kA4Width, page); break;
      case BenchDocument::kScanned: ScannedPage(cr, kA4Width, kA4Height, page); break;
      case BenchDocument::kVector: VectorPage(cr, kA4Width, kA4Height, page); break;
    }
  });
}
