#include "examples/signer/dlg_firmar.h"

#include "certs/certificate_list.h"
#include "certs/pkcs12.h"
#include "core/bytes.h"
#include "examples/signer/pin_dialog.h"
#include "pades/field.h"
#include "toolkit/button.h"
#include "toolkit/combobox.h"
#include "toolkit/edit.h"
#include "toolkit/file_dialog.h"
#include "toolkit/label.h"

using namespace Vy;

namespace {

struct StampRow {
  const char* text;
  int value;
};
const StampRow kStampRows[] = {
    {"Primera pagina (defecto)", 1}, {"Todas las paginas", 3},     {"Ultima pagina", 2},
    {"Paginas especificas...", 4},   {"Invisible (sin sello)", 0},
};
constexpr int kPageListChoice = 4;

// Cut keeps the first `bytes` bytes of a text, stepping back to a character boundary so a
// cut never leaves half a UTF-8 sequence.
std::string Cut(const std::string& text, size_t bytes) {
  if (text.size() <= bytes) return text;
  while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80) --bytes;
  return text.substr(0, bytes);
}

std::string KeyPlace(const CertificateEntry& entry) {
  switch (entry.source) {
    case CertificateSource::DNIe: return "en la tarjeta (DNIe)";
    case CertificateSource::Pkcs12: return entry.hasPrivateKey ? "del fichero" : "sin clave";
    default: return "lista";
  }
}

// TwoLines breaks a long summary at a source separator, so that the last source's message (a
// wrong PKCS#12 password, say) is not cut off at the line's end.
std::string TwoLines(const std::string& text) {
  constexpr size_t kLineBytes = 84;
  if (text.size() <= kLineBytes) return text;
  size_t at = text.rfind(" | ", kLineBytes);
  if (at == std::string::npos || at == 0) return text;
  size_t end = at, start = at + 3;
  while (end > 0 && text[end - 1] == ' ') --end;
  while (start < text.size() && text[start] == ' ') ++start;
  return text.substr(0, end) + "\n" + text.substr(start);
}

void FreeSecrets(SignerOptions* options) {
  SecureClear(&options->pin);
  SecureClear(&options->pkcs12Password);
}

}  // namespace

CDlgFirmar::CDlgFirmar(CWindow* parent, const Palette& palette, const std::string& documentName,
                       const SignerOptions& options)
    : CDialog(parent), palette_(palette), documentName_(documentName), options_(options) {
  SetTitle("Selecciona el certificado digital");
  SetClientSize({660, 520});
  background_ = palette_[kBackground];
}

CDlgFirmar::~CDlgFirmar() {
  FreeSecrets(&options_);
}

void CDlgFirmar::TakeOptions(SignerOptions* to) {
  FreeSecrets(to);
  *to = options_;
  FreeSecrets(&options_);
}

int CDlgFirmar::StampValueFor(int index) {
  return index >= 0 && index < static_cast<int>(std::size(kStampRows)) ? kStampRows[index].value : 1;
}

CListView::Item CDlgFirmar::ItemFor(const CertificateEntry& entry) {
  CListView::Item item;
  item.text = !entry.subjectCommonName.empty() ? entry.subjectCommonName
              : !entry.subjectName.empty()     ? entry.subjectName
                                               : "Certificado";
  std::string issuer = entry.issuerCommonName.empty() ? entry.subjectCommonName : entry.issuerCommonName;
  if (issuer.size() > 44) issuer = Cut(issuer, 43) + ".";
  std::string expiry = FormatExpiry(entry);
  item.cells = {SourceText(entry.source), issuer, expiry.empty() ? "-" : expiry, KeyPlace(entry)};
  return item;
}

bool CDlgFirmar::OnInit() {
  SetResizable(false);
  CLabel* intro =
      AddLabel("Elige el certificado digital con el que deseas firmar el PDF:", {16, 16, 628, 16});
  intro->SetTextColor(palette_[kDialogMuted]);
  intro->SetFontSize(12);
  list_ = AddListView({16, 40, 628, 255});
  list_->SetColumns({"Certificado", "Origen", "Emisor", "Vencimiento"});
  list_->SetMode(CListView::kCards);
  list_->OnSelectionChanged(this, &CDlgFirmar::SelectionChanged);

  CButton* refresh = AddButton("Actualizar lista", {16, 306, 120, 26});
  StyleButton(refresh, palette_, kButton, false);
  refresh->OnClick(this, &CDlgFirmar::Refresh);
  summary_ = AddLabel("", {144, 304, 500, 32});
  summary_->SetTextColor(palette_[kDialogMuted]);
  summary_->SetFontSize(11);

  CLabel* stampLabel = AddLabel("Sello visual", {16, 348, 85, 24});
  stampLabel->SetTextColor(palette_[kDialogText]);
  stampLabel->SetFontSize(12);
  std::vector<std::string> choices;
  for (const StampRow& row : kStampRows) choices.push_back(row.text);
  stamp_ = AddComboBox(choices, {105, 346, 230, 28});
  stamp_->SetFontSize(12);
  stamp_->SetSelectedIndex(0);
  stamp_->OnSelectionChanged(this, &CDlgFirmar::StampChanged);
  pagesLabel_ = AddLabel("Paginas:", {350, 350, 55, 20});
  pagesLabel_->SetTextColor(palette_[kDialogMuted]);
  pagesLabel_->SetFontSize(12);
  pages_ = AddEdit("", {410, 346, 234, 28});
  pages_->SetPlaceholder("ej. 1, 3, 5-8");
  pages_->SetEnabled(false);
  pages_->OnEnter(this, &CDlgFirmar::PagesEntered);
  pages_->OnChange(this, &CDlgFirmar::PagesEdited);
  pageError_ = AddLabel("", {16, 380, 628, 16});
  pageError_->SetTextColor(palette_[kErrorText]);
  pageError_->SetFontSize(11);
  pageError_->SetElided(true);

  // Not a written control of this dialog: without it PKCS#12 certificates could not be listed.
  CButton* pkcs12 = AddButton("Elegir PKCS#12...", {16, 405, 140, 34});
  StyleButton(pkcs12, palette_, kButton, false);
  pkcs12->OnClick(this, &CDlgFirmar::ChoosePkcs12);
  sign_ = AddButton("Firmar", {440, 405, 102, 34});
  StyleButton(sign_, palette_, kButton, true);
  sign_->OnClick(this, &CDlgFirmar::Accept);
  CButton* cancel = AddButton("Cancelar", {550, 405, 94, 34});
  StyleButton(cancel, palette_, kCancelButton, false);
  cancel->OnClick(this, &CDlgFirmar::Cancel);

  Fill();
  if (list_->Count() > 0) {
    list_->SetSelectedIndex(0);
    FocusControl(list_);
  }
  return true;
}

