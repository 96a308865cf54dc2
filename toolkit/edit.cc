#include "toolkit/edit.h"

#include <algorithm>

#include "core/text.h"
#include "toolkit/utf8.h"

namespace Vy {

int CEdit::Length() const {
  return CodePointCount(text_);
}

std::string CEdit::DisplayedText() const {
  return password_ ? std::string(Length(), '*') : text_;
}

std::string CEdit::SelectedText() const {
  int lo = std::min(caret_, anchor_), hi = std::max(caret_, anchor_);
  size_t from = ByteOffset(text_, lo);
  return text_.substr(from, ByteOffset(text_, hi) - from);
}

void CEdit::SetText(const std::string& text) {
  text_ = text;
  caret_ = anchor_ = Length();
  Changed();
}

void CEdit::SetCaret(int index, bool extend) {
  caret_ = std::clamp(index, 0, Length());
  if (!extend) anchor_ = caret_;
  InvalidateSelf();
}

void CEdit::SelectAll() {
  SetSelection(0, Length());
}

void CEdit::SetSelection(int anchor, int caret) {
  anchor_ = std::clamp(anchor, 0, Length());
  caret_ = std::clamp(caret, 0, Length());
  InvalidateSelf();
}

void CEdit::Clear() {
  if (text_.empty()) return;
  text_.clear();
  caret_ = anchor_ = 0;
  Changed();
}

void CEdit::Wipe() {
  // Overwritten in place first: a password must not linger in freed memory.
  for (char& c : text_) *static_cast<volatile char*>(&c) = 0;
  text_.clear();
  caret_ = anchor_ = 0;
  InvalidateSelf();
}

void CEdit::Changed() {
  InvalidateSelf();
  if (!onChange_ || notifying_) return;
  notifying_ = true;
  std::string text = text_;  // the callback may replace the text while it runs
  onChange_(text);
  notifying_ = false;
}

bool CEdit::IsWordChar(int index) const {
  size_t at = ByteOffset(text_, index);
  if (at >= text_.size()) return false;
  unsigned char c = static_cast<unsigned char>(text_[at]);
  return c >= 0x80 || c == '_' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

int CEdit::NextWordEnd(int i) const {
  int n = Length();
  while (i < n && !IsWordChar(i)) ++i;
  while (i < n && IsWordChar(i)) ++i;
  return i;
}

int CEdit::PreviousWordStart(int i) const {
  while (i > 0 && !IsWordChar(i - 1)) --i;
  while (i > 0 && IsWordChar(i - 1)) --i;
  return i;
}

void CEdit::Erase(int from, int to) {
  size_t a = ByteOffset(text_, from);
  text_.erase(a, ByteOffset(text_, to) - a);
  caret_ = anchor_ = from;
}

bool CEdit::DeleteSelection() {
  if (caret_ == anchor_) return false;
  Erase(std::min(caret_, anchor_), std::max(caret_, anchor_));
  return true;
}

void CEdit::InsertCharacter(char32_t cp) {
  bool changed = DeleteSelection();
  if (maxLength_ == 0 || Length() < maxLength_) {
    std::string bytes;
    AppendUtf8(&bytes, cp);
    text_.insert(ByteOffset(text_, caret_), bytes);
    caret_ = anchor_ = caret_ + 1;
    changed = true;
  }
  if (changed) Changed();
}

void CEdit::Layout(CCanvas& canvas) {
  lineHeight_ = canvas.MeasureText("Ay", "system", fontSize_, false, false).height;
  if (lineHeight_ < 1) lineHeight_ = fontSize_;
  std::string shown = DisplayedText();
  if (shown != cachedText_ || fontSize_ != cachedFontSize_ || offsets_.empty()) {
    offsets_.assign(1, 0);
    for (size_t i = 0; i < shown.size(); ++i) {
      if (IsContinuation(static_cast<unsigned char>(shown[i]))) continue;
      if (i == 0) continue;
      int w =
          canvas.MeasureText(std::string_view(shown).substr(0, i), "system", fontSize_, false, false).width;
      offsets_.push_back(std::max(w, offsets_.back()));
    }
    if (!shown.empty()) {
      int w = canvas.MeasureText(shown, "system", fontSize_, false, false).width;
      offsets_.push_back(std::max(w, offsets_.back()));
    }
    cachedText_ = std::move(shown);
    cachedFontSize_ = fontSize_;
  }
  int caretX = Offset(caret_);
  int visible = std::max(rect_.width - 16, 8);
  if (caretX - scroll_ > visible) scroll_ = caretX - visible;
  if (scroll_ > caretX) scroll_ = caretX;
  if (scroll_ < 0) scroll_ = 0;
}

int CEdit::Offset(int index) const {
  if (offsets_.empty()) return 0;
  return offsets_[std::clamp<size_t>(index, 0, offsets_.size() - 1)];
}

int CEdit::CaretX() const {
  return TextOriginX() + Offset(caret_);
}

int CEdit::HitIndex(int x) const {
  int r = x - (rect_.x + 8) + scroll_;
  int count = Length();
  if (cachedText_ != DisplayedText() || offsets_.size() != static_cast<size_t>(count) + 1) {
    return std::clamp(r / 8, 0, count);
  }
  auto it = std::lower_bound(offsets_.begin(), offsets_.end(), r);
  int k = static_cast<int>(it - offsets_.begin());
  if (k > count) return count;
  if (k > 0 && r - offsets_[k - 1] <= offsets_[k] - r) --k;
  return k;
}

void CEdit::Paint(CCanvas& canvas) {
  Layout(canvas);
  Color background = enabled_ ? Color{255, 255, 255, 255} : Color{246, 246, 248, 255};
  Color border = !enabled_  ? Color{205, 205, 205, 255}
                 : focused_ ? Color{0, 120, 215, 255}
                 : hovered_ ? Color{150, 150, 150, 255}
                            : Color{170, 170, 170, 255};
  canvas.FillRoundRect(rect_, 4.0f, background);
  canvas.DrawRoundRect(rect_, 4.0f, border, focused_ ? 1.5f : 1.0f);
  int spare = rect_.height - lineHeight_;
  Point origin{TextOriginX(), spare > 5 ? rect_.y + spare / 2 : rect_.y + 2};
  canvas.Save();
  canvas.SetClip({rect_.x + 2, rect_.y + 1, std::max(rect_.width - 4, 4), std::max(rect_.height - 2, 4)});
  if (cachedText_.empty() && !placeholder_.empty()) {
    canvas.DrawText(placeholder_, origin, {150, 150, 150, 255}, "system", fontSize_, false, false);
  } else {
    if (caret_ != anchor_) {
      int x0 = origin.x + Offset(std::min(caret_, anchor_));
      int x1 = origin.x + Offset(std::max(caret_, anchor_));
      canvas.FillRect({x0, rect_.y + 3, std::max(x1 - x0, 1), std::max(rect_.height - 6, 4)},
                      {0, 120, 215, 90});
    }
    Color ink = enabled_ ? Color{20, 20, 20, 255} : Color{150, 150, 150, 255};
    canvas.DrawText(cachedText_, origin, ink, "system", fontSize_, false, false);
  }
  if (focused_ && caretShown_) {
    int x = origin.x + Offset(caret_);
    canvas.DrawLine({x, rect_.y + 4}, {x, rect_.y + rect_.height - 4}, {30, 30, 30, 255}, 1.0f);
  }
  canvas.Restore();
}

void CEdit::OnEvent(Event& e) {
  bool inside = rect_.Contains(e.x, e.y);
  // Only the press that brought the focus keeps the selection the focus made.
  bool focusingPress = justSelected_ && e.kind == kMouseDown;
  if (e.kind != kFocusGained) justSelected_ = false;
  switch (e.kind) {
    case kMouseMove:
      if (hovered_ != inside) {
        hovered_ = inside;
        InvalidateSelf();
      }
      if (dragging_) {
        e.handled = true;
        SetCaret(HitIndex(e.x), true);
      }
      return;
    case kMouseDown:
      if (e.button != kLeftButton || !inside) return;
      e.handled = true;
      if (focusingPress) return;
      dragging_ = true;
      SetCaret(HitIndex(e.x), false);
      return;
    case kMouseUp:
      if (!dragging_) return;
      e.handled = true;
      dragging_ = false;
      return;
    case kDoubleClick: {
      if (e.button != kLeftButton || !inside) return;
      e.handled = true;
      // The word around the hit boundary: back and forth over word characters.
      int start = HitIndex(e.x), end = start, n = Length();
      while (start > 0 && IsWordChar(start - 1)) --start;
      while (end < n && IsWordChar(end)) ++end;
      SetSelection(start, end);
      return;
    }
    case kFocusGained:
      // The window's own activation comes as a focus event too: only a real arrival selects.
      if (selectOnFocus_ && !focused_) {
        SelectAll();
        justSelected_ = true;
      }
      focused_ = true;
      InvalidateSelf();
      return;
    case kFocusLost:
      focused_ = false;
      justSelected_ = false;
      dragging_ = false;
      InvalidateSelf();
      return;
    case kKeyPressed: HandleKey(e); return;
    case kCharacter: HandleCharacter(e); return;
    default: return;
  }
}

void CEdit::HandleKey(Event& e) {
  bool shift = e.modifiers & kModShift;
  bool control = e.modifiers & kModControl;
  switch (e.key) {
    case kKeyLeft: SetCaret(control ? PreviousWordStart(caret_) : caret_ - 1, shift); break;
    case kKeyRight: SetCaret(control ? NextWordEnd(caret_) : caret_ + 1, shift); break;
    case kKeyHome:
    case kKeyUp:
    case kKeyPageUp: SetCaret(0, shift); break;
    case kKeyEnd:
    case kKeyDown:
    case kKeyPageDown: SetCaret(Length(), shift); break;
    case kKeyBackspace:
    case kKeyDelete: {
      if (readOnly_) break;
      bool changed = DeleteSelection();
      if (!changed) {
        int from = caret_, to = caret_;
        if (e.key == kKeyBackspace)
          from = control ? PreviousWordStart(caret_) : std::max(caret_ - 1, 0);
        else
          to = control ? NextWordEnd(caret_) : std::min(caret_ + 1, Length());
        if (from != to) {
          Erase(from, to);
          changed = true;
        }
      }
      if (changed) Changed();
      break;
    }
    case kKeyEnter:
      if (!onEnter_) return;
      e.handled = true;
      onEnter_(std::string(text_));
      return;
    default: return;
  }
  e.handled = true;
}

void CEdit::HandleCharacter(Event& e) {
  char16_t ch = e.key;
  if ((e.modifiers & kModControl) && (ch == 'a' || ch == 'A' || ch == 1)) {
    e.handled = true;
    SelectAll();
    return;
  }
  if (ch < 32 || ch == 127) return;
  // Control with a key is a shortcut, not text (Control with Alt is AltGr on Windows).
  if ((e.modifiers & kModControl) && !(e.modifiers & kModAlt)) return;
  e.handled = true;
  // Characters beyond the basic plane arrive as two code units; they are joined so that the
  // text never holds encoded surrogates.
  char32_t cp = ch;
  if (ch >= 0xD800 && ch <= 0xDBFF) {
    pendingHighSurrogate_ = ch;
    return;
  }
  if (ch >= 0xDC00 && ch <= 0xDFFF) {
    if (!pendingHighSurrogate_) return;
    cp = 0x10000 + ((static_cast<char32_t>(pendingHighSurrogate_) - 0xD800) << 10) + (ch - 0xDC00);
  }
  pendingHighSurrogate_ = 0;
  if (readOnly_) return;
  if (digitsOnly_ && !((cp >= '0' && cp <= '9') || cp == ',' || cp == '-' || cp == '.')) return;
  InsertCharacter(cp);
}

}  // namespace Vy
