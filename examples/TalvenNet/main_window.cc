#include "examples/TalvenNet/main_window.h"

#include <algorithm>

#include "card/pcsc.h"
#include "certs/dnie_source.h"
#include "core/text.h"
#include "examples/TalvenNet/assets.h"
#include "examples/TalvenNet/dialogs.h"
#include "examples/TalvenNet/text_fit.h"
#include "examples/TalvenNet/vote_log.h"
#include "examples/TalvenNet/vote_rules.h"
#include "net/http.h"
#include "toolkit/button.h"
#include "toolkit/combobox.h"
#include "toolkit/label.h"
#include "toolkit/listview.h"

using namespace Vy;

namespace {

constexpr unsigned kPollTimer = 1;
constexpr unsigned kPollMs = 1500;
constexpr char kNoReaders[] = "No hay lectores de tarjetas conectados.";
constexpr char kNoCard[] = "Sin tarjeta en el lector. Acerque el DNIe y se listara solo.";
// The text signed when the page gave no challenge, so the card and PIN can be tried out.
constexpr char kTestText[] = "hola";

std::string Joined(const std::vector<std::string>& names) {
  std::string joined;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) joined += '\x01';
    joined += names[i];
  }
  return joined;
}

// ThemeButton shows a moon in the light set and a sun in the dark one.
class CThemeButton : public CButton {
 public:
  void Paint(CCanvas& canvas) override {
    CButton::Paint(canvas);
    const Rect r = Bounds();
    const Rect disc{r.x + r.width / 2 - 8, r.y + r.height / 2 - 8, 16, 16};
    if (!dark) {
      canvas.FillEllipse(disc, ink);
      canvas.FillEllipse({disc.x + 6, disc.y - 3, 16, 16}, face);
    } else {
      canvas.FillEllipse({disc.x + 3, disc.y + 3, 10, 10}, ink);
      const int cx = disc.x + 8, cy = disc.y + 8;
      for (auto [dx, dy] : {std::pair{0, -1}, {0, 1}, {-1, 0}, {1, 0}})
        canvas.DrawLine({cx + dx * 7, cy + dy * 7}, {cx + dx * 10, cy + dy * 10}, ink, 2.0f);
    }
  }
  bool dark = false;
  Color ink{255, 255, 255, 255};
  Color face{12, 59, 116, 255};
};

}  // namespace

// CCertificateList is the list of the card's certificates: rows drawn by the window, a
// double click that accepts, and the empty part in the colour set's background.
class CCertificateList : public CListView {
 public:
  void OnEvent(Event& event) override {
    CListView::OnEvent(event);
    if (event.kind == kDoubleClick && RowAt(event.x, event.y) >= 0 && onDoubleClick) onDoubleClick();
  }
  void Paint(CCanvas& canvas) override {
    CListView::Paint(canvas);
    const int used = (Count() - FirstRow()) * RowHeight();
    const Rect body = BodyRect();
    if (used < body.height)
      canvas.FillRect({body.x + 1, body.y + used, body.width - 2, body.height - used - 1}, fill);
  }
  std::function<void()> onDoubleClick;
  Color fill{255, 255, 255, 255};
  Color edge{196, 204, 216, 255};
};

CMainWindow::CMainWindow(std::vector<std::string> arguments) {
  SetTitle(kBaseTitle);
  SetClientSize({504, 346});
  logoPath_ = AssetPath("logo.png");
  ParseInvocation(arguments);
  // The destination line takes its room below the list, not from it.
  SetClientSize({504, 346 + DestinationHeight()});
}

CMainWindow::~CMainWindow() = default;

void CMainWindow::ParseInvocation(const std::vector<std::string>& arguments) {
  Invocation invocation = ReadInvocation(arguments);
  parameters_ = invocation.parameters;
  refusal_ = invocation.refusal;
  refusalEvidence_ = invocation.evidence;
  if (!invocation.message.empty()) {
    Message(std::string(kSchemePrefix), invocation.message, kMessageNotice);
    return;
  }
  SetTitle(TitleWithCode(Title(), parameters_.code));
}

