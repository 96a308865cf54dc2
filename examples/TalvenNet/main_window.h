#pragma once

#include <string>
#include <vector>

#include "card/dnie_certificates.h"
#include "examples/TalvenNet/invocation.h"
#include "examples/TalvenNet/palette.h"
#include "toolkit/window.h"

namespace Vy {
class CButton;
class CComboBox;
class CLabel;
class CListView;
}  // namespace Vy
class CCertificateList;
class CWrapLabel;

inline constexpr char kBaseTitle[] = "TalvenNet - 2026";

// CMainWindow is the authenticator's one window: it watches the readers every 1.5 s, lists
// the DNIe's certificates, lets the voter pick the signature (FIR) one, signs the challenge
// with the card and posts it to the voting service, whose host it shows from the start. A
// refused link leaves it showing why, with Accept disabled and the readers left alone.
class CMainWindow : public Vy::CWindow {
 public:
  explicit CMainWindow(std::vector<std::string> arguments);
  ~CMainWindow() override;

  bool OnInit() override;
  void OnTimer(unsigned id) override;
  void OnSize(Vy::Size size) override;
  void Paint(Vy::CCanvas& canvas) override;

  // What reaches the voter, overridable so a test can stand in for the person.
  virtual int Message(const std::string& title, const std::string& text, int kind);
  virtual std::string AskForPin(const std::string& prompt);
  virtual void ShowHelp();

  // Commands.
  void Poll();
  void Accept();
  void CancelSelection();
  void ToggleTheme();

  const InvocationParameters& Parameters() const { return parameters_; }
  // StatusLine is the status label's text.
  const std::string& StatusLine() const;
  // DestinationText is the line that names where the signature goes (empty for a refused link).
  const std::string& DestinationText() const;
  const std::string& Refusal() const { return refusal_; }
  const std::vector<CardCertificate>& Certificates() const { return certificates_; }
  int SelectedIndex() const { return selected_; }
  const Palette& Colors() const { return *palette_; }
  Vy::CListView* List() const;
  Vy::CComboBox* Readers() const { return combo_; }
  Vy::CButton* AcceptButton() const { return accept_; }

 private:
  void ParseInvocation(const std::vector<std::string>& arguments);
  void RefreshReaders();
  void FillCombo(const std::vector<std::string>& names, const std::string& keep);
  void ReaderChanged(int index);
  void ListCertificates();
  void ClearCertificates();
  void SelectionChanged(int index);
  void RefreshStatus();
  void ApplyColors();
  int DestinationHeight() const;
  void Sign(const CardCertificate& chosen);
  void Submit(const std::string& dni, const CardCertificate& chosen, const Bytes& signature);
  void PaintRow(Vy::CCanvas& canvas, const Vy::Rect& row, int index, bool selected, bool hovered);

  InvocationParameters parameters_;
  std::string refusal_;
  std::string refusalEvidence_;
  std::string status_ = "Listo.";
  std::string detail_;
  std::string readerSignature_ = "\x01";
  std::string cardSignature_ = "\x01";
  std::string currentReader_;
  std::vector<CardCertificate> certificates_;
  int selected_ = -1;
  int lastAccepted_ = -1;
  bool refilling_ = false;
  bool signing_ = false;
  bool restoring_ = false;
  const Palette* palette_ = &LightPalette();
  std::string logoPath_;

  Vy::CLabel* titleLabel_ = nullptr;
  Vy::CLabel* subtitle_ = nullptr;
  Vy::CButton* help_ = nullptr;
  Vy::CButton* theme_ = nullptr;
  Vy::CLabel* pick_ = nullptr;
  Vy::CComboBox* combo_ = nullptr;
  CCertificateList* list_ = nullptr;
  CWrapLabel* statusLabel_ = nullptr;
  CWrapLabel* destination_ = nullptr;
  Vy::CButton* cancel_ = nullptr;
  Vy::CButton* accept_ = nullptr;
};
