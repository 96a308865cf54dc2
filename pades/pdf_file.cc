#include "pades/pdf_file.h"

#include <algorithm>

namespace {

constexpr size_t kBlockSize = size_t(64) << 10;
constexpr size_t kMaxBlocks = 32;

}  // namespace

bool PdfFile::Open(const std::string& path, bool* notRegular) {
  if (!file_.Open(path, notRegular)) return false;
  length_ = file_.size();
  return true;
}

std::string PdfFile::Read(uint64_t offset, size_t len) {
  std::string out;
  if (offset >= length_) return out;
  len = size_t(std::min<uint64_t>(len, length_ - offset));
  if (len > kBlockSize * 4) {
    out.resize(len);
    size_t got = 0;
    if (!file_.ReadAt(offset, out.data(), len, &got)) got = 0;
    out.resize(got);
    return out;
  }
  out.reserve(len);
  while (len) {
    const uint64_t index = offset / kBlockSize;
    Block* block = nullptr;
    for (Block& b : blocks_)
      if (b.index == index) block = &b;
    if (!block) {
      if (blocks_.size() < kMaxBlocks) {
        block = &blocks_.emplace_back();
      } else {
        block = &*std::min_element(blocks_.begin(), blocks_.end(),
                                   [](const Block& a, const Block& b) { return a.used < b.used; });
      }
      block->index = index;
      block->data.resize(kBlockSize);
      size_t got = 0;
      if (!file_.ReadAt(index * kBlockSize, block->data.data(), kBlockSize, &got)) got = 0;
      block->data.resize(got);
    }
    block->used = ++clock_;
    const size_t at = size_t(offset - index * kBlockSize);
    if (at >= block->data.size()) break;
    const size_t take = std::min(len, block->data.size() - at);
    out.append(block->data, at, take);
    offset += take;
    len -= take;
  }
  return out;
}
