#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The engine's file access: positioned reads of the input, and an output that is written to a
// temporary file beside its final path and renamed into place only once it is complete and
// checked. The platform calls live in file_io_posix.cc and file_io_win32.cc.

// InputFile is a file opened read-only for positioned reads.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Open returns false when the path cannot be opened for reading or is not a seekable file.
  bool Open(const std::string& path);
  bool IsOpen() const { return handle_ != nullptr; }
  void Close();
  uint64_t size() const { return size_; }
  // ReadAt reads up to `len` bytes at `offset` into `buf`; `*got` falls short of `len` only at
  // the end of the file. It returns false on a read error.
  bool ReadAt(uint64_t offset, void* buf, size_t len, size_t* got) const;
  void* handle() const { return handle_; }

 private:
  void* handle_ = nullptr;
  uint64_t size_ = 0;
};

// OutputFile is a new temporary file beside a final path. Destroying it without Commit removes
// the temporary file.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // CreateBeside makes a new, empty file in the folder of `finalPath`, never one that exists.
  bool CreateBeside(const std::string& finalPath);
  bool Write(const void* data, size_t len);
  // CopyFrom appends `len` bytes of `input` from `offset`, in the kernel where it can.
  bool CopyFrom(const InputFile& input, uint64_t offset, uint64_t len);
  bool Close();
  // Commit moves the closed file to the final path, replacing what is there.
  bool Commit();
  // Discard closes and removes the temporary file.
  void Discard();
  const std::string& tempPath() const { return tempPath_; }

 private:
  // CopyChunks is the portable copy: reads and writes in 1 MiB pieces.
  bool CopyChunks(const InputFile& input, uint64_t offset, uint64_t len);

  void* handle_ = nullptr;
  std::string tempPath_;
  std::string finalPath_;
  bool committed_ = false;
};

// TemporaryName is `finalPath` + ".tmp" + eight random letters or digits.
std::string TemporaryName(const std::string& finalPath);
