#include "toolkit/button.h"

#include "toolkit/window.h"

namespace Vy {
namespace {

constexpr int kDisabledOpacity = 40;  // percent

}  // namespace

CButton::CButton() : theme_(CThemeRegistry::Instance().Default()) {
  rect_ = {0, 0, 100, 32};
}

void CButton::SetText(const std::string& text) {
  text_ = text;
  InvalidateSelf();
}

void CButton::SetStyle(const std::string& styleText) {
  CStyle style = CStyle::Parse(styleText);
  for (int i : {kStateNormal, kStateFocused, kStateDisabled, kStateChecked}) theme_.styles[i] = style;
  if (!customHover_) {
    CStyle hover = style;
    CStyle pressed = style;
    if (!hoverDisabled_) {
      if (style.Has("background-color")) {
        Color bg = style.GetColor("background-color", {});
        hover.Set("background-color", Shade(bg, 18));
        pressed.Set("background-color", Shade(bg, -22));
      } else {
        hover.Set("background-color", Color{231, 236, 245, 255});
        pressed.Set("background-color", Color{214, 222, 237, 255});
      }
    }
    theme_.styles[kStateHover] = hover;
    theme_.styles[kStatePressed] = pressed;
  }
  theme_.styles[kStateCheckedHover] = theme_.styles[kStateHover];
  theme_.styles[kStateCheckedPressed] = theme_.styles[kStatePressed];
  InvalidateSelf();
}

void CButton::SetHoverStyle(const std::string& styleText) {
  if (!styleText.empty()) {
    theme_.styles[kStateHover] = CStyle::Parse(styleText);
    customHover_ = true;
  } else {
    customHover_ = false;
    hoverDisabled_ = true;
    theme_.styles[kStateHover] = theme_.styles[kStateNormal];
  }
  theme_.styles[kStateCheckedHover] = theme_.styles[kStateHover];
  InvalidateSelf();
}

void CButton::SetTheme(const CTheme& theme) {
  theme_ = theme;
  InvalidateSelf();
}

void CButton::SetFlat(bool flat) {
  flat_ = flat;
  InvalidateSelf();
}

void CButton::SetChecked(bool checked) {
  if (!toggle_ || checked == checked_) return;
  checked_ = checked;
  InvalidateSelf();
}

int CButton::StateIndex() const {
  if (!enabled_) return kStateDisabled;
  if (checked_) return pressed_ ? kStateCheckedPressed : hovered_ ? kStateCheckedHover : kStateChecked;
  return pressed_ ? kStatePressed : hovered_ ? kStateHover : focused_ ? kStateFocused : kStateNormal;
}

void CButton::Paint(CCanvas& canvas) {
  int state = StateIndex();
  const CStyle& style = theme_.ForState(state);
  Color background = style.GetColor("background-color", {220, 220, 220, 255});
  Color border = style.GetColor("border-color", {180, 180, 180, 255});
  // Only real values count for these two, so an integer "border-radius: 6" keeps the default.
  float radius = style.GetReal("border-radius", flat_ ? 0.0f : 4.0f);
  float width = style.GetReal("border-width", flat_ ? 0.0f : 1.0f);
  if (flat_ && state == kStateNormal && !hovered_) width = 0;

  Color under = background;
  if (under.a == 0) {
    CWindow* window = Window();
    under = window ? window->Background() : Color{240, 240, 240, 255};
  }
  Color text = under.a != 0 && IsDark(under) ? Color{255, 255, 255, 255} : Color{13, 24, 44, 255};
  text = style.GetColor("color", text);
  if (!enabled_) {
    // A button that cannot act shows through to what lies under it, whatever its style.
    for (Color* c : {&background, &border, &text}) c->a = static_cast<uint8_t>(c->a * kDisabledOpacity / 100);
  }

  if (background.a != 0) {
    if (radius > 0)
      canvas.FillRoundRect(rect_, radius, background);
    else
      canvas.FillRect(rect_, background);
  }
  if (width > 0) {
    if (radius > 0)
      canvas.DrawRoundRect(rect_, radius, border, width);
    else
      canvas.DrawRect(rect_, border, width);
  }
  if (!text_.empty()) {
    std::string family = style.GetString("font-family", "system");
    int size = style.GetInt("font-size", 14);
    bool bold = style.GetBool("font-weight-bold", false);
    bool italic = style.GetBool("font-style-italic", false);
    Size extent = canvas.MeasureText(text_, family, size, bold, italic);
    canvas.DrawText(
        text_, {rect_.x + (rect_.width - extent.width) / 2, rect_.y + (rect_.height - extent.height) / 2},
        text, family, size, bold, italic);
  }
  if (focused_ && enabled_ && width > 0) {
    Color focus = style.GetColor("focus-color", {0, 120, 215, 255});
    Rect ring{rect_.x + 2, rect_.y + 2, rect_.width - 4, rect_.height - 4};
    if (radius > 0)
      canvas.DrawRoundRect(ring, radius - 2, focus, 1.5f);
    else
      canvas.DrawRect(ring, focus, 1.5f);
  }
}

void CButton::OnEvent(Event& e) {
  bool inside = rect_.Contains(e.x, e.y);
  switch (e.kind) {
    case kMouseMove:
      // A move outside still ends the hover look (the window hands the last hovered control
      // such a move), but is left unhandled unless the button is held.
      if (hovered_ != inside) {
        hovered_ = inside;
        InvalidateSelf();
      }
      if (inside || pressed_) e.handled = true;
      return;
    case kMouseDown:
      if (!inside) return;
      e.handled = true;
      pressed_ = true;
      InvalidateSelf();
      return;
    case kMouseUp: {
      bool wasPressed = pressed_;
      pressed_ = false;
      InvalidateSelf();
      if (!inside) {
        e.handled = wasPressed;
        return;
      }
      if (!wasPressed) return;
      e.handled = true;
      if (toggle_) checked_ = !checked_;
      if (onClick_) onClick_();
      return;
    }
    case kKeyPressed:
    case kKeyReleased: HandleKey(e); return;
    case kFocusGained:
      e.handled = true;
      focused_ = true;
      InvalidateSelf();
      return;
    case kFocusLost:
      e.handled = true;
      pressed_ = false;
      focused_ = false;
      InvalidateSelf();
      return;
    default: return;
  }
}

void CButton::HandleKey(Event& e) {
  // Space presses the focused button and clicks on release, Enter clicks at once, as desktop
  // buttons do.
  if (!enabled_ || (e.key != kKeySpace && e.key != kKeyEnter) || (e.modifiers & (kModControl | kModAlt)))
    return;
  e.handled = true;
  if (e.key == kKeySpace && e.kind == kKeyPressed) {
    pressed_ = true;
    InvalidateSelf();
    return;
  }
  bool click = e.key == kKeyEnter ? e.kind == kKeyPressed : pressed_;
  pressed_ = false;
  InvalidateSelf();
  if (!click) return;
  if (toggle_) checked_ = !checked_;
  if (onClick_) onClick_();
}

}  // namespace Vy
