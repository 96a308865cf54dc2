#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "pades/sign.h"

// SampleLayout is a one-page document built in one piece. With a signature it carries the
// field, the stamp and the signature dictionary; the positions locate its placeholders.
struct SampleLayout {
  std::string document;
  size_t byteRange = 0;      // first byte of the /ByteRange numbers
  size_t contentsOpen = 0;   // the "<" of /Contents
  size_t contentsClose = 0;  // the ">" that closes it
};

// BuildSampleDocument writes the sample: its page shows `pageText` in 24-point Helvetica; when
// `withSignature` is set it has room for `reservation` bytes of CMS.
SampleLayout BuildSampleDocument(std::string_view pageText, bool withSignature, size_t reservation,
                                 std::string_view signingTime, const SignatureTexts& texts);
