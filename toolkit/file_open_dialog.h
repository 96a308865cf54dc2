#pragma once

#include <string>
#include <vector>

#include "toolkit/file_dialog.h"
#include "toolkit/window.h"

namespace Vy {

class CButton;
class CComboBox;
class CEdit;
class CLabel;
class CListView;

// CFileOpenDialog is the toolkit's own file-open dialog, for desktops whose backend has no
// native one: the folder's subfolders (with ".." to go up) beside its files filtered by the
// chosen file type, and a path field that also takes a typed path, absolute, relative to the
// folder shown or starting with "~/". A double click or Enter on a folder enters it; on a file
// it chooses the file. Enter elsewhere opens what the path field names, Escape cancels. Hidden
// entries (a name starting with ".") are not listed but can be typed.
class CFileOpenDialog : public CDialog {
 public:
  CFileOpenDialog(CWindow* parent, const OpenFileRequest& request);

  // ShowModal returns 1 with Result() chosen, 2 when cancelled, 0 when closed otherwise.
  const OpenFileResult& Outcome() const { return outcome_; }

  bool OnInit() override;
  void OnKeyDown(uint16_t key, uint32_t modifiers) override;

  // Test access.
  const std::string& Folder() const { return folder_; }
  CListView* Folders() const { return folders_; }
  CListView* Files() const { return files_; }
  CEdit* PathField() const { return pathField_; }
  CComboBox* Types() const { return types_; }
  CLabel* ErrorLine() const { return error_; }
  // Open acts on a typed path as the "Abrir" button does.
  void Open(const std::string& typed);

 private:
  void Load(const std::string& folder);
  void FolderActivated(int index);
  void FileSelected(int index);
  void FileActivated(int index);
  void TypeChanged(int index);
  void PathEntered(const std::string& text) { Open(text); }
  void OpenClicked();
  void CancelClicked() { EndDialog(2); }

  OpenFileRequest request_;
  std::vector<FileFilter> filters_;
  size_t filter_ = 0;
  std::string folder_;
  std::string initialName_;
  std::vector<std::string> folderNames_;
  std::vector<std::string> fileNames_;
  OpenFileResult outcome_;
  CLabel* folderLine_ = nullptr;
  CListView* folders_ = nullptr;
  CListView* files_ = nullptr;
  CEdit* pathField_ = nullptr;
  CComboBox* types_ = nullptr;
  CLabel* error_ = nullptr;
};

// MatchesPattern tests a file name against one "*"/"?" pattern, ignoring ASCII case.
bool MatchesPattern(const std::string& name, const std::string& pattern);

}  // namespace Vy
