#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "core/bytes.h"

// Page is a copy of one rendered raster, or the failure message.
struct Page {
  bool ok = false;
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;
  std::string message;
};

// ReadPpm reads a binary PPM (P6, maxval 255) into an RGBA page.
inline Page ReadPpm(const Bytes& file) {
  Page page;
  int maxval = 0, consumed = 0;
  if (std::sscanf(reinterpret_cast<const char*>(file.data()), "P6 %d %d %d%n", &page.width, &page.height,
                  &maxval, &consumed) != 3 ||
      maxval != 255)
    return page;
  size_t at = static_cast<size_t>(consumed) + 1, pixels = static_cast<size_t>(page.width) * page.height;
  if (file.size() < at + pixels * 3) return page;
  for (size_t i = 0; i < pixels; ++i) {
    page.rgba.insert(page.rgba.end(), file.begin() + at + i * 3, file.begin() + at + i * 3 + 3);
    page.rgba.push_back(255);
  }
  page.ok = true;
  return page;
}

// DecodeJpeg decodes a JPEG file with libjpeg into an RGBA page.
inline Page DecodeJpeg(const Bytes& file) {
  Page page;
  if (file.size() < 4) return page;
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr errors;
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), file.size());
  if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
    cinfo.out_color_space = JCS_EXT_RGBA;
    jpeg_start_decompress(&cinfo);
    page.width = static_cast<int>(cinfo.output_width);
    page.height = static_cast<int>(cinfo.output_height);
    page.rgba.resize(static_cast<size_t>(page.width) * page.height * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = &page.rgba[static_cast<size_t>(cinfo.output_scanline) * page.width * 4];
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    page.ok = true;
  }
  jpeg_destroy_decompress(&cinfo);
  return page;
}

// MeanDifference is the mean absolute difference of the red, green and blue channels of two
// pages of one size, in levels of 0 ... 255; -1 when the sizes differ.
inline double MeanDifference(const Page& a, const Page& b) {
  if (a.width != b.width || a.height != b.height || a.rgba.size() != b.rgba.size() || a.rgba.empty())
    return -1;
  double sum = 0;
  for (size_t i = 0; i < a.rgba.size(); ++i) {
    if (i % 4 != 3) sum += std::abs(int(a.rgba[i]) - int(b.rgba[i]));
  }
  return sum / (a.rgba.size() / 4 * 3);
}
