#pragma once

#include <string>
#include <vector>

#include "certs/certificate_entry.h"
#include "examples/signer/palette.h"
#include "examples/signer/signature_rows.h"
#include "examples/signer/verifier.h"
#include "pades/sign.h"
#include "toolkit/window.h"

namespace Vy {
class CButton;
class CComboBox;
class CEdit;
class CLabel;
class CListView;
class CPdfView;
}  // namespace Vy

// CMainWindow is the signer's window: it shows a PDF's pages with page navigation and zoom,
// runs the sign command (certificate dialog, PIN when the key needs one, signed copy beside
// the input, which it then shows at its stamp), and, for a document that carries signatures,
// a panel with what the verifier found and a one-line summary above the pages. Every outcome
// ends on the footer's path/status line; the certificate sources' secrets stay in its
// SignerOptions until the window goes.
class CMainWindow : public Vy::CWindow {
 public:
  CMainWindow();
  ~CMainWindow() override;

  // SetStartPath names the document to open at start (the program's first argument).
  void SetStartPath(const std::string& path) { startPath_ = path; }

  bool OnInit() override;
  void OnSize(Vy::Size size) override;
  void OnDestroy() override;
  void OnKeyDown(uint16_t key, uint32_t modifiers) override;
  void Paint(Vy::CCanvas& canvas) override;

  // Commands, as the toolbar runs them.
  bool OpenDocument(const std::string& path);
  void OpenCommand();
  void SignCommand();
  void SetStatus(const std::string& text, bool isError);

  const std::string& DocumentPath() const { return documentPath_; }
  const std::string& Status() const { return status_; }
  bool StatusIsError() const { return statusKind_ == StatusKind::kError; }
  bool StatusIsSuccess() const { return statusKind_ == StatusKind::kSuccess; }
  const SignerOptions& Options() const { return options_; }
  // The verifier's last report on the shown document, and whether one is on its way.
  const VerifyReport& Report() const { return report_; }
  bool Verifying() const { return verifier_.Busy(); }
  // Test access.
  Vy::CPdfView* View() const { return view_; }
  Vy::CEdit* PageField() const { return pageField_; }
  Vy::CLabel* PathLine() const { return pathLine_; }
  Vy::CLabel* Summary() const { return banner_; }
  Vy::CListView* Panel() const { return panel_; }
  Vy::CComboBox* ZoomChoice() const { return zoom_; }
  Vy::CButton* NavButton(int i) const { return nav_[i]; }  // <<, <, >, >>
  CVerifier& Verifier() { return verifier_; }

 private:
  enum class StatusKind { kNormal, kError, kSuccess };

  void AddToolbar();
  void AddSignaturePanel();
  void Layout();
  void StyleToolbarButton(Vy::CButton* button, bool bold);
  void PageChanged(int current, int count);
  void RefreshCounter();
  void ShowStatusLine();
  void SetPathStatus(const std::string& before, const std::string& path, const std::string& after,
                     StatusKind kind);
  void PageEntered(const std::string& text);
  void FirstPage();
  void PreviousPage();
  void NextPage();
  void LastPage();
  void ZoomIn();
  void ZoomOut();
  void ZoomChosen(int index);
  void ZoomChanged();
  // AskPin asks for the secret the chosen key needs before it signs; false when the
  // signature must not go ahead (the status says why).
  bool AskPin(const CertificateEntry& entry);
  void Signed(const SignResult& result, const std::string& output, const StampOptions& stamp);
  // The signature panel: verification starts with every document shown.
  void Verify(const std::string& path);
  void Probed(bool signaturesLikely);
  void Verified(const VerifyReport& report);
  void ShowPanel(bool shown);
  void FillPanel(bool placeholder);
  void RowChosen(int index);
  // ShowStamp shows the stamp of rows_[index]; false when it has none.
  bool ShowStamp(size_t index);

  Palette palette_ = kSignerPalette;
  std::string documentPath_;
  std::string startPath_;
  std::string status_;
  StatusKind statusKind_ = StatusKind::kNormal;
  // The status's path, kept apart so the footer can shorten it and nothing else.
  std::string statusBefore_, statusPath_, statusAfter_;
  bool busy_ = false;  // a command with dialogs is running
  bool updatingZoom_ = false;
  int page_ = 0;
  int pageCount_ = 0;
  SignerOptions options_;
  CVerifier verifier_;
  VerifyReport report_;
  std::vector<SignatureRow> rows_;
  Verdict summaryVerdict_ = Verdict::kGood;
  bool summaryNeutral_ = true;  // "Verificando...": no verdict yet
  bool panelShown_ = false;
  bool showNewStamp_ = false;
  bool signaturesLikely_ = false;  // the file names /ByteRange: a panel is worth showing  // the report after
                                   // a signature shows that signature's stamp
  Vy::CButton* nav_[4] = {};
  Vy::CButton* zoomOut_ = nullptr;
  Vy::CButton* zoomIn_ = nullptr;
  Vy::CComboBox* zoom_ = nullptr;
  Vy::CEdit* pageField_ = nullptr;
  Vy::CPdfView* view_ = nullptr;
  Vy::CLabel* banner_ = nullptr;
  Vy::CListView* panel_ = nullptr;
  Vy::CLabel* pathLine_ = nullptr;
  Vy::CLabel* credit_ = nullptr;
};

// SampleDocumentPath is the document shown when none is named: "Quillmark.pdf" beside the
// program, else in the current folder; empty when neither exists.
std::string SampleDocumentPath();

// StorePromptsForPin tells whether the system store's key provider asks for a PIN itself (the
// Windows key store does, a PKCS#11 token does not); defined per platform.
extern const bool kStorePromptsForPin;
