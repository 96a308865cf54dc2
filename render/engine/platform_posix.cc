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

// TemporaryFile is a new file being written in the destination's folder, so that the final
// rename stays within one file system. Where the file system allows it, the file has no name
// until it is complete (O_TMPFILE) and an interrupted program leaves nothing behind; elsewhere
// it has a unique hidden name from the start. A file not published is removed.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& destination) {
    size_t slash = destination.rfind('/');
    folder_ = slash == std::string::npos ? std::string() : destination.substr(0, slash + 1);
    base_ = slash == std::string::npos ? destination : destination.substr(slash + 1);
    fd_ = open(folder_.empty() ? "." : folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ >= 0) return;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      name_ = UniqueName();
      fd_ = open(name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ < 0 && errno != EEXIST) break;
    }
    if (fd_ < 0) name_.clear();
  }
  ~TemporaryFile() {
    if (fd_ >= 0) close(fd_);
    if (!name_.empty()) unlink(name_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  int fd() const { return fd_; }

  // Publish closes the complete file and moves it to `destination`, replacing what is there.
  bool Publish(const std::string& destination) {
    if (name_.empty()) {
      // An unnamed file gets a name through its /proc link, then moves like a named one.
      std::string self = "/proc/self/fd/" + std::to_string(fd_);
      for (int attempt = 0; attempt < 100 && name_.empty(); ++attempt) {
        std::string candidate = UniqueName();
        if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
          name_ = candidate;
        else if (errno != EEXIST)
          return false;
      }
      if (name_.empty()) return false;
    }
    int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0 || rename(name_.c_str(), destination.c_str()) != 0) return false;
    name_.clear();
    return true;
  }

 private:
  // UniqueName is hidden and unique to this process and call; O_EXCL and linkat refuse any
  // existing file or link of that name.
  std::string UniqueName() const {
    static std::atomic<unsigned> counter{0};
    return folder_ + "." + base_ + "." + std::to_string(getpid()) + "." + std::to_string(counter++) + ".tmp";
  }

  std::string folder_, base_;
  std::string name_;  // empty while the file has no name
  int fd_ = -1;
};

}  // namespace

WriteResult WriteFileReplacing(const std::string& path, const uint8_t* data, size_t size) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return WriteResult::kCreateFailed;
  TemporaryFile file(path);
  if (file.fd() < 0) return WriteResult::kCreateFailed;
  for (size_t done = 0; done < size;) {
    ssize_t n = write(file.fd(), data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return WriteResult::kWriteFailed;
    done += static_cast<size_t>(n);
  }
  // The data must be on disk before the name points at it, or a crash could leave an empty
  // file where the old one was.
  if (fsync(file.fd()) != 0) return WriteResult::kWriteFailed;
  return file.Publish(path) ? WriteResult::kOk : WriteResult::kCreateFailed;
}

}  // namespace vyrender::platform
