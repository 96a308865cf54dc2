#include "examples/TalvenNet/dialogs.h"

#include <algorithm>
#include <iterator>

#include "core/bytes.h"
#include "core/platform_names.h"
#include "core/text.h"
#include "examples/TalvenNet/assets.h"
#include "toolkit/button.h"
#include "toolkit/label.h"

using namespace Vy;

void CWrapLabel::Paint(CCanvas& canvas) {
  const int lineHeight = LineHeight(canvas, font_);
  const std::vector<std::string> lines = WrapText(canvas, text_, rect_.width, font_);
  const int fitting = std::max(std::min(static_cast<int>(lines.size()), rect_.height / lineHeight), 1);
  int y = centered_ ? rect_.y + std::max((rect_.height - fitting * lineHeight) / 2, 0) : rect_.y;
  for (const std::string& line : lines) {
    if (y > rect_.y && y + lineHeight > rect_.Bottom()) break;  // whole lines only
    if (!line.empty())
      canvas.DrawText(line, {rect_.x, y}, color_, font_.family, font_.size, font_.bold, false);
    y += lineHeight;
  }
}

CMsgDialog::CMsgDialog(CWindow* parent, const Palette& palette, const std::string& title,
                       const std::string& text, int kind)
    : CDialog(parent), palette_(palette), text_(text), kind_(kind) {
  SetTitle(title);
  SetClientSize(SizeFor(text));
}

Size CMsgDialog::SizeFor(const std::string& text) {
  int lines = 1, longest = 0, current = 0;
  for (size_t at = 0; at < text.size();) {
    char32_t cp = DecodeUtf8(text, &at);
    if (cp == '\n') {
      ++lines;
      current = 0;
    } else if (cp != '\r') {
      longest = std::max(longest, ++current);
    }
  }
  return {std::clamp(longest * 7 + 60, 360, 760), std::clamp(lines * 19 + 100, 140, 520)};
}

bool CMsgDialog::OnInit() {
  SetResizable(false);
  SetBackground(palette_.background);
  const Size size = SizeFor(text_);
  auto* label = new CWrapLabel;
  label->SetBounds({18, 14, size.width - 36, size.height - 70});
  label->SetFont({"system", 13, false});
  label->SetColor(palette_.text);
  label->SetText(text_);
  AddChild(label);
  button_ = AddButton("Aceptar", {size.width - 108, size.height - 48, 90, 32});
  button_->SetStyle(kind_ == kMessageNotice  ? NoticeStyle(12)
                    : kind_ == kMessageError ? ErrorStyle(palette_, 12)
                                             : ButtonStyle(palette_, 12));
  button_->OnClick([this] { EndDialog(1); });
  return true;
}

// The edge keeps the message apart from the window under it where no window manager frames it.
void CMsgDialog::Paint(CCanvas& canvas) {
  canvas.DrawRect({0, 0, Bounds().width, Bounds().height}, palette_.border, 1.0f);
}

void CMsgDialog::OnKeyDown(uint16_t key, uint32_t) {
  if (key == kKeyEnter) EndDialog(1);
  if (key == kKeyEscape) EndDialog(2);
}

int ShowMessage(CWindow* parent, const Palette& palette, const std::string& title, const std::string& text,
                int kind) {
  CMsgDialog dialog(parent, palette, title, text, kind);
  return dialog.ShowModal();
}

CPinBox::CPinBox() {
  SetPassword(true);
  SetMaxLength(8);
  SetFontSize(13);
}

CPinBox::~CPinBox() {
  std::string text = Text();
  SecureClear(text.data(), text.size());
  Clear();
}

void CPinBox::OnEvent(Event& event) {
  // Only digits reach the PIN; the toolkit's digits mode would also let ',', '-' and '.' in.
  if (event.kind == kCharacter && event.key >= 32 && event.key != 127 &&
      !(event.key >= '0' && event.key <= '9') && !(event.modifiers & kModControl)) {
    event.handled = true;
    return;
  }
  CEdit::OnEvent(event);
}

