#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "pades/file_io.h"

namespace {

int Fd(void* handle) {
  return int(reinterpret_cast<intptr_t>(handle)) - 1;
}
void* Handle(int fd) {
  return reinterpret_cast<void*>(intptr_t(fd) + 1);
}

}  // namespace

InputFile::~InputFile() {
  Close();
}

void InputFile::Close() {
  if (handle_) ::close(Fd(handle_));
  handle_ = nullptr;
}

bool InputFile::Open(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  handle_ = Handle(fd);
  size_ = uint64_t(st.st_size);
  return true;
}

bool InputFile::ReadAt(uint64_t offset, void* buf, size_t len, size_t* got) const {
  size_t total = 0;
  while (total < len) {
    ssize_t n = ::pread(Fd(handle_), static_cast<char*>(buf) + total, len - total, off_t(offset + total));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) break;
    total += size_t(n);
  }
  *got = total;
  return true;
}

bool OutputFile::CreateBeside(const std::string& finalPath) {
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string name = TemporaryName(finalPath);
    // The signed document is not secret: ordinary permissions (after umask) as any new file.
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      handle_ = Handle(fd);
      tempPath_ = name;
      finalPath_ = finalPath;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool OutputFile::Write(const void* data, size_t len) {
  const char* p = static_cast<const char*>(data);
  while (len) {
    ssize_t n = ::write(Fd(handle_), p, len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    len -= size_t(n);
  }
  return true;
}

bool OutputFile::CopyFrom(const InputFile& input, uint64_t offset, uint64_t len) {
  // copy_file_range moves the bytes inside the kernel (or shares extents on file systems that
  // can); other kernels and file-system pairs fall back to plain reads and writes.
  off_t in = off_t(offset);
  while (len) {
    size_t step = len > (size_t(1) << 30) ? (size_t(1) << 30) : size_t(len);
    ssize_t n = ::copy_file_range(Fd(input.handle()), &in, Fd(handle_), nullptr, step, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    len -= uint64_t(n);
  }
  return CopyChunks(input, uint64_t(in), len);
}

bool OutputFile::Close() {
  if (!handle_) return false;
  int rc = ::close(Fd(handle_));
  handle_ = nullptr;
  return rc == 0;
}

bool OutputFile::Commit() {
  if (handle_ || tempPath_.empty()) return false;
  if (::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) return false;
  committed_ = true;
  return true;
}

void OutputFile::Discard() {
  if (handle_) {
    ::close(Fd(handle_));
    handle_ = nullptr;
  }
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  tempPath_.clear();
}
