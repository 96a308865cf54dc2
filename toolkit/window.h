#pragma once

#include <memory>
#include <string>
#include <vector>

#include "toolkit/app.h"
#include "toolkit/control.h"

namespace Vy {

class CLabel;
class CButton;
class CEdit;
class CComboBox;
class CListView;
class CPdfView;

// CWindow is a top-level window: it owns a platform window and a flat list of child controls,
// routes input among them and paints them.
class CWindow : public CControl {
 public:
  CWindow();
  ~CWindow() override;

  // Create opens the platform window (an empty title becomes "VyWindow", a size below 1 x 1
  // becomes 800 x 600) and returns OnInit's result; false, with no platform window, when the
  // platform window cannot be made.
  bool Create();

  virtual bool OnInit() { return true; }
  // OnClose returning false keeps the window open.
  virtual bool OnClose() { return true; }
  virtual void OnDestroy() {}
  virtual void OnTimer(unsigned id) { (void)id; }
  virtual void OnSize(Size size) { (void)size; }
  virtual void OnMove(Point point) { (void)point; }
  virtual void OnMouseDown(uint32_t modifiers, Point point) { (void)modifiers, (void)point; }
  virtual void OnMouseUp(uint32_t modifiers, Point point) { (void)modifiers, (void)point; }
  virtual void OnRightMouseDown(uint32_t modifiers, Point point) { (void)modifiers, (void)point; }
  virtual void OnRightMouseUp(uint32_t modifiers, Point point) { (void)modifiers, (void)point; }
  virtual void OnMouseMove(uint32_t modifiers, Point point) { (void)modifiers, (void)point; }
  virtual void OnMouseWheel(uint32_t modifiers, int steps, Point point) {
    (void)modifiers, (void)steps, (void)point;
  }
  virtual void OnDoubleClick(uint32_t modifiers, Point point) { (void)modifiers, (void)point; }
  virtual void OnKeyDown(uint16_t key, uint32_t modifiers) { (void)key, (void)modifiers; }
  virtual void OnKeyUp(uint16_t key, uint32_t modifiers) { (void)key, (void)modifiers; }
  virtual void OnChar(uint16_t character) { (void)character; }
  virtual void OnFocus() {}
  virtual void OnBlur() {}

  void Invalidate(const Rect* area = nullptr) override;

  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title);
  Color Background() const { return background_; }
  void SetBackground(Color color);
  // Initial client size used by Create.
  void SetClientSize(Size size) { rect_.width = size.width, rect_.height = size.height; }
  bool IsDialog() const { return dialog_; }

  void SetResizable(bool resizable);
  void SetMinSize(Size size);
  void SetMaxSize(Size size);
  void Show();
  void CenterOnScreen();
  void Close();
  bool SetTimer(unsigned id, unsigned milliseconds);
  void KillTimer(unsigned id);
  // Update paints what is pending now (see CWindowImpl::Update).
  void Update() {
    if (impl_) impl_->Update();
  }
  void* NativeHandle() const;
  CWindowImpl* Impl() const { return impl_.get(); }

  CLabel* AddLabel(const std::string& text, const Rect& rect);
  CButton* AddButton(const std::string& text, const Rect& rect);
  CEdit* AddEdit(const std::string& text, const Rect& rect);
  CComboBox* AddComboBox(const std::vector<std::string>& items, const Rect& rect);
  CListView* AddListView(const Rect& rect);
  CPdfView* AddPdfView(const Rect& rect);
  // AddChild takes ownership; a null control is ignored.
  CControl* AddChild(CControl* control);
  // RemoveChild forgets every pointer to the control and deletes it when `destroy` is set.
  void RemoveChild(CControl* control, bool destroy);
  const std::vector<CControl*>& Children() const { return children_; }

  void SetOverlay(CControl* control) { overlay_ = control; }
  CControl* Overlay() const { return overlay_; }
  // SetFocus moves the focus without sending focus events.
  void SetFocus(CControl* control) { focused_ = control; }
  // FocusControl moves the focus and tells the old and the new control, as a click would.
  void FocusControl(CControl* control);
  CControl* Focused() const { return focused_; }
  // TabOrder lists the visible, enabled children that take the focus, in reading order: rows
  // from the top (a control whose middle lies within the height of a row's first control
  // joins that row), each row from the left.
  std::vector<CControl*> TabOrder() const;
  // FocusNext moves the focus to the next control of TabOrder (the previous one when
  // `backwards`), wrapping around. Tab and Shift+Tab that the focused control leaves unhandled
  // do this.
  void FocusNext(bool backwards);
  // KeyboardFocus is true while the focus was last moved from the keyboard, not by a click:
  // controls that always hold the focus show it only then.
  bool KeyboardFocus() const { return keyboardFocus_; }
  CControl* Hovered() const { return hovered_; }
  CControl* Captured() const { return captured_; }
  // HitTest gives the topmost visible, enabled, hit-test-visible child containing the point.
  CControl* HitTest(int x, int y) const;

  // Entry points for the platform window.
  void Dispatch(Event& event);
  // PaintWindow paints the background, the window, its children and then the overlays onto a
  // canvas of the client size.
  void PaintWindow(CCanvas& canvas);
  void HandleSize(Size size);
  // HandleDestroyed runs after the native window is gone: OnDestroy, then, for a main window,
  // Quit(0) on the current application.
  void HandleDestroyed();

 protected:
  // DeletePlatformWindow deletes the platform window, destroying the native window.
  void DeletePlatformWindow();

  std::string title_;
  Color background_{240, 240, 240, 255};
  bool dialog_ = false;

 private:
  friend class CDialog;
  void DeliverToWindow(const Event& event);
  // Ended runs after OnDestroy; a dialog ends its modal loop there.
  virtual void Ended();

  std::vector<CControl*> children_;
  std::unique_ptr<CWindowImpl> impl_;
  CControl* focused_ = nullptr;
  CControl* hovered_ = nullptr;
  CControl* captured_ = nullptr;
  CControl* overlay_ = nullptr;
  bool keyboardFocus_ = false;
};

// CDialog is a window shown modally over a parent window, with a result code.
class CDialog : public CWindow {
 public:
  explicit CDialog(CWindow* parent = nullptr);

  // ShowModal returns the result given to EndDialog, 0 when closed otherwise, or -1 when the
  // dialog cannot be created.
  int ShowModal();
  void EndDialog(int result);

  CWindow* ParentWindow() const { return parentWindow_; }
  int Result() const { return result_; }

 private:
  // The done flag is set here rather than in OnDestroy, so a dialog overriding OnDestroy
  // cannot leave its modal loop running.
  void Ended() override { done_ = true; }

  CWindow* parentWindow_;
  int result_ = 0;
  bool done_ = false;
};

}  // namespace Vy