bool CMainWindow::OnInit() {
  SetResizable(true);
  SetMinSize({500, 300});
  titleLabel_ = AddLabel("Urnavia TalvenNet", {60, 4, 354, 26});
  titleLabel_->SetFontSize(16);
  titleLabel_->SetBold(true);
  subtitle_ = AddLabel("Plataforma de Autenticación Digital con DNIe", {62, 30, 334, 18});
  subtitle_->SetFontSize(11);
  help_ = AddButton("?", {418, 9, 36, 36});
  help_->OnClick(this, &CMainWindow::ShowHelp);
  theme_ = new CThemeButton;
  theme_->SetBounds({458, 9, 36, 36});
  AddChild(theme_);
  theme_->OnClick(this, &CMainWindow::ToggleTheme);
  pick_ = AddLabel("Seleccione:", {12, 68, 70, 22});
  pick_->SetFontSize(12);
  combo_ = AddComboBox({}, {84, 67, 396, 26});
  combo_->SetPlaceholder("Seleccione el lector de tarjetas");
  combo_->SetRowHeight(26);
  combo_->OnSelectionChanged(this, &CMainWindow::ReaderChanged);
  list_ = new CCertificateList;
  list_->SetBounds({0, 100, 504, 206});
  list_->SetMode(CListView::kList);
  list_->SetShowHeader(false);
  list_->SetRowHeight(54);
  list_->SetItemPainter([this](CCanvas& canvas, const CListView::Item&, const Rect& row, int index,
                               bool selected,
                               bool hovered) { PaintRow(canvas, row, index, selected, hovered); });
  list_->OnSelectionChanged(this, &CMainWindow::SelectionChanged);
  list_->onDoubleClick = [this] {
    if (selected_ >= 0) Accept();
  };
  AddChild(list_);
  // The status wraps to a second line: the chosen holder's name is the part the voter checks.
  statusLabel_ = new CWrapLabel;
  statusLabel_->SetBounds({22, 306, 300, 40});
  statusLabel_->SetFont({"system", 12, false});
  statusLabel_->SetCentered(true);
  statusLabel_->SetText("Listo.");
  AddChild(statusLabel_);
  cancel_ = AddButton("Cancelar", {324, 306, 84, 40});
  cancel_->OnClick(this, &CMainWindow::CancelSelection);
  accept_ = AddButton("Aceptar", {408, 306, 96, 40});
  accept_->OnClick(this, &CMainWindow::Accept);
  // Where the signature goes, in view before anything is chosen.
  destination_ = new CWrapLabel;
  destination_->SetFont({"system", 11, !IsUsualHost(VoteHost(parameters_))});
  destination_->SetText(refusal_.empty() ? DestinationLine(VoteHost(parameters_)) : std::string());
  AddChild(destination_);
  OnSize({Bounds().width, Bounds().height});
  ApplyColors();

  if (!refusal_.empty()) {
    // Nothing of a refused link may reach the card: no reader is read and Accept stays off.
    WriteLog("Inicio TalvenNet");
    WriteLog(refusal_ + " | " + refusalEvidence_);
    accept_->SetEnabled(false);
    RefreshStatus();
    return true;
  }
  RefreshReaders();
  SetTimer(kPollTimer, kPollMs);
  WriteLog(TitleWithCode("Inicio TalvenNet", parameters_.code));
  return true;
}

// DestinationHeight is the room of the destination line above the footer: one line for the
// usual service, three for the warning about another one (it names the host), none when the
// link was refused.
int CMainWindow::DestinationHeight() const {
  if (!refusal_.empty()) return 0;
  return IsUsualHost(VoteHost(parameters_)) ? 22 : 46;
}

void CMainWindow::OnSize(Size size) {
  if (!destination_) return;  // the controls are not all there yet
  const int w = size.width, h = size.height;
  titleLabel_->SetBounds({60, 4, w - 150, 26});
  subtitle_->SetBounds({62, 30, w - 170, 18});
  help_->SetBounds({w - 86, 9, 36, 36});
  theme_->SetBounds({w - 46, 9, 36, 36});
  combo_->SetBounds({84, 67, w - 108, 26});
  const int destination = DestinationHeight();
  list_->SetBounds({0, 100, w, h - 140 - destination});
  destination_->SetBounds({22, h - 40 - destination + 3, w - 34, std::max(destination - 3, 0)});
  statusLabel_->SetBounds({22, h - 40, w - 202, 40});
  cancel_->SetBounds({w - 180, h - 40, 84, 40});
  accept_->SetBounds({w - 96, h - 40, 96, 40});
}

