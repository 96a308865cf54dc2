#include "pades/container.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/text.h"
#include "pades/file_io.h"
#include "pades/pdf_syntax.h"

namespace {

// ClosePlaceholders ends a dictionary with the /ByteRange and /Contents placeholders.
void ClosePlaceholders(std::string* out, size_t reservation, SignaturePlaceholders* placeholders) {
  *out += "/ByteRange [";
  placeholders->byteRange = out->size();
  *out += "0000000000 0000000000 0000000000 0000000000]\n/Contents ";
  placeholders->contentsOpen = out->size();
  *out += '<';
  out->append(2 * reservation, '0');
  placeholders->contentsClose = out->size();
  *out += ">\n>>\nendobj\n";
}

}  // namespace

std::string SignatureDictionary(uint32_t number, const SignatureTexts& texts, std::string_view signingTime,
                                size_t reservation, SignaturePlaceholders* placeholders) {
  std::string out = std::to_string(number) + " 0 obj\n";
  out += "<<\n/Type /Sig\n/Filter /Adobe.PPKLite\n";
  out += "/SubFilter /ETSI.CAdES.detached\n";
  out += "/Name " + NameString(texts.name) + "\n";
  out += "/Location " + TextStringHex(texts.location) + "\n";
  out += "/Reason " + TextStringHex(texts.reason) + "\n";
  out += "/M (" + PdfDate(signingTime) + ")\n";
  ClosePlaceholders(&out, reservation, placeholders);
  return out;
}

std::string DocumentTimestampDictionary(uint32_t number, size_t reservation,
                                        SignaturePlaceholders* placeholders) {
  std::string out = std::to_string(number) + " 0 obj\n";
  out += "<<\n/Type /DocTimeStamp\n/Filter /Adobe.PPKLite\n/SubFilter /ETSI.RFC3161\n";
  ClosePlaceholders(&out, reservation, placeholders);
  return out;
}

std::string ByteRangeText(uint64_t open, uint64_t close, uint64_t length) {
  char text[96];
  std::snprintf(text, sizeof text, "%010llu %010llu %010llu %010llu", 0ull, (unsigned long long)open,
                (unsigned long long)(close + 1), (unsigned long long)(length - (close + 1)));
  return text;
}

bool PatchContents(std::string* text, size_t open, size_t reservation, const Bytes& cms) {
  std::string hex = HexEncode(cms);
  if (hex.size() > 2 * reservation) return false;
  hex.resize(2 * reservation, '0');
  text->replace(open + 1, hex.size(), hex);
  return true;
}

bool CheckSignedFile(const std::string& path, const Sha256Digest& expected) {
  InputFile file;
  if (!file.Open(path)) return false;
  const uint64_t length = file.size();
  constexpr std::string_view kKey = "/ByteRange [";
  constexpr size_t kStep = size_t(64) << 10;

  // The last "/ByteRange [" is found from the end: in a file this engine wrote it lies in the
  // final signature dictionary, a few kilobytes before the end.
  std::string window(kStep + kKey.size(), '\0');
  std::optional<uint64_t> key;
  for (uint64_t end = length; end > 0 && !key;) {
    uint64_t begin = end > kStep ? end - kStep : 0;
    size_t want = size_t(std::min<uint64_t>(length - begin, kStep + kKey.size() - 1));
    size_t got = 0;
    if (!file.ReadAt(begin, window.data(), want, &got) || got != want) return false;
    std::string_view view(window.data(), got);
    for (size_t at = 0, hit; (hit = FindBytes(view, kKey, at)) != std::string_view::npos; at = hit + 1)
      key = begin + hit;
    end = begin;
  }
  if (!key || *key + kKey.size() >= length) return false;

  // The four numbers, read as "%ld %ld %ld %ld" would.
  int64_t range[4] = {};
  {
    uint64_t from = *key + kKey.size();
    size_t want = size_t(std::min<uint64_t>(length - from, 4096));
    std::string text(want, '\0');
    size_t got = 0;
    if (!file.ReadAt(from, text.data(), want, &got) || got != want) return false;
    size_t pos = 0;
    for (int64_t& value : range)
      if (!ScanLong(text, &pos, &value)) return false;
  }
  const int64_t a = range[0], b = range[1], c = range[2], d = range[3];
  if (a != 0 || b <= 0 || c <= 0 || d < 1 || uint64_t(b) > length || uint64_t(c) + uint64_t(d) != length ||
      b > c)
    return false;

  Sha256Context hash;
  std::string buffer(size_t(1) << 20, '\0');
  auto feed = [&](uint64_t offset, uint64_t len) {
    while (len) {
      size_t want = size_t(std::min<uint64_t>(len, buffer.size()));
      size_t got = 0;
      if (!file.ReadAt(offset, buffer.data(), want, &got) || got != want) return false;
      hash.Update(buffer.data(), got);
      offset += got;
      len -= got;
    }
    return true;
  };
  if (!feed(0, uint64_t(b)) || !feed(uint64_t(c), uint64_t(d))) return false;
  return hash.Final() == expected;
}

bool CheckSignedRanges(const std::string& path, const std::vector<RangeCheck>& checks) {
  InputFile file;
  if (!file.Open(path)) return false;
  struct Pending {
    uint64_t ranges[4];
    Sha256Context hash;
  };
  std::vector<Pending> pending;
  for (const RangeCheck& check : checks) {
    std::string text(43, '\0');
    size_t got = 0;
    size_t pos = 0;
    int64_t range[4] = {};
    if (!file.ReadAt(check.byteRange, text.data(), text.size(), &got) || got != text.size()) return false;
    for (int64_t& value : range)
      if (!ScanLong(text, &pos, &value)) return false;
    const uint64_t expected[4] = {0, check.contentsOpen, check.contentsClose + 1,
                                  check.end - (check.contentsClose + 1)};
    for (int i = 0; i < 4; ++i)
      if (range[i] < 0 || uint64_t(range[i]) != expected[i]) return false;
    if (check.end > file.size()) return false;
    pending.push_back({{expected[0], expected[1], expected[2], check.end}, Sha256Context()});
  }
  // One sequential pass feeds every signature's hash with the part of each block it covers.
  std::string buffer(size_t(1) << 20, '\0');
  for (uint64_t at = 0; at < file.size();) {
    size_t got = 0;
    const size_t want = size_t(std::min<uint64_t>(buffer.size(), file.size() - at));
    if (!file.ReadAt(at, buffer.data(), want, &got) || got != want) return false;
    for (Pending& p : pending) {
      for (int r = 0; r < 4; r += 2) {
        const uint64_t from = std::max(at, p.ranges[r]), to = std::min(at + got, p.ranges[r + 1]);
        if (from < to) p.hash.Update(buffer.data() + (from - at), size_t(to - from));
      }
    }
    at += got;
  }
  for (size_t i = 0; i < pending.size(); ++i)
    if (pending[i].hash.Final() != checks[i].digest) return false;
  return true;
}
