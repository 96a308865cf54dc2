#pragma once

#include <chrono>
#include <cstddef>
#include <string>

// ProgressLine shows, on standard error when it is a terminal, which document of a batch is
// being signed and how long the rest should take: "3/10 · factura.pdf · quedan 12 s". The line
// is redrawn in place and cleared before any other output; off a terminal it shows nothing.
class ProgressLine {
 public:
  explicit ProgressLine(size_t total);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Show draws the line for document `index` (from 0), named `path`.
  void Show(size_t index, const std::string& path);
  // Clear removes the line, so that a result can be printed in its place.
  void Clear();

 private:
  size_t total_;
  bool enabled_;
  size_t shown_ = 0;  // characters on screen
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// ProgressText is the line for document `index` of `total` when `elapsed` seconds went into the
// documents before it: the estimate appears once one document is done.
std::string ProgressText(size_t index, size_t total, const std::string& path, double elapsed);

// StderrIsTerminal tells whether standard error is a terminal (platform part).
bool StderrIsTerminal();
