#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "pades/file_io.h"

namespace {

FILE* File(void* handle) {
  return static_cast<FILE*>(handle);
}

}  // namespace

InputFile::~InputFile() {
  Close();
}

void InputFile::Close() {
  if (handle_) std::fclose(File(handle_));
  handle_ = nullptr;
}

bool InputFile::Open(const std::string& path, bool* notRegular) {
  if (notRegular) *notRegular = false;
  struct _stat64 st;
  if (_stat64(path.c_str(), &st) == 0 && !(st.st_mode & _S_IFREG)) {
    if (notRegular) *notRegular = true;
    return false;
  }
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  if (_fseeki64(f, 0, SEEK_END) != 0) {
    std::fclose(f);
    return false;
  }
  long long end = _ftelli64(f);
  if (end < 0) {
    std::fclose(f);
    return false;
  }
  handle_ = f;
  size_ = uint64_t(end);
  return true;
}

bool InputFile::ReadAt(uint64_t offset, void* buf, size_t len, size_t* got) const {
  FILE* f = File(handle_);
  if (_fseeki64(f, (long long)offset, SEEK_SET) != 0) return false;
  size_t n = std::fread(buf, 1, len, f);
  if (n < len && std::ferror(f)) return false;
  *got = n;
  return true;
}

bool OutputFile::CreateBeside(const std::string& finalPath) {
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string name = TemporaryName(finalPath);
    int fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    FILE* f = _fdopen(fd, "wb");
    if (!f) {
      _close(fd);
      std::remove(name.c_str());
      return false;
    }
    guard_.Guard(name.c_str());
    handle_ = f;
    tempPath_ = name;
    finalPath_ = finalPath;
    return true;
  }
  return false;
}

bool OutputFile::Write(const void* data, size_t len) {
  return std::fwrite(data, 1, len, File(handle_)) == len;
}

bool OutputFile::CopyFrom(const InputFile& input, uint64_t offset, uint64_t len) {
  return CopyChunks(input, offset, len);
}

bool OutputFile::Close() {
  if (!handle_) return false;
  FILE* f = File(handle_);
  // The bytes reach the disk before the name does.
  bool ok = std::fflush(f) == 0 && _commit(_fileno(f)) == 0;
  if (std::fclose(f) != 0) ok = false;
  handle_ = nullptr;
  closed_ = true;
  return ok;
}

bool OutputFile::Commit() {
  if (handle_ || tempPath_.empty()) return false;
  if (!MoveFileExA(tempPath_.c_str(), finalPath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return false;
  guard_.Release();
  committed_ = true;
  return true;
}

void OutputFile::Discard() {
  if (handle_) {
    std::fclose(File(handle_));
    handle_ = nullptr;
  }
  if (!tempPath_.empty()) std::remove(tempPath_.c_str());
  guard_.Release();
  tempPath_.clear();
}

NewFile CreateNewFile(const std::string& path) {
  int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  if (fd < 0) return errno == EEXIST ? NewFile::Exists : NewFile::Failed;
  _close(fd);
  return NewFile::Created;
}