CPinDialog::CPinDialog(CWindow* parent, const Palette& palette, const std::string& prompt)
    : CDialog(parent), palette_(palette), prompt_(prompt) {
  SetTitle("PIN de firma del DNIe");
  SetClientSize({320, 138});
}

CPinDialog::~CPinDialog() {
  SecureClear(pin_.data(), pin_.size());
}

bool CPinDialog::OnInit() {
  SetResizable(false);
  SetBackground(palette_.background);
  auto* label = new CWrapLabel;
  label->SetBounds({12, 12, 296, 36});
  label->SetFont({"system", 12, false});
  label->SetColor(palette_.text);
  label->SetText(prompt_);
  AddChild(label);
  box_ = new CPinBox;
  box_->SetBounds({12, 54, 296, 23});
  AddChild(box_);
  box_->OnEnter([this](const std::string&) { Accept(); });
  CButton* accept = AddButton("Aceptar", {154, 88, 75, 28});
  accept->SetStyle(AccentStyle(palette_, 12));
  accept->OnClick(this, &CPinDialog::Accept);
  CButton* cancel = AddButton("Cancelar", {233, 88, 75, 28});
  cancel->SetStyle(ButtonStyle(palette_, 12));
  cancel->OnClick([this] { EndDialog(2); });
  SetFocus(box_);
  Forward(kFocusGained);
  caretShown_ = true;
  SetTimer(2, 530);
  return true;
}

void CPinDialog::Accept() {
  pin_ = box_->Text();
  EndDialog(pin_.empty() ? 2 : 1);
}

void CPinDialog::OnKeyDown(uint16_t key, uint32_t) {
  if (key == kKeyEscape) EndDialog(2);
  if (key == kKeyEnter) Accept();
}

void CPinDialog::OnTimer(unsigned id) {
  if (id != 2 || !box_) return;
  caretShown_ = !caretShown_;
  box_->SetCaretShown(caretShown_);
}

void CPinDialog::Forward(int kind) {
  if (!box_) return;
  Event event;
  event.kind = kind;
  box_->OnEvent(event);
}

void CPinDialog::OnFocus() {
  SetFocus(box_);
  Forward(kFocusGained);
}

void CPinDialog::OnBlur() {
  Forward(kFocusLost);
}

std::string AskPin(CWindow* parent, const Palette& palette, const std::string& prompt) {
  CPinDialog dialog(parent, palette, prompt);
  if (dialog.ShowModal() != 1) return {};
  return dialog.Pin();
}

namespace {
const Font kGuideFont{"system", 11, false};
}

int CGuideText::LastFirstLine() const {
  return std::max(LineCount() - rect_.height / lineHeight_, 0);
}

void CGuideText::Paint(CCanvas& canvas) {
  if (!wrapped_) {
    lines_ = WrapText(canvas, text_, rect_.width, kGuideFont);
    lineHeight_ = LineHeight(canvas, kGuideFont);
    wrapped_ = true;
  }
  canvas.SetClip(rect_);
  int y = rect_.y;
  for (int i = first_; i < LineCount() && y < rect_.Bottom(); ++i, y += lineHeight_) {
    if (!lines_[i].empty())
      canvas.DrawText(lines_[i], {rect_.x, y}, color_, kGuideFont.family, kGuideFont.size, false, false);
  }
}

void CGuideText::Scroll(int wheelSteps) {
  const int first = std::clamp(first_ - 3 * NormalizeWheelSteps(wheelSteps), 0, LastFirstLine());
  if (first == first_) return;
  first_ = first;
  InvalidateSelf();
}

void CGuideText::OnEvent(Event& event) {
  if (event.kind != kWheel) return;
  Scroll(event.wheelSteps);
  event.handled = true;
}

void CPicture::Paint(CCanvas& canvas) {
  if (canvas.DrawImageFile(path_, rect_)) return;
  canvas.FillRoundRect(rect_, 8.0f, fill_);
  canvas.DrawText(word_, wordAt_, ink_, "system", 26, true, false);
}

