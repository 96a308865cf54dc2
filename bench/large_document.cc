#include "bench/large_document.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

bool WriteLargeDocument(const std::string& path, size_t pages, size_t imageBytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::vector<size_t> offsets(3 * pages + 3);
  size_t at = 0;
  auto put = [&](const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), f);
    at += text.size();
  };
  put("%PDF-1.7\n%\xE2\xE3\xCF\xD3\n");
  offsets[1] = at;
  put("1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
  std::string kids;
  for (size_t i = 0; i < pages; ++i) kids += std::to_string(3 + 3 * i) + " 0 R ";
  offsets[2] = at;
  put("2 0 obj\n<< /Type /Pages /Count " + std::to_string(pages) + " /Kids [" + kids + "] >>\nendobj\n");
  const size_t side = size_t(std::sqrt(double(imageBytes)));
  std::vector<unsigned char> pixels(side * side);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (size_t i = 0; i < pages; ++i) {
    size_t page = 3 + 3 * i;
    offsets[page] = at;
    put(std::to_string(page) +
        " 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << "
        "/XObject << /Im0 " +
        std::to_string(page + 2) + " 0 R >> >> /Contents " + std::to_string(page + 1) + " 0 R >>\nendobj\n");
    std::string content = "q 400 0 0 400 97 300 cm /Im0 Do Q";
    offsets[page + 1] = at;
    put(std::to_string(page + 1) + " 0 obj\n<< /Length " + std::to_string(content.size()) + " >>\nstream\n" +
        content + "\nendstream\nendobj\n");
    for (unsigned char& p : pixels) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      p = (unsigned char)state;
    }
    offsets[page + 2] = at;
    put(std::to_string(page + 2) + " 0 obj\n<< /Type /XObject /Subtype /Image /Width " +
        std::to_string(side) + " /Height " + std::to_string(side) +
        " /ColorSpace /DeviceGray /BitsPerComponent 8 /Length " + std::to_string(pixels.size()) +
        " >>\nstream\n");
    std::fwrite(pixels.data(), 1, pixels.size(), f);
    at += pixels.size();
    put("\nendstream\nendobj\n");
  }
  size_t xref = at;
  put("xref\n0 " + std::to_string(offsets.size()) + "\n0000000000 65535 f \n");
  char line[32];
  for (size_t n = 1; n < offsets.size(); ++n) {
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offsets[n]);
    put(line);
  }
  put("trailer\n<< /Size " + std::to_string(offsets.size()) + " /Root 1 0 R >>\nstartxref\n" +
      std::to_string(xref) + "\n%%EOF\n");
  return std::fclose(f) == 0;
}
