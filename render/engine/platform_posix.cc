#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

#include "render/engine/platform.h"

namespace vyrender::platform {

void* AllocateRaster(size_t size) {
  // A page raster is megabytes that are written once, at once. Aligned and marked for huge
  // pages, it costs a few page faults instead of one per 4 KiB, which on virtual machines is a
  // good part of a page's rendering time. The memory still comes from malloc's heap, so free
  // releases it.
  constexpr size_t kHugePage = 2u << 20;
  if (size < kHugePage) return std::malloc(size);
  void* buffer = nullptr;
  if (posix_memalign(&buffer, kHugePage, size) != 0) return nullptr;
  madvise(buffer, size, MADV_HUGEPAGE);
  return buffer;
}

void FreeRaster(void* buffer) {
  std::free(buffer);
}

bool IsReadableFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// TemporaryFile closes its descriptor and, unless kept, removes the file.
class TemporaryFile {
 public:
  TemporaryFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!kept_) unlink(path_.c_str());
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  bool Close() {
    int fd = fd_;
    fd_ = -1;
    return close(fd) == 0;
  }
  void Keep() { kept_ = true; }

 private:
  int fd_;
  std::string path_;
  bool kept_ = false;
};

// OpenBeside creates a new file in the destination's folder, so the final rename stays within
// one file system. The name is unique to this process and call; O_EXCL refuses any existing
// file or link.
int OpenBeside(const std::string& path, std::string* tempPath) {
  static std::atomic<unsigned> counter{0};
  size_t slash = path.rfind('/');
  std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *tempPath =
        folder + "." + name + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp";
    int fd = open(tempPath->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

WriteResult WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return WriteResult::kCreateFailed;
  std::string tempPath;
  int fd = OpenBeside(path, &tempPath);
  if (fd < 0) return WriteResult::kCreateFailed;
  TemporaryFile file(fd, tempPath);
  for (size_t done = 0; done < size;) {
    ssize_t n = write(file.fd(), data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return WriteResult::kWriteFailed;
    done += static_cast<size_t>(n);
  }
  // The data must be on disk before the name points at it, or a crash could leave an empty
  // file where the old one was.
  if (fsync(file.fd()) != 0 || !file.Close()) return WriteResult::kWriteFailed;
  if (rename(file.path().c_str(), path.c_str()) != 0) return WriteResult::kCreateFailed;
  file.Keep();
  return WriteResult::kOk;
}

}  // namespace vyrender::platform