void CDlgFirmar::Fill() {
  std::string status;
  entries_ = ListCertificates(options_, &status);
  list_->Clear();
  for (const CertificateEntry& entry : entries_) list_->AddItem(ItemFor(entry));
  summary_->SetText(TwoLines(entries_.empty()
                                 ? status + "  |  No hay ningun certificado disponible."
                                 : status + "  |  " + std::to_string(entries_.size()) + " certificado(s)."));
  chosen_ = false;
  sign_->SetEnabled(false);
}

void CDlgFirmar::Refresh() {
  Fill();
  if (list_->Count() > 0) list_->SetSelectedIndex(0);
}

void CDlgFirmar::ChoosePkcs12() {
  OpenFileResult file =
      ShowOpenFileDialog({"Elegir certificado PKCS#12", options_.pkcs12Path, "*.pfx;*.p12"});
  if (!file.chosen) {
    if (!file.error.empty()) summary_->SetText(file.error);
    return;
  }
  CPinDialog ask(this, palette_, Pkcs12PasswordPrompt(FileNameOf(file.path)));
  ask.SetCheck([&file](const std::string& password, std::string* reason) {
    return CheckPkcs12Password(file.path, password, reason);
  });
  if (ask.ShowModal() != 1) return;
  ask.TakePin(&options_.pkcs12Password);
  options_.pkcs12Path = file.path;
  Fill();
  // The file was chosen to sign with it: its first certificate is the one offered.
  int select = list_->Count() > 0 ? 0 : -1;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (entries_[i].source == CertificateSource::Pkcs12) {
      select = static_cast<int>(i);
      break;
    }
  }
  if (select >= 0) {
    list_->SetSelectedIndex(select);
    FocusControl(list_);
  }
}

void CDlgFirmar::SelectionChanged(int index) {
  if (index < 0 || index >= static_cast<int>(entries_.size())) {
    chosen_ = false;
    sign_->SetEnabled(false);
    return;
  }
  entry_ = entries_[index];
  chosen_ = true;
  sign_->SetEnabled(true);
  options_.readerName = entry_.source == CertificateSource::DNIe ? entry_.readerName : std::string();
}

void CDlgFirmar::StampChanged(int index) {
  stampChoice_ = StampValueFor(index);
  bool pages = stampChoice_ == kPageListChoice;
  pages_->SetEnabled(pages);
  pagesLabel_->SetTextColor(palette_[pages ? kDialogText : kDialogMuted]);
  if (pages) FocusControl(pages_);
  pageError_->SetText("");
  RefreshPageList();
  Invalidate();
}

void CDlgFirmar::RefreshPageList() {
  pageList_ = stampChoice_ == kPageListChoice ? pages_->Text() : std::string();
}

void CDlgFirmar::PagesEntered(const std::string&) {
  RefreshPageList();
  PageListOk();
}

void CDlgFirmar::PagesEdited(const std::string&) {
  pageError_->SetText("");
}

bool CDlgFirmar::PageListOk() {
  std::string error;
  if (stampChoice_ != kPageListChoice || pageCount_ < 1 || CheckPageList(pages_->Text(), pageCount_, &error))
    return true;
  pageError_->SetText(error);
  FocusControl(pages_);
  Invalidate();
  return false;
}

void CDlgFirmar::Accept() {
  if (!chosen_) {
    summary_->SetText("Elige un certificado de la lista.");
    return;
  }
  if (!PageListOk()) return;
  RefreshPageList();
  EndDialog(1);
}

void CDlgFirmar::OnKeyDown(uint16_t key, uint32_t) {
  if (key == kKeyEnter) Accept();
  if (key == kKeyEscape) Cancel();
}
