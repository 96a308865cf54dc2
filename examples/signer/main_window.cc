#include "examples/signer/main_window.h"

#include <cstdio>

#include "certs/certificate_list.h"
#include "core/bytes.h"
#include "core/paths.h"
#include "examples/signer/dlg_firmar.h"
#include "examples/signer/pin_dialog.h"
#include "pades/output_name.h"
#include "pades/sign.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "toolkit/file_dialog.h"
#include "toolkit/label.h"
#include "toolkit/pdfview.h"

using namespace Vy;

namespace {

bool Readable(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return true;
}

// ParsePageNumber accepts only a whole decimal number (spaces around it allowed).
bool ParsePageNumber(const std::string& text, long* number) {
  size_t i = 0, end = text.size();
  while (i < end && text[i] == ' ') ++i;
  while (end > i && text[end - 1] == ' ') --end;
  if (i == end || end - i > 9) return false;
  long value = 0;
  for (; i < end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  *number = value;
  return true;
}

// CPageField selects its whole text when a click gives it the focus, so a typed page number
// replaces the counter instead of joining it.
class CPageField : public CEdit {
 public:
  void OnEvent(Event& e) override {
    CEdit::OnEvent(e);
    if (e.kind == kFocusGained || e.kind == kFocusLost) justFocused_ = e.kind == kFocusGained;
    if (e.kind == kMouseDown && justFocused_) {
      justFocused_ = false;
      SelectAll();
    }
  }

 private:
  bool justFocused_ = false;
};

// Busy marks a command as running for as long as it lives.
struct Busy {
  explicit Busy(bool* flag) : flag_(flag) { *flag_ = true; }
  ~Busy() { *flag_ = false; }
  bool* flag_;
};

}  // namespace

std::string SampleDocumentPath() {
  std::string folder = ExecutableDirectory();
  for (const std::string& candidate :
       {folder + "\\Quillmark.pdf", folder + "/Quillmark.pdf", std::string("Quillmark.pdf")}) {
    if (Readable(candidate)) return candidate;
  }
  return {};
}

CMainWindow::CMainWindow() {
  SetTitle("Quillmark 2026");
  SetClientSize({900, 680});
  background_ = palette_[kBackground];
}

CMainWindow::~CMainWindow() {
  SecureClear(&options_.pin);
  SecureClear(&options_.pkcs12Password);
}

bool CMainWindow::OnInit() {
  SetResizable(true);
  SetMinSize({720, 520});
  CButton* open = AddButton("Abrir PDF", {14, 53, 104, 30});
  StyleButton(open, palette_, kButton, false);
  open->OnClick(this, &CMainWindow::OpenCommand);
  CButton* sign = AddButton("Firmar", {126, 53, 96, 30});
  StyleButton(sign, palette_, kButton, true);
  sign->OnClick(this, &CMainWindow::SignCommand);
  const char* navTexts[] = {"<<", "<", ">", ">>"};
  void (CMainWindow::*navCommands[])() = {&CMainWindow::FirstPage, &CMainWindow::PreviousPage,
                                          &CMainWindow::NextPage, &CMainWindow::LastPage};
  for (int i = 0; i < 4; ++i) {
    nav_[i] = AddButton(navTexts[i], {0, 53, 44, 30});
    StyleButton(nav_[i], palette_, kButton, false);
    nav_[i]->SetEnabled(false);
    nav_[i]->OnClick(this, navCommands[i]);
  }
  pageField_ = new CPageField;
  pageField_->SetText("0 / 0");
  AddChild(pageField_);
  pageField_->SetFontSize(13);
  pageField_->OnEnter(this, &CMainWindow::PageEntered);
  view_ = AddPdfView({14, 100, 100, 100});
  view_->SetBackground({226, 230, 238, 255});
  view_->OnPageChanged(this, &CMainWindow::PageChanged);
  pathLine_ = AddLabel("", {14, 0, 100, 14});
  pathLine_->SetFontSize(11);
  pathLine_->SetTextColor(palette_[kButtonText]);
  credit_ = AddLabel("Creado por KVTD2026  :", {0, 0, 206, 14});
  credit_->SetFontSize(11);
  credit_->SetBold(true);
  credit_->SetAlignment(2);
  credit_->SetTextColor(palette_[kFooterLabel]);
  Layout();
  FocusControl(view_);

  std::string start = !startPath_.empty() ? startPath_ : SampleDocumentPath();
  if (start.empty())
    SetStatus("Pulsa 'Abrir PDF' para cargar un documento.", false);
  else if (OpenDocument(start))
    view_->GoToFirstPage();
  return true;
}

void CMainWindow::OnSize(Size) {
  Layout();
}

void CMainWindow::Layout() {
  if (!view_) return;
  int w = rect_.width, h = rect_.height;
  nav_[0]->SetBounds({w - 308, 53, 44, 30});
  nav_[1]->SetBounds({w - 260, 53, 44, 30});
  pageField_->SetBounds({w - 206, 54, 90, 28});
  nav_[2]->SetBounds({w - 106, 53, 44, 30});
  nav_[3]->SetBounds({w - 58, 53, 44, 30});
  view_->SetBounds({14, 100, w - 28, h - 136});
  pathLine_->SetBounds({14, h - 22, w - 230, 14});
  credit_->SetBounds({w - 220, h - 22, 206, 14});
}

void CMainWindow::Paint(CCanvas& canvas) {
  int w = rect_.width, h = rect_.height;
  canvas.FillRect({0, 0, w, 46}, palette_[kHeaderBand]);
  canvas.DrawText("Quillmark", {18, 2}, palette_[kTitle], "system", 24, true, false);
  canvas.DrawText("Software de firma digital (PAdES / CMS)", {19, 30}, palette_[kSubtitle], "system", 11,
                  false, false);
  canvas.DrawLine({0, 45}, {w, 45}, palette_[kHeaderLine], 1.0f);
  canvas.FillRect({0, 46, w, 44}, palette_[kToolbarBand]);
  canvas.FillRect({0, h - 28, w, 28}, palette_[kFooterBand]);
}

void CMainWindow::OnDestroy() {
  SecureClear(&options_.pin);
  SecureClear(&options_.pkcs12Password);
}

bool CMainWindow::OpenDocument(const std::string& path) {
  bool opened = view_->Open(path);
  if (opened) {
    documentPath_ = path;
    ShowStatusLine();
    RefreshCounter();
    FocusControl(view_);
  } else {
    SetStatus("Error al abrir " + path + ": " + view_->LastError(), true);
  }
  Invalidate();
  return opened;
}

void CMainWindow::OpenCommand() {
  // The desktop keeps delivering this window's clicks while a dialog of a command is open.
  if (busy_) return;
  Busy busy(&busy_);
  OpenFileResult file = ShowOpenFileDialog({"Abrir documento PDF", documentPath_, "*.pdf"});
  if (!file.chosen) {
    if (!file.error.empty()) SetStatus(file.error, true);
    return;
  }
  if (OpenDocument(file.path)) view_->GoToFirstPage();
}

void CMainWindow::SetStatus(const std::string& text, bool isError) {
  status_ = text;
  statusIsError_ = isError;
  ShowStatusLine();
  Invalidate();
}

void CMainWindow::ShowStatusLine() {
  if (statusIsError_) {
    pathLine_->SetText(status_);
    pathLine_->SetTextColor(palette_[kErrorText]);
    return;
  }
  pathLine_->SetText(!documentPath_.empty() && view_->HasDocument() ? documentPath_ : status_);
  pathLine_->SetTextColor(palette_[kButtonText]);
}

void CMainWindow::PageChanged(int current, int count) {
  page_ = current;
  pageCount_ = count;
  RefreshCounter();
  Invalidate();
}

void CMainWindow::RefreshCounter() {
  pageField_->SetText(pageCount_ < 1 ? "0 / 0"
                                     : std::to_string(page_ + 1) + " / " + std::to_string(pageCount_));
  nav_[0]->SetEnabled(page_ > 0);
  nav_[1]->SetEnabled(page_ > 0);
  nav_[2]->SetEnabled(pageCount_ > 0 && page_ < pageCount_ - 1);
  nav_[3]->SetEnabled(pageCount_ > 0 && page_ < pageCount_ - 1);
}

void CMainWindow::PageEntered(const std::string& text) {
  long number = 0;
  if (ParsePageNumber(text, &number) && number >= 1 && view_->HasDocument() && view_->PageCount() >= 1)
    view_->GoToPage(static_cast<int>(std::min<long>(number, view_->PageCount())) - 1);
  // Also after a move: going to the page already shown reports no change.
  RefreshCounter();
}

void CMainWindow::FirstPage() {
  view_->GoToPage(0);
}
void CMainWindow::PreviousPage() {
  view_->GoToPage(page_ - 1);
}
void CMainWindow::NextPage() {
  view_->GoToPage(page_ + 1);
}
void CMainWindow::LastPage() {
  view_->GoToPage(pageCount_ - 1);
}

bool CMainWindow::AskPin(const CertificateEntry& entry) {
  bool card = entry.source == CertificateSource::DNIe;
  bool token =
      entry.source == CertificateSource::WindowsStore && entry.keyNeedsInteraction && !kStorePromptsForPin;
  if (!card && !token) return true;
  std::string holder = !entry.subjectCommonName.empty() ? entry.subjectCommonName : entry.subjectName;
  CPinDialog ask(this, palette_, card ? DniePinPrompt(holder) : TokenPinPrompt(holder));
  int answer = ask.ShowModal();
  if (answer == 1 && !ask.Pin().empty()) {
    SecureClear(&options_.pin);
    options_.pin = ask.TakePin();
    return true;
  }
  if (answer == 1)
    SetStatus(card ? "Firma cancelada: se requiere el PIN del DNIe."
                   : "Firma cancelada: se requiere el PIN del token.",
              true);
  else
    SetStatus("Firma cancelada por el usuario.", false);
  return false;
}

void CMainWindow::SignCommand() {
  if (busy_) return;
  Busy busy(&busy_);
  if (documentPath_.empty() || !view_->HasDocument()) {
    SetStatus("No hay ningun documento abierto.", true);
    return;
  }
  CertificateEntry entry;
  int stampChoice = 1;
  std::string pageList;
  {
    CDlgFirmar dialog(this, palette_, FileNameOf(documentPath_), options_);
    if (dialog.ShowModal() != 1 || !dialog.HasChoice()) return;
    SecureClear(&options_.pin);
    SecureClear(&options_.pkcs12Password);
    options_ = dialog.TakeOptions();
    entry = dialog.Chosen();
    stampChoice = dialog.StampChoice();
    pageList = dialog.PageList();
  }
  if (!AskPin(entry)) return;

  std::string output;
  if (!SignedOutputPath(documentPath_, &output)) {
    SecureClear(&options_.pin);
    SetStatus("No queda ningun nombre libre para la copia firmada de " + documentPath_ + ".", true);
    return;
  }
  SetStatus("Firmando con " + entry.subjectCommonName + " ...", false);
  SigningCallback callback = [&entry, this](const Bytes& signedAttributes, std::string* note) {
    Bytes signature;
    SignWithCertificate(entry, options_, signedAttributes, &signature, note);
    return signature;
  };
  SignatureTexts texts{entry.subjectCommonName, "FirmaZEB", "Firma de documento"};
  StampOptions stamp{static_cast<StampMode>(stampChoice), pageList};
  SignResult result =
      SignPdf(documentPath_, output, entry, kDefaultContentsReservation, callback, texts, stamp);
  // A PIN serves one signature; the PKCS#12 password stays for the listing.
  SecureClear(&options_.pin);
  if (result.isSigned) {
    OpenDocument(output);
    std::string status = "Firmado: " + output + "  (" + std::to_string(result.size) + " bytes)";
    if (!result.warning.empty()) status += "  [" + result.warning + "]";
    SetStatus(status, false);
  } else {
    SetStatus(result.error.empty() ? "No se pudo firmar." : result.error, true);
  }
}
