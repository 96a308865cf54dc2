#include "pades/stream_decode.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "pades/pdf_syntax.h"

DecodeStatus Inflate(std::string_view in, const DecodeLimits& limits, std::string* out) {
  out->clear();
  z_stream z;
  std::memset(&z, 0, sizeof z);
  if (inflateInit(&z) != Z_OK) return DecodeStatus::Corrupt;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  z.avail_in = uInt(std::min<size_t>(in.size(), 0x7FFFFFFF));
  char chunk[16384];
  DecodeStatus status = DecodeStatus::Ok;
  while (true) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    int rc = inflate(&z, Z_NO_FLUSH);
    const size_t produced = sizeof chunk - z.avail_out;
    if (out->size() + produced > limits.maxOutput ||
        (out->size() + produced > limits.ratioFloor &&
         (out->size() + produced) / std::max<size_t>(z.total_in, 1) > limits.maxRatio)) {
      status = DecodeStatus::TooLarge;
      break;
    }
    out->append(chunk, produced);
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR || (rc == Z_OK && z.avail_in == 0 && produced == 0)) break;  // input ran out
    if (rc != Z_OK) {
      // Damaged data after some good output is kept, as viewers show what they can.
      if (out->empty()) status = DecodeStatus::Corrupt;
      break;
    }
  }
  inflateEnd(&z);
  return status;
}

namespace {

uint8_t Paeth(int a, int b, int c) {
  int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return uint8_t(pb <= pc ? b : c);
}

}  // namespace

DecodeStatus Unpredict(std::string* data, int predictor, int columns, int colors, int bitsPerComponent) {
  if (predictor == 1) return DecodeStatus::Ok;
  if (predictor < 10 || predictor > 15) return DecodeStatus::Unsupported;
  if (columns < 1 || colors < 1 || colors > 32 || columns > (1 << 24) ||
      (bitsPerComponent != 1 && bitsPerComponent != 2 && bitsPerComponent != 4 && bitsPerComponent != 8 &&
       bitsPerComponent != 16))
    return DecodeStatus::Corrupt;
  const size_t bpp = std::max<size_t>(1, size_t(colors) * size_t(bitsPerComponent) / 8);
  const size_t rowBytes = (size_t(columns) * size_t(colors) * size_t(bitsPerComponent) + 7) / 8;
  std::string out;
  out.reserve(data->size());
  // Rows longer than the data exist only in part: the row above is never longer than that.
  const size_t kept = std::min(rowBytes, data->size());
  std::string previous(kept, '\0');
  for (size_t at = 0; at < data->size(); at += rowBytes + 1) {
    const uint8_t type = uint8_t((*data)[at]);
    // A short last row is decoded as far as it goes: padding it could turn a few bytes into
    // a row as long as /Columns says.
    std::string row = data->substr(at + 1, rowBytes);
    for (size_t i = 0; i < row.size(); ++i) {
      const int left = i >= bpp ? uint8_t(row[i - bpp]) : 0;
      const int up = uint8_t(previous[i]);
      const int corner = i >= bpp ? uint8_t(previous[i - bpp]) : 0;
      int add = 0;
      switch (type) {
        case 0: break;
        case 1: add = left; break;
        case 2: add = up; break;
        case 3: add = (left + up) / 2; break;
        case 4: add = Paeth(left, up, corner); break;
        default: return DecodeStatus::Corrupt;
      }
      row[i] = char(uint8_t(uint8_t(row[i]) + add));
    }
    out += row;
    row.resize(kept, '\0');
    previous = std::move(row);
  }
  *data = std::move(out);
  return DecodeStatus::Ok;
}

namespace {

int IntegerOr(std::string_view dict, std::string_view key, int fallback) {
  auto value = FindValue(dict, key);
  size_t pos = 0;
  int64_t number = 0;
  if (!value || !ScanLong(*value, &pos, &number)) return fallback;
  return int(std::clamp<int64_t>(number, -1, 1 << 25));
}

}  // namespace

DecodeStatus DecodeStream(std::string_view dict, std::string_view raw, const DecodeLimits& limits,
                          std::string* out) {
  std::string_view filter = Trim(FindValue(dict, "Filter").value_or(""));
  std::string_view parms = Trim(FindValue(dict, "DecodeParms").value_or(""));
  // A one-element array names the same filter as the name alone.
  auto single = [](std::string_view value) {
    if (value.size() >= 2 && value.front() == '[' && value.back() == ']')
      value = Trim(value.substr(1, value.size() - 2));
    return value;
  };
  filter = single(filter);
  parms = single(parms);
  if (filter.empty()) {
    if (raw.size() > limits.maxOutput) return DecodeStatus::TooLarge;
    out->assign(raw);
    return DecodeStatus::Ok;
  }
  if (filter != "/FlateDecode" && filter != "/Fl") return DecodeStatus::Unsupported;
  DecodeStatus status = Inflate(raw, limits, out);
  if (status != DecodeStatus::Ok) return status;
  if (parms.size() < 4 || parms.substr(0, 2) != "<<") return DecodeStatus::Ok;
  const std::string_view body = parms.substr(2, parms.size() - 4);
  return Unpredict(out, IntegerOr(body, "Predictor", 1), IntegerOr(body, "Columns", 1),
                   IntegerOr(body, "Colors", 1), IntegerOr(body, "BitsPerComponent", 8));
}