const std::string& GuideText() {
  static const std::string text = [] {
    const std::string rule(50, '-');
    const char* lines[] = {
        "Que hace este programa?",
        nullptr,
        "TalvenNet lee los datos publicos de su DNI electronico (DNIe)",
        "y le permite firmar un token temporal para el sistema de voto",
        "electronico TALVEN 2026.",
        "",
        "Tipos de DNIe compatibles:",
        nullptr,
        "- DNIe 2.0 (gris, chip de contacto):",
        "  - Se inserta en el lector con los contactos dorados hacia arriba.",
        "  - Pide su PIN de firma (4 a 8 digitos).",
        "  - No requiere CAN ni canal especial.",
        "",
        "- DNIe 3.0 (nuevo, contacto y/o NFC):",
        "  - Por contacto: igual que el 2.0, usa su PIN de firma.",
        "  - Por NFC (inalambrico): necesita el CAN (4 digitos del reverso)",
        "    para abrir el canal seguro y luego su PIN de firma.",
        "",
        "Pasos para firmar:",
        nullptr,
        "1. Conecte el lector de tarjetas e inserte/tapee su DNIe.",
        "2. El programa detecta el lector y muestra sus certificados.",
        "3. Seleccione el certificado de FIRMA (FIR).",
        "4. Pulse \"Aceptar\" e ingrese su PIN cuando se le pida.",
        "5. Listo! La firma se genera en su DNIe y se envia a TALVEN.",
        "",
        "Privacidad y seguridad:",
        nullptr,
        "[OK] Este software NO RECOLECTA NINGUN DATO PERSONAL.",
        "[OK] Su PIN nunca sale de esta ventana ni se guarda en disco.",
        "[OK] La firma se hace dentro del chip del DNIe (seguridad hardware).",
        "[OK] Solo facilita el acceso al voto electronico TALVEN 2026.",
        "",
        "Problemas frecuentes:",
        nullptr,
        "- \"No hay lectores\": verifique el cable USB y que el servicio",
        platform::kPcscServiceGuide,
        "- \"Pide CAN\": solo en DNIe 3.0 por NFC. Use los 4 digitos del",
        "  reverso del DNIe, luego su PIN de firma.",
        "- PIN incorrecto: tiene 3 intentos antes de bloquear la clave.",
        "  Si la bloquea, debe ir a RENIEC a desbloquearla.",
    };
    std::string joined;
    for (size_t i = 0; i < std::size(lines); ++i) {
      if (i > 0) joined += '\n';
      joined += lines[i] ? lines[i] : rule;
    }
    return joined;
  }();
  return text;
}

CHelpDialog::CHelpDialog(CWindow* parent, const Palette& palette) : CDialog(parent), palette_(palette) {
  SetTitle("Ayuda - TalvenNet");
  SetClientSize({655, 462});
}

bool CHelpDialog::OnInit() {
  SetResizable(false);
  SetBackground({255, 255, 255, 255});
  CLabel* heading = AddLabel("Guia: Uso del DNIe", {199, 4, 420, 30});
  heading->SetFontFamily("system");
  heading->SetFontSize(19);
  heading->SetBold(true);
  heading->SetTextColor({12, 59, 116, 255});
  auto* picture = new CPicture(AssetPath("dni.png"), "DNIe", {130, 108});
  picture->SetBounds({3, 39, 282, 161});
  picture->SetColors(palette_.logo, {255, 255, 255, 255});
  AddChild(picture);
  guide_ = new CGuideText(GuideText());
  guide_->SetBounds({291, 39, 352, 354});
  AddChild(guide_);
  CButton* close = AddButton("Cerrar", {531, 404, 105, 43});
  close->SetStyle(
      "background-color:#0064b4; color:#ffffff; border-color:#00559a; border-width:1; border-radius:4; "
      "font-size:13;");
  close->SetHoverStyle(
      "background-color:#0a76d0; color:#ffffff; border-color:#00559a; border-width:1; border-radius:4; "
      "font-size:13;");
  close->OnClick([this] { EndDialog(1); });
  return true;
}

void CHelpDialog::OnKeyDown(uint16_t key, uint32_t) {
  if (key == kKeyEnter) EndDialog(1);
  if (key == kKeyEscape) EndDialog(2);
}

void CHelpDialog::OnMouseWheel(uint32_t, int steps, Point) {
  if (guide_) guide_->Scroll(steps);
}
