#pragma once

#include <functional>
#include <string>

#include "examples/signer/palette.h"
#include "toolkit/window.h"

namespace Vy {
class CEdit;
class CLabel;
}  // namespace Vy

// PinPrompt holds the texts of one kind of secret the signer asks for: the DNIe's PIN, a
// token's PIN or a PKCS#12 file's password.
struct PinPrompt {
  std::string title;
  std::string heading;
  std::string ownerLine;  // "Titular: ..." or the file's name
  std::string prompt;
  std::string placeholder;
  std::string emptyError;  // empty: an empty answer is accepted
  std::string warning;
  int maxLength = 16;
};

// DniePinPrompt is the card PIN's prompt; an empty holder shows "(DNIe detectado)".
PinPrompt DniePinPrompt(const std::string& holder);
// TokenPinPrompt asks for a PKCS#11 token's PIN, whose key needs a login before it signs.
PinPrompt TokenPinPrompt(const std::string& holder);
// Pkcs12PasswordPrompt asks for a PKCS#12 file's password; an empty one is a valid answer.
PinPrompt Pkcs12PasswordPrompt(const std::string& fileName);

// CPinDialog asks for a secret in a masked field with a blinking caret. A caller that can tell
// a wrong secret at once (a PKCS#12 password) gives a check: a refused secret is wiped and
// asked for again in the same dialog, with the check's reason on the error line; otherwise
// the caller hands the secret to the card, the token or openssl. Results: 1 accepted, 2
// cancelled (button or Escape), 0 closed otherwise. The field is wiped when the dialog ends.
class CPinDialog : public Vy::CDialog {
 public:
  CPinDialog(Vy::CWindow* parent, const Palette& palette, const std::string& holder,
             const std::string& readerName);
  CPinDialog(Vy::CWindow* parent, const Palette& palette, PinPrompt prompt);
  ~CPinDialog() override;

  // Check is called with the secret on accept; false, with a Spanish reason, refuses it.
  using Check = std::function<bool(const std::string& secret, std::string* reason)>;
  void SetCheck(Check check) { check_ = std::move(check); }

  bool OnInit() override;
  void OnKeyDown(uint16_t key, uint32_t modifiers) override;
  void OnTimer(unsigned id) override;
  void OnFocus() override;
  void OnBlur() override;
  void OnDestroy() override;

  // Pin is the accepted secret. TakePin copies it into `to` (wiping what `to` held) and wipes
  // it here; a moved string could leave its bytes in the dialog's buffer.
  const std::string& Pin() const { return pin_; }
  void TakePin(std::string* to);
  const std::string& ReaderName() const { return readerName_; }

  // Test access.
  Vy::CEdit* Field() const { return edit_; }
  Vy::CLabel* ErrorLine() const { return error_; }
  Vy::CLabel* OwnerLine() const { return owner_; }

 private:
  static constexpr unsigned kCaretTimer = 1;
  void Accept();
  void AcceptEntered(const std::string&) { Accept(); }
  void Cancel() { EndDialog(2); }
  void PassFocus(int kind);

  Palette palette_;
  PinPrompt prompt_;
  std::string readerName_;
  std::string pin_;
  Check check_;
  bool caretShown_ = true;
  Vy::CEdit* edit_ = nullptr;
  Vy::CLabel* error_ = nullptr;
  Vy::CLabel* owner_ = nullptr;
};
