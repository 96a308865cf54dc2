#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/signal_cleanup.h"

// The engine's file access: positioned reads of the input, and an output that is written to a
// temporary file beside its final path, flushed to the disk and moved into place only once it
// is complete and checked. On Linux the temporary file has no name until then (O_TMPFILE), so
// a killed signer leaves nothing behind; a named one is removed if a signal stops the process.
// The platform calls live in file_io_posix.cc and file_io_win32.cc.

// InputFile is a file opened read-only for positioned reads.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Open returns false when the path cannot be opened for reading or is not a regular file
  // (`*notRegular` then tells which). A FIFO or a device is refused without waiting on it.
  bool Open(const std::string& path, bool* notRegular = nullptr);
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
  // Close ends the writing and flushes the file to the disk; a failed flush is a failed write.
  bool Close();
  // Commit moves the closed file to the final path, replacing what is there, and flushes the
  // folder. A replaced regular file passes on its mode (and, for the superuser, its owner).
  bool Commit();
  // Discard closes and removes the temporary file.
  void Discard();
  // tempPath is where the written bytes can be read back until Commit.
  const std::string& tempPath() const { return tempPath_; }

 private:
  // CopyChunks is the portable copy: reads and writes in 1 MiB pieces.
  bool CopyChunks(const InputFile& input, uint64_t offset, uint64_t len);

  void* handle_ = nullptr;
  std::string tempPath_;
  std::string finalPath_;
  bool committed_ = false;
  bool unnamed_ = false;  // O_TMPFILE: the descriptor stays open until Commit links it
  bool closed_ = false;
  CleanupPath guard_;
};

// TemporaryName is `finalPath` + ".tmp" + eight random letters or digits.
std::string TemporaryName(const std::string& finalPath);

enum class NewFile { Created, Exists, Failed };

// CreateNewFile creates `path` empty, only when no entry of that name exists (of any kind,
// readable or not, a dangling link included): one atomic step, so two processes never both
// succeed.
NewFile CreateNewFile(const std::string& path);
