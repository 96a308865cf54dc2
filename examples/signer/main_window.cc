#include "examples/signer/main_window.h"

#include <cstdio>

#include "certs/certificate_list.h"
#include "core/bytes.h"
#include "core/paths.h"
#include "examples/signer/dlg_firmar.h"
#include "examples/signer/pin_dialog.h"
#include "examples/signer/signature_panel.h"
#include "pades/field.h"
#include "pades/output_name.h"
#include "toolkit/button.h"
#include "toolkit/combobox.h"
#include "toolkit/edit.h"
#include "toolkit/file_dialog.h"
#include "toolkit/label.h"
#include "toolkit/listview.h"
#include "toolkit/pdfview.h"

using namespace Vy;

namespace {

// The footer's success text stands out on its dark band.
constexpr Color kFooterSuccess{134, 226, 168, 255};
// With signatures shown: the summary band above the pages and the panel beside them.
constexpr int kBandTop = 96;
constexpr int kBandHeight = 26;
constexpr int kPanelWidth = 300;
constexpr int kPanelGap = 10;

// The zoom choices; the first two are the fit modes.
struct ZoomRow {
  const char* text;
  int percent;  // 0 for the fit modes
};
const ZoomRow kZoomRows[] = {
    {"Ajustar al ancho", 0}, {"Página entera", 0}, {"25 %", 25},   {"50 %", 50},   {"75 %", 75},
    {"100 %", 100},          {"125 %", 125},       {"150 %", 150}, {"200 %", 200}, {"300 %", 300},
    {"400 %", 400}};

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

void CMainWindow::StyleToolbarButton(CButton* button, bool bold) {
  StyleButton(button, palette_, kButton, bold);
}

void CMainWindow::AddToolbar() {
  CButton* open = AddButton("Abrir PDF", {14, 53, 104, 30});
  StyleToolbarButton(open, false);
  open->OnClick(this, &CMainWindow::OpenCommand);
  CButton* sign = AddButton("Firmar", {126, 53, 96, 30});
  StyleToolbarButton(sign, true);
  sign->OnClick(this, &CMainWindow::SignCommand);
  // The zoom group fits between "Firmar" and the navigation group at the least width.
  zoomOut_ = AddButton("\u2212", {226, 53, 26, 30});
  StyleToolbarButton(zoomOut_, true);
  zoomOut_->OnClick(this, &CMainWindow::ZoomOut);
  std::vector<std::string> zooms;
  for (const ZoomRow& row : kZoomRows) zooms.push_back(row.text);
  zoom_ = AddComboBox(zooms, {256, 54, 124, 28});
  zoom_->SetFontSize(11);
  zoom_->SetSelectedIndex(0);
  zoom_->OnSelectionChanged(this, &CMainWindow::ZoomChosen);
  zoomIn_ = AddButton("+", {384, 53, 26, 30});
  StyleToolbarButton(zoomIn_, true);
  zoomIn_->OnClick(this, &CMainWindow::ZoomIn);
  const char* navTexts[] = {"<<", "<", ">", ">>"};
  void (CMainWindow::*navCommands[])() = {&CMainWindow::FirstPage, &CMainWindow::PreviousPage,
                                          &CMainWindow::NextPage, &CMainWindow::LastPage};
  for (int i = 0; i < 4; ++i) {
    nav_[i] = AddButton(navTexts[i], {0, 53, 44, 30});
    StyleToolbarButton(nav_[i], false);
    nav_[i]->SetEnabled(false);
    nav_[i]->OnClick(this, navCommands[i]);
  }
  pageField_ = AddEdit("0 / 0", {0, 54, 90, 28});
  pageField_->SetFontSize(13);
  pageField_->SetSelectOnFocus(true);
  pageField_->OnEnter(this, &CMainWindow::PageEntered);
}

void CMainWindow::AddSignaturePanel() {
  banner_ = AddLabel("", {0, kBandTop, 100, kBandHeight});
  banner_->SetFontSize(12);
  banner_->SetBold(true);
  banner_->SetElided(true);
  panel_ = AddListView({0, 0, kPanelWidth, 100});
  panel_->SetMode(CListView::kList);
  panel_->SetRowHeight(kSignatureRowHeight);
  panel_->SetItemPainter([this](CCanvas& canvas, const CListView::Item& item, const Rect& area, int,
                                bool selected, bool hovered) {
    if (item.userData < rows_.size())
      PaintSignatureRow(canvas, rows_[item.userData], area, selected, hovered);
    else
      PaintVerifyingRow(canvas, area);
  });
  panel_->OnSelectionChanged(this, &CMainWindow::RowChosen);
}

bool CMainWindow::OnInit() {
  SetResizable(true);
  SetMinSize({720, 520});
  AddToolbar();
  view_ = AddPdfView({14, 100, 100, 100});
  view_->SetBackground({226, 230, 238, 255});
  view_->OnPageChanged(this, &CMainWindow::PageChanged);
  view_->OnZoomChanged(this, &CMainWindow::ZoomChanged);
  AddSignaturePanel();
  pathLine_ = AddLabel("", {14, 0, 100, 14});
  pathLine_->SetFontSize(11);
  pathLine_->SetElided(true);
  pathLine_->SetTextColor(palette_[kButtonText]);
  credit_ = AddLabel("Creado por KVTD2026  :", {0, 0, 206, 14});
  credit_->SetFontSize(11);
  credit_->SetBold(true);
  credit_->SetAlignment(2);
  credit_->SetTextColor(palette_[kFooterLabel]);
  ShowPanel(false);
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
  if (panelShown_) {
    int top = kBandTop + kBandHeight + 6, height = h - 36 - top;
    banner_->SetBounds({26, kBandTop, w - 52, kBandHeight});
    view_->SetBounds({14, top, w - 28 - kPanelWidth - kPanelGap, height});
    panel_->SetBounds({w - 14 - kPanelWidth, top, kPanelWidth, height});
  } else {
    view_->SetBounds({14, 100, w - 28, h - 136});
  }
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
  if (panelShown_) {
    VerdictColors colors = summaryNeutral_ ? kVerifyingColors : ColorsFor(summaryVerdict_);
    canvas.FillRoundRect({14, kBandTop, w - 28, kBandHeight}, 5.0f, colors.band);
  }
}

void CMainWindow::OnDestroy() {
  verifier_.Cancel();
  SecureClear(&options_.pin);
  SecureClear(&options_.pkcs12Password);
}

void CMainWindow::OnKeyDown(uint16_t key, uint32_t modifiers) {
  // The zoom keys work wherever the focus is, as in other readers.
  if (!(modifiers & kModControl) || (key != kKeyPlus && key != kKeyMinus && key != kKey0)) return;
  Event e;
  e.kind = kKeyPressed;
  e.key = key;
  e.modifiers = modifiers;
  view_->OnEvent(e);
}

bool CMainWindow::OpenDocument(const std::string& path) {
  bool opened = view_->Open(path);
  if (opened) {
    documentPath_ = path;
    statusKind_ = StatusKind::kNormal;
    ShowStatusLine();
    RefreshCounter();
    FocusControl(view_);
    Verify(path);
  } else {
    SetPathStatus("Error al abrir ", path, ": " + view_->LastError(), StatusKind::kError);
    // The verifier needs no page renderer: a file that does not show still tells its signatures.
    Verify(path);
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
  SetPathStatus(text, "", "", isError ? StatusKind::kError : StatusKind::kNormal);
}

void CMainWindow::SetPathStatus(const std::string& before, const std::string& path, const std::string& after,
                                StatusKind kind) {
  status_ = before + path + after;
  statusBefore_ = before, statusPath_ = path, statusAfter_ = after;
  statusKind_ = kind;
  ShowStatusLine();
  Invalidate();
}

void CMainWindow::ShowStatusLine() {
  bool document = !documentPath_.empty() && view_->HasDocument();
  switch (statusKind_) {
    case StatusKind::kError:
      pathLine_->SetTextWithPath(statusBefore_, statusPath_, statusAfter_);
      pathLine_->SetTextColor(palette_[kErrorText]);
      return;
    case StatusKind::kSuccess:
      pathLine_->SetTextWithPath(statusBefore_, statusPath_, statusAfter_);
      pathLine_->SetTextColor(kFooterSuccess);
      return;
    case StatusKind::kNormal:
      if (document)
        pathLine_->SetTextWithPath("", documentPath_, "");
      else
        pathLine_->SetTextWithPath(statusBefore_, statusPath_, statusAfter_);
      pathLine_->SetTextColor(palette_[kButtonText]);
      return;
  }
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
  // Reading goes on with the keys, in the pages.
  if (view_->HasDocument()) FocusControl(view_);
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

void CMainWindow::ZoomIn() {
  view_->ZoomIn();
}
void CMainWindow::ZoomOut() {
  view_->ZoomOut();
}

void CMainWindow::ZoomChosen(int index) {
  if (updatingZoom_ || index < 0 || index >= static_cast<int>(std::size(kZoomRows))) return;
  if (index == 0)
    view_->SetZoomMode(CPdfView::ZoomMode::kFitWidth);
  else if (index == 1)
    view_->SetZoomMode(CPdfView::ZoomMode::kFitPage);
  else
    view_->SetZoomPercent(kZoomRows[index].percent);
}

void CMainWindow::ZoomChanged() {
  // The choice shows the zoom however it changed; a percentage off the list shows as itself.
  int index = -1;
  if (view_->Zoom() == CPdfView::ZoomMode::kFitWidth) index = 0;
  if (view_->Zoom() == CPdfView::ZoomMode::kFitPage) index = 1;
  for (int i = 2; index < 0 && i < static_cast<int>(std::size(kZoomRows)); ++i) {
    if (kZoomRows[i].percent == view_->ZoomPercent()) index = i;
  }
  updatingZoom_ = true;
  zoom_->SetPlaceholder(std::to_string(view_->ZoomPercent()) + " %");
  zoom_->SetSelectedIndex(index);
  updatingZoom_ = false;
  zoomIn_->SetEnabled(view_->ZoomPercent() < CPdfView::kMaxZoom);
  zoomOut_->SetEnabled(view_->ZoomPercent() > CPdfView::kMinZoom);
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
    ask.TakePin(&options_.pin);
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
  StampOptions stamp;
  {
    CDlgFirmar dialog(this, palette_, FileNameOf(documentPath_), options_);
    dialog.SetPageCount(view_->PageCount());
    if (dialog.ShowModal() != 1 || !dialog.HasChoice()) return;
    dialog.TakeOptions(&options_);
    entry = dialog.Chosen();
    stamp = {static_cast<StampMode>(dialog.StampChoice()), dialog.PageList()};
  }
  if (!AskPin(entry)) return;

  // The name is taken at once, so a second signer of the same document picks the next one.
  OutputClaim claim;
  if (!ClaimSignedOutputPath(documentPath_, &claim)) {
    SecureClear(&options_.pin);
    SetPathStatus("No queda ningun nombre libre para la copia firmada de ", documentPath_, ".",
                  StatusKind::kError);
    return;
  }
  const std::string output = claim.path();
  SetStatus("Firmando con " + entry.subjectCommonName + " ...", false);
  // The signature holds the loop up (a card may take seconds): the window is painted whole
  // first, where the dialogs were too.
  Update();
  SigningCallback callback = [&entry, this](const Bytes& signedAttributes, std::string* note) {
    Bytes signature;
    SignWithCertificate(entry, options_, signedAttributes, &signature, note);
    return signature;
  };
  SignatureTexts texts{entry.subjectCommonName, "FirmaZEB", "Firma de documento"};
  SignResult result =
      SignPdf(documentPath_, output, entry, kDefaultContentsReservation, callback, texts, stamp);
  // A PIN serves one signature; the PKCS#12 password stays for the listing.
  SecureClear(&options_.pin);
  if (result.isSigned) claim.Keep();
  Signed(result, output, stamp);
}

void CMainWindow::Signed(const SignResult& result, const std::string& output, const StampOptions& stamp) {
  if (!result.isSigned) {
    SetStatus(result.error.empty() ? "No se pudo firmar." : result.error, true);
    return;
  }
  std::vector<SignatureRow> earlier = rows_;
  OpenDocument(output);
  // The rows known so far stay while the new report is made, with one more on its way.
  rows_ = earlier;
  FillPanel(true);
  // Stamps sit at the bottom of their page: the view shows that end of the first one at
  // once, and the stamp itself when the verifier has found it.
  std::vector<size_t> pages = ChooseStampPages(stamp, static_cast<size_t>(view_->PageCount()));
  if (!pages.empty()) {
    float height = view_->PagePoints(static_cast<int>(pages[0])).height;
    view_->ShowPageArea(static_cast<int>(pages[0]), height - 160, height);
  }
  showNewStamp_ = !pages.empty();
  std::string status = "Firmado: " + output + "  (" + std::to_string(result.size) + " bytes)";
  std::string warning = result.warning.empty() ? std::string() : "  [" + result.warning + "]";
  SetPathStatus("Firmado: ", FileNameOf(output), warning, StatusKind::kSuccess);
  // The status keeps the whole path and size; the footer shows the name.
  status_ = status + warning;
}

void CMainWindow::Verify(const std::string& path) {
  showNewStamp_ = false;
  signaturesLikely_ = false;
  rows_.clear();
  report_ = VerifyReport{};
  ShowPanel(false);
  CVerifier::Replies replies;
  replies.probed = [this](bool likely) { Probed(likely); };
  replies.verified = [this](const VerifyReport& report) { Verified(report); };
  verifier_.Start(path, std::move(replies));
}

void CMainWindow::Probed(bool signaturesLikely) {
  signaturesLikely_ = signaturesLikely;
  if (!signaturesLikely || panelShown_) return;
  FillPanel(true);
}

void CMainWindow::Verified(const VerifyReport& report) {
  report_ = report;
  rows_.clear();
  for (const SignatureReport& signature : report.signatures) rows_.push_back(RowFor(signature));
  // A file that cannot be read is the footer's news, unless it looked signed.
  if (report.signatures.empty() && (report.error.empty() || !signaturesLikely_)) {
    ShowPanel(false);
    return;
  }
  SignatureSummary summary = SummaryFor(report);
  summaryNeutral_ = false;
  summaryVerdict_ = summary.verdict;
  banner_->SetText(summary.text);
  banner_->SetTextColor(ColorsFor(summary.verdict).text);
  FillPanel(false);
  // The newest signature is the last: the one just made.
  if (showNewStamp_ && !rows_.empty()) ShowStamp(rows_.size() - 1);
  showNewStamp_ = false;
}

void CMainWindow::FillPanel(bool placeholder) {
  panel_->Clear();
  for (size_t i = 0; i < rows_.size(); ++i) panel_->AddItem({rows_[i].name, rows_[i].dni, {}, i});
  if (placeholder) {
    panel_->AddItem({"Verificando...", "", {}, rows_.size()});
    summaryNeutral_ = true;
    banner_->SetText("Verificando...");
    banner_->SetTextColor(kVerifyingColors.text);
  }
  ShowPanel(true);
}

void CMainWindow::ShowPanel(bool shown) {
  if (!shown) panel_->Clear();
  if (shown == panelShown_ && banner_->IsVisible() == shown) return;
  panelShown_ = shown;
  banner_->SetVisible(shown);
  panel_->SetVisible(shown);
  Layout();
  Invalidate();
}

void CMainWindow::RowChosen(int index) {
  if (index >= 0) ShowStamp(static_cast<size_t>(index));
}

bool CMainWindow::ShowStamp(size_t index) {
  if (index >= rows_.size() || rows_[index].stampPage >= view_->PageCount()) return false;
  double top = 0, bottom = 0;
  if (!StampBand(rows_[index], view_->PagePoints(rows_[index].stampPage).height, &top, &bottom)) return false;
  return view_->ShowPageArea(rows_[index].stampPage, static_cast<float>(top), static_cast<float>(bottom));
}
