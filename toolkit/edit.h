#pragma once

#include <functional>
#include <string>
#include <vector>

#include "toolkit/callback.h"
#include "toolkit/control.h"

namespace Vy {

// CEdit is a single-line UTF-8 text entry with caret, selection, masking and a digits-only
// mode. Positions are code-point indices.
class CEdit : public CControl {
 public:
  CEdit() { rect_ = {0, 0, 200, 30}; }

  template <typename T>
  void OnEnter(T* object, void (T::*method)(const std::string&)) {
    onEnter_ = Bind(object, method);
  }
  void OnEnter(std::function<void(const std::string&)> callback) { onEnter_ = std::move(callback); }
  // OnChange is called with the text after every change.
  template <typename T>
  void OnChange(T* object, void (T::*method)(const std::string&)) {
    onChange_ = Bind(object, method);
  }
  void OnChange(std::function<void(const std::string&)> callback) { onChange_ = std::move(callback); }

  // SetText puts the caret at the end and notifies the change.
  void SetText(const std::string& text);
  const std::string& Text() const { return text_; }
  void SetCaret(int index, bool extend);
  void SelectAll();
  void SetSelection(int anchor, int caret);
  void Clear();
  // Wipe overwrites the text's bytes and empties it without notifying (for secrets).
  void Wipe();
  int Caret() const { return caret_; }
  int Anchor() const { return anchor_; }
  bool HasSelection() const { return caret_ != anchor_; }
  std::string SelectedText() const;

  void SetPlaceholder(const std::string& text) { placeholder_ = text, InvalidateSelf(); }
  const std::string& Placeholder() const { return placeholder_; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  void SetPassword(bool password) { password_ = password, InvalidateSelf(); }
  void SetDigitsOnly(bool digitsOnly) { digitsOnly_ = digitsOnly; }
  // SetSelectOnFocus makes the edit select its whole text whenever it takes the focus, by Tab
  // or by a click (which then leaves the selection as it is), so that typing replaces it.
  void SetSelectOnFocus(bool select) { selectOnFocus_ = select; }
  // SetMaxLength limits the text in code points; 0 is unlimited.
  void SetMaxLength(int maxLength) { maxLength_ = maxLength < 0 ? 0 : maxLength; }
  void SetFontSize(int size) { fontSize_ = size < 1 ? 14 : size, InvalidateSelf(); }
  // SetCaretShown lets an owner blink the caret from a timer.
  void SetCaretShown(bool shown) { caretShown_ = shown, InvalidateSelf(); }
  bool IsFocused() const { return focused_; }
  bool IsHovered() const { return hovered_; }
  int ScrollOffset() const { return scroll_; }
  // DisplayedText is the text, or one "*" per code point for a password edit.
  std::string DisplayedText() const;
  // CaretX is the caret's x in window coordinates as of the last paint.
  int CaretX() const;

  void Paint(CCanvas& canvas) override;
  void OnEvent(Event& event) override;
  bool AcceptsFocus() const override { return true; }

 private:
  int Length() const;
  void Layout(CCanvas& canvas);
  int HitIndex(int x) const;
  int Offset(int index) const;
  int TextOriginX() const { return rect_.x + 8 - scroll_; }
  bool IsWordChar(int index) const;
  int NextWordEnd(int index) const;
  int PreviousWordStart(int index) const;
  // Erase removes code points [from, to) and puts the caret at `from`.
  void Erase(int from, int to);
  bool DeleteSelection();
  void InsertCharacter(char32_t cp);
  void HandleKey(Event& event);
  void HandleCharacter(Event& event);
  void Changed();

  std::string text_;
  std::string placeholder_;
  int caret_ = 0;
  int anchor_ = 0;
  int maxLength_ = 0;
  int fontSize_ = 14;
  int lineHeight_ = 14;
  int scroll_ = 0;
  bool readOnly_ = false;
  bool password_ = false;
  bool digitsOnly_ = false;
  bool selectOnFocus_ = false;
  bool justSelected_ = false;  // the focus selected the text; the press that focused keeps it
  bool caretShown_ = true;
  bool focused_ = false;
  bool hovered_ = false;
  bool dragging_ = false;
  bool notifying_ = false;
  char16_t pendingHighSurrogate_ = 0;
  std::function<void(const std::string&)> onChange_;
  std::function<void(const std::string&)> onEnter_;
  // Boundary offsets of the displayed string as measured at the last layout.
  std::string cachedText_;
  int cachedFontSize_ = 0;
  std::vector<int> offsets_;
};

}  // namespace Vy
