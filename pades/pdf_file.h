#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pades/file_io.h"

// PdfFile reads a file by position through a small cache of 64 KiB blocks: the readers of a PDF
// go back and forth over the same few places (a trailer, a table, the objects it names).
class PdfFile {
 public:
  // Open returns false when the path cannot be read or is not a regular file.
  bool Open(const std::string& path, bool* notRegular = nullptr);
  uint64_t length() const { return length_; }
  InputFile& input() { return file_; }
  const InputFile& input() const { return file_; }
  // Read returns up to `len` bytes at `offset`: fewer only at the end of the file.
  std::string Read(uint64_t offset, size_t len);

 private:
  struct Block {
    uint64_t index = UINT64_MAX;
    uint64_t used = 0;
    std::string data;
  };
  InputFile file_;
  uint64_t length_ = 0;
  std::vector<Block> blocks_;
  uint64_t clock_ = 0;
};
