#pragma once

#include "toolkit/canvas.h"
#include "toolkit/event.h"
#include "toolkit/types.h"

namespace Vy {

class CWindow;

// CControl is the base of everything drawn and receiving input. Controls are created with
// new and owned by their window; coordinates are the window's client pixels.
class CControl {
 public:
  CControl() = default;
  virtual ~CControl() = default;
  CControl(const CControl&) = delete;
  CControl& operator=(const CControl&) = delete;

  // Paint draws in window coordinates.
  virtual void Paint(CCanvas& canvas) { (void)canvas; }
  // OnEvent sets event.handled when it consumed the event.
  virtual void OnEvent(Event& event) { (void)event; }
  // Invalidate asks the control's window to repaint `area` (the whole window when null).
  virtual void Invalidate(const Rect* area = nullptr);
  virtual bool IsHitTestVisible() const { return true; }
  // AcceptsFocus is true for controls that Tab stops at (while visible and enabled).
  virtual bool AcceptsFocus() const { return false; }
  virtual bool IsOverlay() const { return false; }

  const Rect& Bounds() const { return rect_; }
  void SetBounds(const Rect& rect);
  bool IsVisible() const { return visible_; }
  void SetVisible(bool visible);
  bool IsEnabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  CControl* Parent() const { return parent_; }
  void SetParent(CControl* parent) { parent_ = parent; }
  // Window is the first CWindow up the parent chain (this control when it is one), or null.
  CWindow* Window();

 protected:
  // InvalidateSelf repaints the control's own rectangle.
  void InvalidateSelf() { Invalidate(&rect_); }

  Rect rect_;
  bool visible_ = true;
  bool enabled_ = true;
  CControl* parent_ = nullptr;
};

}  // namespace Vy
