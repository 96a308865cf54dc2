// The stream decoder and the cross-reference and object-stream parsers over arbitrary bytes:
// the input is a dictionary body, a newline and the stream data. Whatever it holds, they must
// end without crashing, reading out of bounds or passing their output limits.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "pades/stream_decode.h"
#include "pades/xref.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\n');
  const std::string_view dict = input.substr(0, split),
                         raw = split == input.npos ? "" : input.substr(split + 1);
  DecodeLimits limits;
  limits.maxOutput = size_t(4) << 20;
  std::string decoded;
  DecodeStatus status = DecodeStream(dict, raw, limits, &decoded);
  if (decoded.size() > limits.maxOutput + (size_t(1) << 20)) abort();
  const std::string_view text = status == DecodeStatus::Ok ? std::string_view(decoded) : raw;

  std::vector<XrefRecord> records;
  ParseXrefStream(dict, text, &records);
  std::vector<ObjectStreamEntry> entries;
  if (ParseObjectStream(dict, text, &entries))
    for (size_t i = 0; i < entries.size(); ++i)
      if (ObjectStreamText(text, entries, i).size() > text.size()) abort();
  // The same bytes as a classic table, fed in two windows.
  XrefTableCursor cursor;
  records.clear();
  size_t used = FeedXrefTable(text.substr(0, text.size() / 2), false, &cursor, &records);
  if (used > text.size() / 2) abort();
  if (!cursor.failed && !cursor.done) FeedXrefTable(text.substr(used), true, &cursor, &records);
  return 0;
}