void CMainWindow::ApplyColors() {
  const Palette& p = *palette_;
  SetBackground(p.background);
  titleLabel_->SetTextColor(p.headerText);
  subtitle_->SetTextColor(Shade(p.headerText, -40));
  pick_->SetTextColor(p.text);
  statusLabel_->SetColor(refusal_.empty() ? p.text : p.error);
  destination_->SetColor(IsUsualHost(VoteHost(parameters_)) ? p.mutedText : p.error);
  help_->SetStyle(BuildBorderlessStyleText(Shade(p.header, 24), p.headerText, 16));
  theme_->SetStyle(BuildBorderlessStyleText(Shade(p.header, 24), p.headerText, 12));
  auto* theme = static_cast<CThemeButton*>(theme_);
  theme->dark = p.dark;
  theme->ink = p.headerText;
  theme->face = Shade(p.header, 24);
  cancel_->SetStyle(ButtonStyle(p, 12));
  accept_->SetStyle(refusal_.empty() ? AccentStyle(p, 12) : DisabledStyle(p, 12));
  combo_->SetTheme(ComboTheme(p));
  list_->fill = p.listBackground;
  list_->edge = p.border;
  Invalidate();
}

void CMainWindow::ToggleTheme() {
  palette_ = palette_->dark ? &LightPalette() : &DarkPalette();
  ApplyColors();
}

CListView* CMainWindow::List() const {
  return list_;
}

const std::string& CMainWindow::StatusLine() const {
  return statusLabel_->Text();
}

const std::string& CMainWindow::DestinationText() const {
  return destination_->Text();
}

int CMainWindow::Message(const std::string& title, const std::string& text, int kind) {
  return ShowMessage(this, *palette_, title, text, kind);
}

std::string CMainWindow::AskForPin(const std::string& prompt) {
  return AskPin(this, *palette_, prompt);
}

void CMainWindow::ShowHelp() {
  CHelpDialog dialog(this, *palette_);
  dialog.ShowModal();
}

void CMainWindow::OnTimer(unsigned id) {
  if (id == kPollTimer) Poll();
}

void CMainWindow::FillCombo(const std::vector<std::string>& names, const std::string& keep) {
  refilling_ = true;
  combo_->SetItems(names);
  auto it = std::find(names.begin(), names.end(), keep);
  combo_->SetSelectedIndex(it != names.end() && !keep.empty() ? static_cast<int>(it - names.begin())
                                                              : DefaultReaderIndex(names));
  refilling_ = false;
}

void CMainWindow::RefreshReaders() {
  std::string message;
  const std::vector<std::string> names = ListReaders(&message);
  readerSignature_ = Joined(names);
  FillCombo(names, "");
  if (!names.empty()) {
    ListCertificates();
    return;
  }
  cardSignature_ = "|";
  ClearCertificates();
  status_ = message.empty() ? kNoReaders : message;
  RefreshStatus();
}

void CMainWindow::Poll() {
  if (signing_ || refilling_ || !refusal_.empty()) return;
  std::string message;
  const std::vector<std::string> names = ListReaders(&message);
  if (const std::string joined = Joined(names); joined != readerSignature_) {
    readerSignature_ = joined;
    FillCombo(names, combo_->SelectedText());
  }
  const std::string reader = combo_->SelectedIndex() >= 0 ? combo_->SelectedText() : std::string();
  const std::string atr = reader.empty() ? std::string() : ReadReaderAtr(reader);
  const std::string card = reader + "|" + atr;
  if (card == cardSignature_) return;
  cardSignature_ = card;
  if (!atr.empty()) {
    ListCertificates();
    return;
  }
  ClearCertificates();
  status_ = reader.empty() ? kNoReaders : kNoCard;
  RefreshStatus();
}

void CMainWindow::ReaderChanged(int) {
  if (!refilling_) ListCertificates();
}

void CMainWindow::ClearCertificates() {
  restoring_ = true;
  list_->Clear();
  restoring_ = false;
  certificates_.clear();
  selected_ = -1;
  lastAccepted_ = -1;
  detail_.clear();
}

void CMainWindow::ListCertificates() {
  ClearCertificates();
  if (combo_->SelectedIndex() < 0) {
    cardSignature_ = "|";
    status_ = kNoReaders;
    RefreshStatus();
    return;
  }
  const std::string reader = combo_->SelectedText();
  currentReader_ = reader;
  std::string status, atr;
  certificates_ = ReadCardCertificates(reader, &status, &atr);
  int others = 0;
  for (const CardCertificate& c : certificates_) {
    CListView::Item item;
    item.text = HolderName(c.certificate);
    list_->AddItem(item);
    if (!IsSignatureCertificate(HolderName(c.certificate), c.label)) ++others;
  }
  status_ = certificates_.empty() && !status.empty() ? "Error de lectura: " + status : status;
  if (others > 0) status_ += " · " + std::to_string(others) + " no seleccionable(s): solo Firma (FIR)";
  for (size_t i = 0; i < certificates_.size(); ++i) {
    if (IsSignatureCertificate(HolderName(certificates_[i].certificate), certificates_[i].label)) {
      list_->SetSelectedIndex(static_cast<int>(i));
      break;
    }
  }
  cardSignature_ = reader + "|" + atr;
  RefreshStatus();
  WriteLog("Lector '" + reader + "': " + std::to_string(certificates_.size()) + " certificado(s)");
}

