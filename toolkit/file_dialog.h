#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace Vy {

// OpenFileRequest asks the user for one existing file.
struct OpenFileRequest {
  std::string title;        // UTF-8; empty means "Abrir archivo"
  std::string initialPath;  // UTF-8; its folder and file name preset the dialog
  std::string patterns;     // such as "*.pdf" or "*.pfx;*.p12", separated by ';'
};

// OpenFileResult is the path chosen (UTF-8), or no path with `error` empty when the user
// cancelled, or no path and a Spanish `error` when the dialog could not be shown.
struct OpenFileResult {
  bool chosen = false;
  std::string path;
  std::string error;
};

// FileFilter is one entry of the dialog's list of file types.
struct FileFilter {
  std::string label;
  std::string patterns;
};

// OpenFileFilters lists the file types for `patterns`: all of them together, then each
// "*.ext" on its own when there are several, then every file.
std::vector<FileFilter> OpenFileFilters(std::string_view patterns);

// ShowOpenFileDialog shows the platform's file-open dialog over the active window and waits
// for the user; defined by the desktop backend library.
OpenFileResult ShowOpenFileDialog(const OpenFileRequest& request);

}  // namespace Vy
