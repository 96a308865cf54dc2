#pragma once

#include <functional>
#include <string>

#include "toolkit/callback.h"
#include "toolkit/control.h"
#include "toolkit/style.h"

namespace Vy {

// CButton is a push or toggle button drawn from a theme of eight state styles. The mouse
// clicks it, and so do Space and Enter while it has the focus. A disabled button is drawn
// faded, whatever its style.
class CButton : public CControl {
 public:
  CButton();

  template <typename T>
  void OnClick(T* object, void (T::*method)()) {
    onClick_ = Bind(object, method);
  }
  void OnClick(std::function<void()> callback) { onClick_ = std::move(callback); }

  void SetText(const std::string& text);
  const std::string& Text() const { return text_; }
  // SetStyle sets the normal, focused, disabled and checked styles and derives hover and
  // pressed from them unless a custom hover style is set.
  void SetStyle(const std::string& styleText);
  // SetHoverStyle sets a custom hover style; an empty text turns the hover effect off.
  void SetHoverStyle(const std::string& styleText);
  void SetTheme(const CTheme& theme);
  const CTheme& Theme() const { return theme_; }
  void SetFlat(bool flat);
  void SetToggle(bool toggle) { toggle_ = toggle; }
  // SetChecked applies only to toggle buttons.
  void SetChecked(bool checked);
  bool IsChecked() const { return checked_; }
  bool IsPressed() const { return pressed_; }
  bool IsHovered() const { return hovered_; }
  bool IsFocused() const { return focused_; }
  // StateIndex is the theme index of the current look.
  int StateIndex() const;

  void Paint(CCanvas& canvas) override;
  void OnEvent(Event& event) override;
  bool AcceptsFocus() const override { return true; }

 private:
  void HandleKey(Event& event);

  std::string text_;
  CTheme theme_;
  std::function<void()> onClick_;
  bool flat_ = false;
  bool toggle_ = false;
  bool checked_ = false;
  bool hovered_ = false;
  bool pressed_ = false;
  bool focused_ = false;
  bool customHover_ = false;
  bool hoverDisabled_ = false;
};

}  // namespace Vy