void CMainWindow::SelectionChanged(int index) {
  if (restoring_) return;
  if (index < 0 || index >= static_cast<int>(certificates_.size())) {
    selected_ = -1;
  } else if (const CardCertificate& c = certificates_[index];
             IsSignatureCertificate(HolderName(c.certificate), c.label)) {
    selected_ = lastAccepted_ = index;
    detail_.clear();
  } else {
    detail_ = " : solo se admite el certificado de Firma (FIR)";
    restoring_ = true;
    list_->SetSelectedIndex(lastAccepted_);
    restoring_ = false;
    selected_ = lastAccepted_;
  }
  RefreshStatus();
}

void CMainWindow::RefreshStatus() {
  if (!refusal_.empty()) {  // nothing else is going on, and nothing may hide why
    statusLabel_->SetText(refusal_);
    return;
  }
  std::string line = status_;
  if (selected_ >= 0 && selected_ < static_cast<int>(certificates_.size())) {
    const CardCertificate& c = certificates_[selected_];
    line += "  |  Elegido: " + c.label + " - " + HolderName(c.certificate);
  } else if (!detail_.empty()) {
    line += "  |  " + detail_;
  }
  statusLabel_->SetText(line);
  Invalidate();
}

void CMainWindow::CancelSelection() {
  restoring_ = true;
  list_->SetSelectedIndex(-1);
  restoring_ = false;
  selected_ = -1;
  detail_.clear();
  status_ = "Seleccion cancelada.";
  RefreshStatus();
}

void CMainWindow::Accept() {
  if (signing_ || !refusal_.empty()) return;
  if (selected_ < 0 || selected_ >= static_cast<int>(certificates_.size())) {
    Message("Aceptar", "Seleccione primero un certificado de la lista.", kMessageInfo);
    return;
  }
  // A copy: the dialogs below run nested loops, and nothing in them may change what is signed.
  const CardCertificate chosen = certificates_[selected_];
  const std::string holder = HolderName(chosen.certificate);
  std::string text = "DNI: " + DniNumber(holder, chosen.certificate) + "\nCN: " + holder +
                     "\nAlias: " + chosen.label + "\nEmisor: " + IssuerShortName(chosen.certificate) +
                     "\nVencimiento: " + FormatExpiry(chosen.certificate);
  if (IsExpired(chosen.certificate)) text += "\n\nAviso: el certificado esta VENCIDO.";
  // The destination again, just before the PIN is asked for.
  const std::string host = VoteHost(parameters_);
  text += "\n\n" + DestinationLine(host);
  signing_ = true;
  Message("Certificado elegido", text, IsUsualHost(host) ? kMessageInfo : kMessageNotice);
  if (!IsSignatureCertificate(holder, chosen.label)) {
    status_ = "Solo se pueden usar los certificados de Firma (FIR).";
    RefreshStatus();
  } else {
    Sign(chosen);
  }
  signing_ = false;
}

void CMainWindow::Sign(const CardCertificate& chosen) {
  const std::string text = parameters_.challenge.empty() ? kTestText : parameters_.challenge;
  std::string pin = AskForPin("Introduzca el PIN de firma del DNIe para firmar el reto:");
  if (pin.empty()) {
    status_ = "Firma cancelada: no se introdujo el PIN.";
    RefreshStatus();
    return;
  }
  // The voter sees how many digits go to the card, never the digits themselves.
  Message("PIN a verificar",
          "Se va a enviar el siguiente PIN a la tarjeta:\n\n" + std::string(pin.size(), '*'), kMessageInfo);
  std::string message;
  Bytes signature;
  bool pinOk = CheckCardPin(currentReader_, pin, &message);
  if (pinOk)
    signature = SignWithDnie(currentReader_, chosen.certificate.der, ToBytes(text), pin, &message,
                             CardSignVariant::VoteAuth);
  SecureClear(pin.data(), pin.size());
  if (!pinOk) {
    Message("PIN rechazado", "El PIN no es correcto:\n\n" + message, kMessageError);
    status_ = "Firma cancelada: PIN no verificado.";
    RefreshStatus();
    return;
  }
  if (signature.empty()) {
    status_ = "No se pudo firmar el texto.";
    RefreshStatus();
    Message("Firma", "No se pudo firmar \"hola\":\n\n" + message, kMessageNotice);
    return;
  }
  const std::string count = std::to_string(signature.size());
  WriteLog("Firma de \"hola\" completada (" + count + " bytes)");
  Message("Resultado de la firma",
          "Texto firmado: \"hola\"\nTamaño: " + count + " bytes\n\n" + HexEncode(signature), kMessageInfo);
  Submit(DniNumber(HolderName(chosen.certificate), chosen.certificate), chosen, signature);
  Invalidate();
}

