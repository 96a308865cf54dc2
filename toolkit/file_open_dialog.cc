#include "toolkit/file_open_dialog.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <system_error>

#include "toolkit/button.h"
#include "toolkit/combobox.h"
#include "toolkit/edit.h"
#include "toolkit/label.h"
#include "toolkit/listview.h"
#include "toolkit/style.h"

namespace fs = std::filesystem;

namespace Vy {
namespace {

const Color kText{16, 24, 40, 255};
const Color kMuted{90, 104, 126, 255};
const Color kError{198, 52, 52, 255};

// Paths are UTF-8 on both sides; going through u8string keeps them so on every platform.
fs::path ToPath(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string FromPath(const fs::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool IsFolder(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool LessIgnoringCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Lower(x) < Lower(y); });
}

// CActivatingList reports a double click or Enter on a row, which the plain list view
// consumes without telling anyone.
class CActivatingList : public CListView {
 public:
  std::function<void(int)> onActivate;
  void OnEvent(Event& e) override {
    if (e.kind == kDoubleClick && e.button == kLeftButton) {
      int row = RowAt(e.x, e.y);
      if (row >= 0) {
        e.handled = true;
        if (onActivate) onActivate(row);
        return;
      }
    }
    if (e.kind == kKeyPressed && e.key == kKeyEnter && SelectedIndex() >= 0) {
      e.handled = true;
      if (onActivate) onActivate(SelectedIndex());
      return;
    }
    CListView::OnEvent(e);
  }
};

CListView* AddList(CWindow* window, const Rect& rect, std::function<void(int)> onActivate) {
  auto* list = new CActivatingList;
  list->onActivate = std::move(onActivate);
  list->SetBounds(rect);
  list->SetMode(CListView::kList);
  list->SetRowHeight(24);
  window->AddChild(list);
  return list;
}

std::string ButtonStyle(Color background, bool bold) {
  return BuildStyleText(background, {255, 255, 255, 255}, background, bold, 12);
}

}  // namespace

bool MatchesPattern(const std::string& name, const std::string& pattern) {
  // Iterative glob with one back-track point for the last '*'.
  size_t n = 0, p = 0, starP = std::string::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
      ++n, ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

CFileOpenDialog::CFileOpenDialog(CWindow* parent, const OpenFileRequest& request)
    : CDialog(parent), request_(request), filters_(OpenFileFilters(request.patterns)) {
  SetTitle(request.title.empty() ? "Abrir archivo" : request.title);
  SetClientSize({600, 476});
  background_ = {245, 247, 251, 255};
}

bool CFileOpenDialog::OnInit() {
  SetResizable(false);
  AddLabel("Carpeta:", {16, 14, 60, 20})->SetTextColor(kText);
  folderLine_ = AddLabel("", {80, 14, 504, 20});
  folderLine_->SetTextColor(kMuted);
  AddLabel("Carpetas", {16, 42, 200, 18})->SetTextColor(kMuted);
  AddLabel("Archivos", {228, 42, 356, 18})->SetTextColor(kMuted);
  folders_ = AddList(this, {16, 62, 200, 290}, [this](int i) { FolderActivated(i); });
  files_ = AddList(this, {228, 62, 356, 290}, [this](int i) { FileActivated(i); });
  files_->OnSelectionChanged(this, &CFileOpenDialog::FileSelected);

  AddLabel("Nombre:", {16, 368, 60, 20})->SetTextColor(kText);
  pathField_ = AddEdit("", {80, 362, 504, 28});
  pathField_->SetPlaceholder("Nombre o ruta del archivo");
  pathField_->OnEnter(this, &CFileOpenDialog::PathEntered);
  AddLabel("Tipo:", {16, 404, 60, 20})->SetTextColor(kText);
  std::vector<std::string> labels;
  for (const FileFilter& f : filters_) labels.push_back(f.label);
  types_ = AddComboBox(labels, {80, 398, 300, 28});
  types_->SetFontSize(12);
  types_->SetSelectedIndex(0);
  types_->OnSelectionChanged(this, &CFileOpenDialog::TypeChanged);

  error_ = AddLabel("", {16, 440, 370, 20});
  error_->SetTextColor(kError);
  error_->SetFontSize(11);
  CButton* open = AddButton("Abrir", {398, 434, 90, 32});
  open->SetStyle(ButtonStyle({16, 32, 58, 255}, true));
  open->SetHoverStyle(ButtonStyle({30, 62, 116, 255}, true));
  open->OnClick(this, &CFileOpenDialog::OpenClicked);
  CButton* cancel = AddButton("Cancelar", {494, 434, 90, 32});
  cancel->SetStyle(ButtonStyle({190, 46, 46, 255}, false));
  cancel->OnClick(this, &CFileOpenDialog::CancelClicked);

  // The initial path presets the folder and, when it names a file, the name.
  std::string start;
  fs::path initial = ToPath(request_.initialPath);
  if (!request_.initialPath.empty() && IsFolder(initial)) {
    start = request_.initialPath;
  } else if (!request_.initialPath.empty() &&
             IsFolder(initial.parent_path().empty() ? "." : initial.parent_path())) {
    start = initial.parent_path().empty() ? "." : FromPath(initial.parent_path());
    initialName_ = FromPath(initial.filename());
  } else {
    start = ".";
  }
  Load(start);
  // Selected, so that typing another name replaces it.
  if (!initialName_.empty()) {
    pathField_->SetText(initialName_);
    pathField_->SelectAll();
  }
  FocusControl(pathField_);
  return true;
}

void CFileOpenDialog::Load(const std::string& folder) {
  std::error_code ec;
  fs::path path = fs::weakly_canonical(fs::absolute(ToPath(folder), ec), ec);
  if (ec) path = ToPath(folder);
  std::vector<std::string> subfolders, names;
  fs::directory_iterator it(path, fs::directory_options::skip_permission_denied, ec);
  if (ec) {
    error_->SetText("No se pudo leer la carpeta " + FromPath(path) + ".");
    return;
  }
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::string name = FromPath(it->path().filename());
    if (name.empty() || name[0] == '.') continue;
    std::error_code kindError;
    if (it->is_directory(kindError)) {
      subfolders.push_back(name);
    } else if (it->is_regular_file(kindError)) {
      const std::string& patterns = filters_.empty() ? std::string("*") : filters_[filter_].patterns;
      size_t start = 0;
      while (start <= patterns.size()) {
        size_t end = std::min(patterns.find(';', start), patterns.size());
        if (MatchesPattern(name, patterns.substr(start, end - start))) {
          names.push_back(name);
          break;
        }
        start = end + 1;
      }
    }
  }
  std::sort(subfolders.begin(), subfolders.end(), LessIgnoringCase);
  std::sort(names.begin(), names.end(), LessIgnoringCase);
  if (path.has_relative_path()) subfolders.insert(subfolders.begin(), "..");

  folder_ = FromPath(path);
  folderNames_ = std::move(subfolders);
  fileNames_ = std::move(names);
  folderLine_->SetText(folder_);
  error_->SetText("");
  folders_->Clear();
  for (const std::string& name : folderNames_)
    folders_->AddItem({name == ".." ? ".." : name + "/", "", {}, 0});
  files_->Clear();
  for (const std::string& name : fileNames_) files_->AddItem({name, "", {}, 0});
  Invalidate();
}

void CFileOpenDialog::FolderActivated(int index) {
  if (index < 0 || index >= static_cast<int>(folderNames_.size())) return;
  fs::path folder = ToPath(folder_);
  Load(FromPath(folderNames_[index] == ".." ? folder.parent_path() : folder / ToPath(folderNames_[index])));
}

void CFileOpenDialog::FileSelected(int index) {
  if (index >= 0 && index < static_cast<int>(fileNames_.size())) pathField_->SetText(fileNames_[index]);
}

void CFileOpenDialog::FileActivated(int index) {
  if (index >= 0 && index < static_cast<int>(fileNames_.size())) Open(fileNames_[index]);
}

void CFileOpenDialog::TypeChanged(int index) {
  if (index < 0 || index >= static_cast<int>(filters_.size())) return;
  filter_ = static_cast<size_t>(index);
  if (!folder_.empty()) Load(folder_);
}

void CFileOpenDialog::OpenClicked() {
  if (pathField_->Text().empty() && Focused() == folders_) {
    FolderActivated(folders_->SelectedIndex());
    return;
  }
  Open(pathField_->Text());
}

void CFileOpenDialog::Open(const std::string& typed) {
  if (typed.empty()) {
    error_->SetText("Escribe el nombre de un archivo o elige uno de la lista.");
    return;
  }
  fs::path path = ToPath(typed);
  if (typed.size() >= 2 && typed[0] == '~' && (typed[1] == '/' || typed[1] == '\\')) {
    if (const char* home = std::getenv("HOME")) path = ToPath(home) / ToPath(typed.substr(2));
  } else if (path.is_relative()) {
    path = ToPath(folder_) / path;
  }
  if (IsFolder(path)) {
    Load(FromPath(path));
    pathField_->SetText("");
    return;
  }
  if (!IsFile(path)) {
    error_->SetText("No existe el archivo " + typed + ".");
    return;
  }
  outcome_.chosen = true;
  outcome_.path = FromPath(path.lexically_normal());
  EndDialog(1);
}

void CFileOpenDialog::OnKeyDown(uint16_t key, uint32_t) {
  if (key == kKeyEscape) {
    EndDialog(2);
  } else if (key == kKeyEnter) {
    Open(pathField_->Text());
  }
}

}  // namespace Vy
