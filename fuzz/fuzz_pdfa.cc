// The readers of a document's own text that decide how it is signed: the PDF/A claim in its XMP
// metadata and the first /ID string of its trailer. Whatever the bytes, they must end without
// crashing or reading out of bounds, and a string read must lie inside the input.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "pades/pdf_syntax.h"
#include "pades/pdfa.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const PdfaClaim claim = ParsePdfaClaim(input);
  if (claim.part < 0 || claim.part > 99 || claim.conformance.size() > size) abort();
  size_t pos = 0;
  std::string bytes;
  if (ReadStringBytes(input, &pos, &bytes) && (pos > size || bytes.size() > size)) abort();
  return 0;
}
