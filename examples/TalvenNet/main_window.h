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

// The voting service the signed challenge goes to when the URL names no host.
inline constexpr char kDefaultVoteHost[] = "votacion.talven.pe";
inline constexpr char kBaseTitle[] = "TalvenNet - 2026";

// CMainWindow is the authenticator's one window: it watches the readers every 1.5 s, lists
// the DNIe's certificates, lets the voter pick the signature (FIR) one, signs the challenge
// with the card and posts it to the voting service.
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
  const std::vector<CardCertificate>& Certificates() const { return certificates_; }
  int SelectedIndex() const { return selected_; }
  const Palette& Colors() const { return *palette_; }
  Vy::CListView* List() const;
  Vy::CComboBox* Readers() const { return combo_; }

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
  void Sign(const CardCertificate& chosen);
  void Submit(const std::string& dni, const CardCertificate& chosen, const Bytes& signature);
  void PaintRow(Vy::CCanvas& canvas, const Vy::Rect& row, int index, bool selected, bool hovered);

  InvocationParameters parameters_;
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
  Vy::CLabel* statusLabel_ = nullptr;
  Vy::CButton* cancel_ = nullptr;
  Vy::CButton* accept_ = nullptr;
};
