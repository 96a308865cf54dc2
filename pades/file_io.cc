#include "pades/file_io.h"

#include <random>

OutputFile::~OutputFile() {
  if (!committed_) Discard();
}

std::string TemporaryName(const std::string& finalPath) {
  // Lower case only: the name must stay unique on case-insensitive file systems too.
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::string name = finalPath + ".tmp";
  for (int i = 0; i < 8; ++i) name += kAlphabet[random() % (sizeof kAlphabet - 1)];
  return name;
}

bool OutputFile::CopyChunks(const InputFile& input, uint64_t offset, uint64_t len) {
  static constexpr size_t kChunk = size_t(1) << 20;
  std::string buffer;
  while (len) {
    if (buffer.empty()) buffer.resize(kChunk);
    size_t got = 0;
    size_t want = len < kChunk ? size_t(len) : kChunk;
    if (!input.ReadAt(offset, buffer.data(), want, &got) || got != want) return false;
    if (!Write(buffer.data(), got)) return false;
    offset += got;
    len -= got;
  }
  return true;
}
