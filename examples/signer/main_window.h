#pragma once

#include <string>

#include "certs/certificate_entry.h"
#include "examples/signer/palette.h"
#include "toolkit/window.h"

namespace Vy {
class CButton;
class CEdit;
class CLabel;
class CPdfView;
}  // namespace Vy

// CMainWindow is the signer's window: it shows a PDF's pages with page navigation and runs
// the sign command (certificate dialog, PIN when the key needs one, signed copy beside the
// input, which it then shows). Every outcome ends on the footer's path/status line; the
// certificate sources' secrets stay in its SignerOptions until the window goes.
class CMainWindow : public Vy::CWindow {
 public:
  CMainWindow();
  ~CMainWindow() override;

  // SetStartPath names the document to open at start (the program's first argument).
  void SetStartPath(const std::string& path) { startPath_ = path; }

  bool OnInit() override;
  void OnSize(Vy::Size size) override;
  void OnDestroy() override;
  void Paint(Vy::CCanvas& canvas) override;

  // Commands, as the toolbar runs them.
  bool OpenDocument(const std::string& path);
  void OpenCommand();
  void SignCommand();
  void SetStatus(const std::string& text, bool isError);

  const std::string& DocumentPath() const { return documentPath_; }
  const std::string& Status() const { return status_; }
  bool StatusIsError() const { return statusIsError_; }
  const SignerOptions& Options() const { return options_; }
  // Test access.
  Vy::CPdfView* View() const { return view_; }
  Vy::CEdit* PageField() const { return pageField_; }
  Vy::CLabel* PathLine() const { return pathLine_; }
  Vy::CButton* NavButton(int i) const { return nav_[i]; }  // <<, <, >, >>

 private:
  void Layout();
  void PageChanged(int current, int count);
  void RefreshCounter();
  void ShowStatusLine();
  void PageEntered(const std::string& text);
  void FirstPage();
  void PreviousPage();
  void NextPage();
  void LastPage();
  // AskPin asks for the secret the chosen key needs before it signs; false when the
  // signature must not go ahead (the status says why).
  bool AskPin(const CertificateEntry& entry);

  Palette palette_ = kSignerPalette;
  std::string documentPath_;
  std::string startPath_;
  std::string status_;
  bool statusIsError_ = false;
  bool busy_ = false;  // a command with dialogs is running
  int page_ = 0;
  int pageCount_ = 0;
  SignerOptions options_;
  Vy::CButton* nav_[4] = {};
  Vy::CEdit* pageField_ = nullptr;
  Vy::CPdfView* view_ = nullptr;
  Vy::CLabel* pathLine_ = nullptr;
  Vy::CLabel* credit_ = nullptr;
};

// SampleDocumentPath is the document shown when none is named: "Quillmark.pdf" beside the
// program, else in the current folder; empty when neither exists.
std::string SampleDocumentPath();

// StorePromptsForPin tells whether the system store's key provider asks for a PIN itself (the
// Windows key store does, a PKCS#11 token does not); defined per platform.
extern const bool kStorePromptsForPin;
