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

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Sync flushes a descriptor; file systems that cannot (EINVAL) have nothing to flush.
bool Sync(int fd) {
  while (::fsync(fd) != 0) {
    if (errno == EINTR) continue;
    return errno == EINVAL || errno == EROFS;
  }
  return true;
}

void SyncFolder(const std::string& path) {
  int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  Sync(fd);
  ::close(fd);
}

std::string DescriptorPath(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

// OpenUnnamed makes a file with no name in the folder of `finalPath`: it vanishes with the
// process unless linked. -1 where the kernel, the file system or a missing /proc (needed to
// link and reopen it) does not allow it.
int OpenUnnamed(const std::string& finalPath) {
#ifdef O_TMPFILE
  if (::access("/proc/self/fd", X_OK) != 0) return -1;
  return ::open(FolderOf(finalPath).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
#else
  (void)finalPath;
  return -1;
#endif
}

// TakeOver gives the new file the mode and, for the superuser, the owner of the regular file
// it replaces; a new name keeps the usual mode under the umask.
void TakeOver(int fd, const std::string& finalPath) {
  struct stat old;
  if (::lstat(finalPath.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return;
  // The owner first: changing it clears set-id bits that the mode then restores.
  if (::geteuid() == 0) (void)!::fchown(fd, old.st_uid, old.st_gid);
  ::fchmod(fd, old.st_mode & 07777);
}

}  // namespace

NewFile CreateNewFile(const std::string& path) {
  // O_EXCL fails on any existing entry, a dangling link included, whoever may read it.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return errno == EEXIST ? NewFile::Exists : NewFile::Failed;
  ::close(fd);
  return NewFile::Created;
}

InputFile::~InputFile() {
  Close();
}

void InputFile::Close() {
  if (handle_) ::close(Fd(handle_));
  handle_ = nullptr;
}

bool InputFile::Open(const std::string& path, bool* notRegular) {
  if (notRegular) *notRegular = false;
  // O_NONBLOCK: opening a FIFO without a writer would wait forever.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (notRegular) *notRegular = ::fstat(fd, &st) == 0;
    ::close(fd);
    return false;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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
  finalPath_ = finalPath;
  int fd = OpenUnnamed(finalPath);
  if (fd >= 0) {
    handle_ = Handle(fd);
    unnamed_ = true;
    tempPath_ = DescriptorPath(fd);
    return true;
  }
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string name = TemporaryName(finalPath);
    // The signed document is not secret: ordinary permissions (after umask) as any new file.
    fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      guard_.Guard(name.c_str());
      handle_ = Handle(fd);
      tempPath_ = name;
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
  if (!handle_ || closed_) return false;
  closed_ = true;
  // The bytes reach the disk before the name does: a power cut cannot leave an empty file
  // where the signed copy was reported.
  return Sync(Fd(handle_));
}

bool OutputFile::Commit() {
  if (!handle_ || !closed_) return false;
  const int fd = Fd(handle_);
  TakeOver(fd, finalPath_);
  std::string from = tempPath_;
  CleanupPath linked;
  if (unnamed_) {
    // A free name takes the link directly; otherwise a named link is renamed over the old file.
    if (::linkat(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, finalPath_.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      from.clear();
    } else if (errno != EEXIST) {
      return false;
    } else {
      for (int attempt = 0; attempt < 64 && from == tempPath_; ++attempt) {
        std::string name = TemporaryName(finalPath_);
        if (::linkat(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
          linked.Guard(name.c_str());
          from = name;
        } else if (errno != EEXIST) {
          return false;
        }
      }
      if (from == tempPath_) return false;
    }
  }
  if (!from.empty() && ::rename(from.c_str(), finalPath_.c_str()) != 0) {
    if (unnamed_) ::unlink(from.c_str());
    return false;
  }
  linked.Release();
  guard_.Release();
  SyncFolder(finalPath_);
  ::close(fd);
  handle_ = nullptr;
  committed_ = true;
  return true;
}

void OutputFile::Discard() {
  if (handle_) {
    ::close(Fd(handle_));
    handle_ = nullptr;
  }
  if (!tempPath_.empty() && !unnamed_) ::unlink(tempPath_.c_str());
  guard_.Release();
  tempPath_.clear();
}
