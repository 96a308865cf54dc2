#include "examples/signer/pin_dialog.h"

#include <cctype>

#include "core/bytes.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "toolkit/label.h"

using namespace Vy;

PinPrompt DniePinPrompt(const std::string& holder) {
  PinPrompt p;
  p.title = "PIN del DNI electrónico";
  p.heading = "Autenticación con DNI electrónico";
  p.ownerLine = "Titular: " + (holder.empty() ? std::string("(DNIe detectado)") : holder);
  p.prompt = "Introduce el PIN de tu tarjeta para autorizar la firma digital:";
  p.placeholder = "Escribe el PIN aquí";
  p.emptyError = "Por favor, introduce el PIN del DNIe.";
  p.warning = "Aviso: El chip del DNIe se bloquea tras 3 intentos erróneos consecutivos.";
  return p;
}

PinPrompt TokenPinPrompt(const std::string& holder) {
  PinPrompt p;
  p.title = "PIN del token";
  p.heading = "Autenticación con el token";
  p.ownerLine = "Titular: " + (holder.empty() ? std::string("(sin nombre)") : holder);
  p.prompt = "Introduce el PIN del token para autorizar la firma digital:";
  p.placeholder = "Escribe el PIN aquí";
  p.emptyError = "Por favor, introduce el PIN del token.";
  p.warning = "Aviso: El token puede bloquearse tras varios intentos erróneos.";
  p.maxLength = 64;
  return p;
}

PinPrompt Pkcs12PasswordPrompt(const std::string& fileName) {
  PinPrompt p;
  p.title = "Contraseña del PKCS#12";
  p.heading = "Certificado en archivo PKCS#12";
  p.ownerLine = "Archivo: " + fileName;
  p.prompt = "Introduce la contraseña del archivo para leer su certificado:";
  p.placeholder = "Escribe la contraseña aquí";
  p.warning = "La contraseña solo se guarda mientras el programa está abierto.";
  p.maxLength = 256;
  return p;
}

CPinDialog::CPinDialog(CWindow* parent, const Palette& palette, const std::string& holder,
                       const std::string& readerName)
    : CPinDialog(parent, palette, DniePinPrompt(holder)) {
  readerName_ = readerName;
}

CPinDialog::CPinDialog(CWindow* parent, const Palette& palette, PinPrompt prompt)
    : CDialog(parent), palette_(palette), prompt_(std::move(prompt)) {
  SetTitle(prompt_.title);
  SetClientSize({420, 250});
  background_ = palette_[kBackground];
}

CPinDialog::~CPinDialog() {
  if (edit_) edit_->Wipe();
  SecureClear(&pin_);
}

bool CPinDialog::OnInit() {
  SetResizable(false);
  CLabel* heading = AddLabel(prompt_.heading, {24, 16, 372, 20});
  heading->SetTextColor(palette_[kTitle]);
  heading->SetFontSize(13);
  owner_ = AddLabel(prompt_.ownerLine, {24, 38, 372, 18});
  owner_->SetTextColor(palette_[kDialogText]);
  owner_->SetFontSize(11);
  CLabel* prompt = AddLabel(prompt_.prompt, {24, 62, 372, 18});
  prompt->SetTextColor(palette_[kDialogMuted]);
  prompt->SetFontSize(11);
  edit_ = AddEdit("", {24, 90, 372, 30});
  edit_->SetPassword(true);
  edit_->SetMaxLength(prompt_.maxLength);
  edit_->SetPlaceholder(prompt_.placeholder);
  edit_->OnEnter(this, &CPinDialog::AcceptEntered);
  error_ = AddLabel("", {24, 126, 372, 18});
  error_->SetElided(true);
  error_->SetTextColor(palette_[kErrorText]);
  error_->SetFontSize(11);
  CLabel* warning = AddLabel(prompt_.warning, {24, 148, 372, 16});
  warning->SetTextColor(palette_[kDialogMuted]);
  warning->SetFontSize(10);
  CButton* accept = AddButton("Aceptar", {194, 188, 100, 34});
  StyleButton(accept, palette_, kButton, true);
  accept->OnClick(this, &CPinDialog::Accept);
  CButton* cancel = AddButton("Cancelar", {304, 188, 92, 34});
  StyleButton(cancel, palette_, kCancelButton, false, kCancelButton);
  cancel->OnClick(this, &CPinDialog::Cancel);
  SetTimer(kCaretTimer, 530);
  FocusControl(edit_);
  return true;
}

void CPinDialog::Accept() {
  if (edit_->Text().empty() && !prompt_.emptyError.empty()) {
    error_->SetText(prompt_.emptyError);
    FocusControl(edit_);
    return;
  }
  std::string reason;
  if (check_ && !check_(edit_->Text(), &reason)) {
    // Asked again where it was asked: the field empties and keeps the focus.
    if (!reason.empty()) reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
    error_->SetText(reason);
    edit_->Wipe();
    FocusControl(edit_);
    Invalidate();
    return;
  }
  SecureClear(&pin_);
  pin_ = edit_->Text();
  EndDialog(1);
}

void CPinDialog::TakePin(std::string* to) {
  SecureClear(to);
  *to = pin_;
  SecureClear(&pin_);
}

void CPinDialog::OnKeyDown(uint16_t key, uint32_t) {
  if (key == kKeyEnter) Accept();
  if (key == kKeyEscape) Cancel();
}

void CPinDialog::OnTimer(unsigned id) {
  if (id != kCaretTimer || !edit_) return;
  caretShown_ = !caretShown_;
  edit_->SetCaretShown(caretShown_);
}

void CPinDialog::PassFocus(int kind) {
  // The field shows the window's activation while it holds the focus; Tab may have moved on.
  if (!edit_ || Focused() != edit_) return;
  Event e;
  e.kind = kind;
  edit_->OnEvent(e);
}

void CPinDialog::OnFocus() {
  PassFocus(kFocusGained);
}

void CPinDialog::OnBlur() {
  PassFocus(kFocusLost);
}

void CPinDialog::OnDestroy() {
  KillTimer(kCaretTimer);
  if (edit_) edit_->Wipe();
}