void CMainWindow::Submit(const std::string& dni, const CardCertificate& chosen, const Bytes& signature) {
  const std::string body =
      VoteBody(dni, HolderName(chosen.certificate), parameters_.challenge, signature, chosen.certificate.der);
  const std::string url = "https://" + VoteHost(parameters_) + "/api/auth/nimbo";
  const size_t certificateLength =
      chosen.certificate.der.empty() ? 0 : Base64Encode(chosen.certificate.der).size();
  WriteLog("POST " + url + " (firma " + std::to_string(signature.size()) + " bytes, certificado " +
           std::to_string(certificateLength) + " b64)");
  HttpResponse response = HttpPostJson(url, ToBytes(body), 15000);
  if (!response.error.empty()) {
    WriteLog("Error de conexion: " + response.error);
    Message("Error de conexion", "No se pudo conectar con el servidor.\n\n" + response.error, kMessageError);
    return;
  }
  const std::string answer = ToText(response.body);
  const std::string status = std::to_string(response.status);
  WriteLog("HTTP " + status + ": " + answer);
  if (response.status >= 400) {
    Message("Error del servidor", "HTTP " + status + "\n\n" + answer, kMessageNotice);
  } else {
    Message("Firma enviada", "Respuesta del servidor:\n\n" + answer, kMessageInfo);
  }
}

void CMainWindow::Paint(CCanvas& canvas) {
  const Palette& p = *palette_;
  const int w = Bounds().width, h = Bounds().height;
  canvas.FillRect({0, 0, w, 58}, p.header);
  if (logoPath_.empty() || !canvas.DrawImageFile(logoPath_, {11, 7, 44, 44})) {
    canvas.FillRoundRect({11, 7, 44, 44}, 8.0f, p.logo);
    Size extent = canvas.MeasureText("T", "system", 20, true, false);
    canvas.DrawText("T", {11 + (44 - extent.width) / 2, 7 + (44 - extent.height) / 2}, {255, 255, 255, 255},
                    "system", 20, true, false);
  }
  canvas.FillRect({0, 58, w, 42}, p.band);
  canvas.FillRect({0, h - 40, w, 40}, p.footer);
  Color status = refusal_.empty() ? p.statusNeutral : p.statusExpired;
  if (selected_ >= 0 && selected_ < static_cast<int>(certificates_.size()))
    status = IsExpired(certificates_[selected_].certificate) ? p.statusExpired : p.statusValid;
  canvas.FillRect({0, h - 40, 14, 40}, status);
}

void CMainWindow::PaintRow(CCanvas& canvas, const Rect& row, int index, bool selected, bool hovered) {
  const Palette& p = *palette_;
  canvas.FillRect(row, selected ? p.rowSelected : hovered ? p.rowHover : p.listBackground);
  if (index < 0 || index >= static_cast<int>(certificates_.size())) return;
  const CardCertificate& c = certificates_[index];
  const std::string holder = HolderName(c.certificate);
  const Color badge = IsExpired(c.certificate)                  ? p.badgeExpired
                      : IsSignatureCertificate(holder, c.label) ? p.badgeSignature
                                                                : p.badgeOther;
  canvas.FillRoundRect({row.x + 14, row.y + 15, 23, 23}, 7.0f, badge);
  const int x = row.x + 50, room = row.width - 50 - 12;
  const Font holderFont{"system", 14, false}, issuerFont{"system", 12, false},
      expiryFont{"system", 11, false};
  canvas.DrawText(FitText(canvas, holder, room, holderFont), {x, row.y + 4}, p.text, "system", 14, false,
                  false);
  canvas.DrawText(FitText(canvas, IssuerShortName(c.certificate), room, issuerFont), {x, row.y + 22},
                  p.mutedText, "system", 12, false, false);
  canvas.DrawText(FitText(canvas, "Expira et: " + FormatExpiry(c.certificate), room, expiryFont),
                  {x, row.y + 37}, p.mutedText, "system", 11, false, false);
}
