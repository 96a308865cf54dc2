#include "core/der.h"

// Walks every element, recursing into constructed ones, as the certificate reader does.
static void Walk(DerReader reader, int depth) {
  DerElement element;
  DerReader contents;
  while (!reader.Empty() && reader.Next(&element, &contents))
    if (depth < 16 && (element.tag & 0x20)) Walk(contents, depth + 1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t cursor = 0;
  DerElement element;
  while (DerReadElement(data, size, &cursor, &element)) {
  }
  Walk(DerReader(data, size), 0);
  return 0;
}
