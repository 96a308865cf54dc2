#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Decoding of the stream data the reader needs (cross-reference and object streams): no
// filter, or FlateDecode with an optional PNG predictor. Output is bounded, so a stream that
// expands without end (a "zip bomb") is refused instead of exhausting the machine.

enum class DecodeStatus {
  Ok,
  Unsupported,  // a filter or predictor this reader does not decode
  Corrupt,      // the data is not valid for its filter
  TooLarge,     // the output would pass the size or expansion limit
};

struct DecodeLimits {
  size_t maxOutput = size_t(32) << 20;
  // Past `ratioFloor` bytes of output, more than `maxRatio` bytes out per byte in is refused:
  // honest object and cross-reference streams stay far below it, bombs far above.
  size_t ratioFloor = size_t(1) << 20;
  size_t maxRatio = 200;
};

// Inflate decompresses zlib (RFC 1950) data into `out`. It returns TooLarge, with `out` holding
// what was decoded so far, when the limits are passed; Corrupt for bad data. Data that ends
// before the zlib stream does yields what was decoded, as common readers do.
DecodeStatus Inflate(std::string_view in, const DecodeLimits& limits, std::string* out);

// Unpredict reverses a PNG predictor (/Predictor 10 to 15) row by row in place. Each row of
// `columns` × `colors` × `bitsPerComponent` bits is preceded by its filter-type byte. It
// returns Corrupt for a row filter outside 0-4 and Unsupported for other predictors but 1.
DecodeStatus Unpredict(std::string* data, int predictor, int columns, int colors, int bitsPerComponent);

// DecodeStream decodes the data of a stream whose dictionary body is `dict`, following its
// /Filter and /DecodeParms (direct values only).
DecodeStatus DecodeStream(std::string_view dict, std::string_view raw, const DecodeLimits& limits,
                          std::string* out);
