#include <windows.h>
// windows.h first: commdlg.h uses its types.
#include <commdlg.h>

#include <cstdio>
#include <vector>

#include "toolkit/file_dialog.h"
#include "toolkit/win32/wide.h"

namespace Vy {
namespace {

// The buffer the dialog writes the chosen path into, in UTF-16 units.
constexpr size_t kPathUnits = 32768;

// FilterList is the dialog's "label\0patterns\0...\0\0" list.
std::wstring FilterList(std::string_view patterns) {
  std::wstring list;
  for (const FileFilter& f : OpenFileFilters(patterns)) {
    list += Wide(f.label);
    list += L'\0';
    list += Wide(f.patterns);
    list += L'\0';
  }
  list += L'\0';
  return list;
}

}  // namespace

OpenFileResult ShowOpenFileDialog(const OpenFileRequest& request) {
  OpenFileResult result;
  std::wstring initial = Wide(request.initialPath);
  std::wstring folder, name = initial;
  DWORD attributes = initial.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(initial.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    folder = initial;
    name.clear();
  } else if (size_t cut = initial.find_last_of(L"/\\"); cut != std::wstring::npos) {
    folder = initial.substr(0, cut + 1);
    name = initial.substr(cut + 1);
  }
  std::vector<wchar_t> path(kPathUnits, L'\0');
  name.copy(path.data(), kPathUnits - 1);
  std::wstring filters = FilterList(request.patterns);
  std::wstring title = Wide(request.title.empty() ? "Abrir archivo" : request.title);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = GetActiveWindow();
  ofn.lpstrFilter = filters.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path.data();
  ofn.nMaxFile = static_cast<DWORD>(kPathUnits);
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = title.c_str();
  ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (GetOpenFileNameW(&ofn)) {
    result.chosen = true;
    result.path = Narrow(path.data());
    return result;
  }
  if (DWORD code = CommDlgExtendedError()) {
    char text[96];
    std::snprintf(text, sizeof text, "No se pudo abrir el dialogo de archivos (error %lu).",
                  static_cast<unsigned long>(code));
    result.error = text;
  }
  return result;
}

}  // namespace Vy
