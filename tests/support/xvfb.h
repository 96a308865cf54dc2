#pragma once

#include <sys/types.h>

#include <string>

namespace testing_support {

// Xvfb runs a virtual X server on a display it picks itself (-displayfd) for the test's life;
// display() is empty when it did not start.
class Xvfb {
 public:
  explicit Xvfb(const std::string& screen = "800x600x24");
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace testing_support
