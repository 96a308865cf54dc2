#include "toolkit/window.h"

#include <algorithm>

#include "toolkit/button.h"
#include "toolkit/combobox.h"
#include "toolkit/edit.h"
#include "toolkit/label.h"
#include "toolkit/listview.h"
#include "toolkit/pdfview.h"

namespace Vy {

void CControl::Invalidate(const Rect* area) {
  if (CWindow* window = Window(); window && window != this) window->Invalidate(area);
}

void CControl::SetBounds(const Rect& rect) {
  Invalidate(&rect_);
  rect_ = rect;
  Invalidate(&rect_);
}

void CControl::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Invalidate(&rect_);
}

void CControl::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Invalidate(&rect_);
}

CWindow* CControl::Window() {
  for (CControl* c = this; c; c = c->parent_) {
    if (auto* window = dynamic_cast<CWindow*>(c)) return window;
  }
  return nullptr;
}

CWindow::CWindow() = default;

CWindow::~CWindow() {
  DeletePlatformWindow();
  for (CControl* child : children_) delete child;
}

bool CWindow::Create() {
  if (title_.empty()) title_ = "VyWindow";
  Size size{rect_.width, rect_.height};
  if (size.width < 1 || size.height < 1) size = {800, 600};
  DeletePlatformWindow();
  VyApp* app = VyApp::Current();
  if (!app || !app->Backend()) return false;
  impl_ = app->Backend()->CreateWindowImpl();
  if (!impl_ || !impl_->Create(this, title_, size)) {
    impl_.reset();
    return false;
  }
  return OnInit();
}

void CWindow::DeletePlatformWindow() {
  if (!impl_) return;
  impl_->Detach();
  impl_.reset();
}

void CWindow::Invalidate(const Rect* area) {
  if (impl_) impl_->Invalidate(area);
}

void CWindow::SetTitle(const std::string& title) {
  title_ = title;
  if (impl_) impl_->SetTitle(title);
}

void CWindow::SetBackground(Color color) {
  background_ = color;
  Invalidate();
}

void CWindow::SetResizable(bool resizable) {
  if (impl_) impl_->SetResizable(resizable);
}
void CWindow::SetMinSize(Size size) {
  if (impl_) impl_->SetMinSize(size);
}
void CWindow::SetMaxSize(Size size) {
  if (impl_) impl_->SetMaxSize(size);
}
void CWindow::Show() {
  if (impl_) impl_->Show();
}
void CWindow::CenterOnScreen() {
  if (impl_) impl_->CenterOnScreen();
}
void CWindow::Close() {
  if (impl_) impl_->Close();
}

bool CWindow::SetTimer(unsigned id, unsigned milliseconds) {
  if (id == 0 || milliseconds == 0 || !impl_) return false;
  return impl_->SetTimer(id, milliseconds);
}

void CWindow::KillTimer(unsigned id) {
  if (id != 0 && impl_) impl_->KillTimer(id);
}

void* CWindow::NativeHandle() const {
  return impl_ ? impl_->NativeHandle() : nullptr;
}

template <typename T>
static T* Place(CWindow* window, T* control, const Rect& rect) {
  control->SetBounds(rect);
  window->AddChild(control);
  return control;
}

CLabel* CWindow::AddLabel(const std::string& text, const Rect& rect) {
  auto* label = new CLabel;
  label->SetText(text);
  return Place(this, label, rect);
}

CButton* CWindow::AddButton(const std::string& text, const Rect& rect) {
  auto* button = new CButton;
  button->SetText(text);
  return Place(this, button, rect);
}

CEdit* CWindow::AddEdit(const std::string& text, const Rect& rect) {
  auto* edit = new CEdit;
  edit->SetText(text);
  return Place(this, edit, rect);
}

CComboBox* CWindow::AddComboBox(const std::vector<std::string>& items, const Rect& rect) {
  auto* combo = new CComboBox;
  combo->SetItems(items);
  return Place(this, combo, rect);
}

CListView* CWindow::AddListView(const Rect& rect) {
  return Place(this, new CListView, rect);
}

CPdfView* CWindow::AddPdfView(const Rect& rect) {
  return Place(this, new CPdfView, rect);
}

CControl* CWindow::AddChild(CControl* control) {
  if (!control) return nullptr;
  control->SetParent(this);
  children_.push_back(control);
  Invalidate();
  return control;
}

void CWindow::RemoveChild(CControl* control, bool destroy) {
  auto it = std::find(children_.begin(), children_.end(), control);
  if (it == children_.end()) return;
  children_.erase(it);
  for (CControl** p : {&focused_, &hovered_, &captured_, &overlay_}) {
    if (*p == control) *p = nullptr;
  }
  control->SetParent(nullptr);
  if (destroy) delete control;
  Invalidate();
}

void CWindow::FocusControl(CControl* control) {
  if (control == focused_) return;
  CControl* old = focused_;
  focused_ = control;
  Event e;
  if (old) {
    e.kind = kFocusLost;
    old->OnEvent(e);
  }
  if (control) {
    e = Event();
    e.kind = kFocusGained;
    control->OnEvent(e);
  }
}

std::vector<CControl*> CWindow::TabOrder() const {
  std::vector<CControl*> stops;
  for (CControl* c : children_) {
    if (c->IsVisible() && c->IsEnabled() && c->AcceptsFocus()) stops.push_back(c);
  }
  std::stable_sort(stops.begin(), stops.end(),
                   [](const CControl* a, const CControl* b) { return a->Bounds().y < b->Bounds().y; });
  std::vector<CControl*> ordered;
  for (size_t start = 0; start < stops.size();) {
    const Rect& lead = stops[start]->Bounds();
    size_t end = start + 1;
    while (end < stops.size()) {
      const Rect& r = stops[end]->Bounds();
      int middle = r.y + r.height / 2;
      if (middle < lead.y || middle >= lead.Bottom()) break;
      ++end;
    }
    std::stable_sort(stops.begin() + start, stops.begin() + end,
                     [](const CControl* a, const CControl* b) { return a->Bounds().x < b->Bounds().x; });
    ordered.insert(ordered.end(), stops.begin() + start, stops.begin() + end);
    start = end;
  }
  return ordered;
}

void CWindow::FocusNext(bool backwards) {
  std::vector<CControl*> order = TabOrder();
  if (order.empty()) return;
  auto at = std::find(order.begin(), order.end(), focused_);
  size_t n = order.size(), next;
  if (at == order.end())
    next = backwards ? n - 1 : 0;
  else
    next = (static_cast<size_t>(at - order.begin()) + (backwards ? n - 1 : 1)) % n;
  keyboardFocus_ = true;
  if (order[next] == focused_) {
    Invalidate();
    return;
  }
  FocusControl(order[next]);
  Invalidate();
}

CControl* CWindow::HitTest(int x, int y) const {
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    CControl* c = *it;
    if (c->IsVisible() && c->IsEnabled() && c->IsHitTestVisible() && c->Bounds().Contains(x, y)) return c;
  }
  return nullptr;
}

void CWindow::Dispatch(Event& event) {
  if (event.IsMouse() && overlay_ && overlay_->IsVisible()) {
    event.handled = false;
    overlay_->OnEvent(event);
    if (event.handled) {
      // The release that follows the press opening a drop-down lands on the overlay; it
      // still ends the capture, or the next click would go to the drop-down's owner.
      if (event.kind == kMouseUp) captured_ = nullptr;
      return;
    }
  }
  CControl* target = nullptr;
  if (event.IsMouse()) {
    target = captured_ ? captured_ : HitTest(event.x, event.y);
    if (event.kind == kMouseDown && keyboardFocus_) {
      keyboardFocus_ = false;
      Invalidate();
    }
    if (event.kind == kMouseDown && !captured_ && target) {
      if (target != focused_) {
        CControl* old = focused_;
        focused_ = target;
        if (old) {
          Event lost;
          lost.kind = kFocusLost;
          old->OnEvent(lost);
        }
        Event gained;
        gained.kind = kFocusGained;
        target->OnEvent(gained);
      }
      captured_ = target;
    } else if (event.kind == kMouseUp && captured_) {
      captured_ = nullptr;
    } else if (event.kind == kMouseMove && !captured_) {
      if (hovered_ && hovered_ != target) {
        Event leave = event;
        leave.handled = false;
        hovered_->OnEvent(leave);
      }
      hovered_ = target;
    }
  } else {
    target = focused_;
  }
  event.handled = false;
  if (target) target->OnEvent(event);
  bool tab =
      event.kind == kKeyPressed && event.key == kKeyTab && !(event.modifiers & (kModControl | kModAlt));
  if (tab && !event.handled) {
    event.handled = true;
    FocusNext(event.modifiers & kModShift);
    return;
  }
  if (!target || !event.handled) DeliverToWindow(event);
}

void CWindow::DeliverToWindow(const Event& e) {
  Point p{e.x, e.y};
  switch (e.kind) {
    case kMouseMove: OnMouseMove(e.modifiers, p); break;
    case kMouseDown:
      if (e.button == kLeftButton)
        OnMouseDown(e.modifiers, p);
      else
        OnRightMouseDown(e.modifiers, p);
      break;
    case kMouseUp:
      if (e.button == kLeftButton)
        OnMouseUp(e.modifiers, p);
      else
        OnRightMouseUp(e.modifiers, p);
      break;
    case kDoubleClick: OnDoubleClick(e.modifiers, p); break;
    case kWheel: OnMouseWheel(e.modifiers, e.wheelSteps, p); break;
    case kKeyPressed: OnKeyDown(e.key, e.modifiers); break;
    case kKeyReleased: OnKeyUp(e.key, e.modifiers); break;
    case kCharacter: OnChar(e.key); break;
    case kFocusGained: OnFocus(); break;
    case kFocusLost: OnBlur(); break;
  }
}

void CWindow::PaintWindow(CCanvas& canvas) {
  Rect whole{-1, -1, rect_.width + 2, rect_.height + 2};
  canvas.FillRect(whole, background_);
  Paint(canvas);
  for (CControl* child : children_) {
    if (!child->IsVisible() || child->IsOverlay()) continue;
    canvas.Save();
    canvas.SetClip(child->Bounds());
    child->Paint(canvas);
    canvas.Restore();
  }
  for (CControl* child : children_) {
    if (!child->IsVisible() || !child->IsOverlay()) continue;
    canvas.Save();
    canvas.SetClip(whole);
    child->Paint(canvas);
    canvas.Restore();
  }
}

void CWindow::HandleSize(Size size) {
  rect_ = {0, 0, size.width, size.height};
  OnSize(size);
  Invalidate();
}

void CWindow::HandleDestroyed() {
  OnDestroy();
  Ended();
}

void CWindow::Ended() {
  if (VyApp* app = VyApp::Current()) app->Quit(0);
}

CDialog::CDialog(CWindow* parent) : parentWindow_(parent) {
  dialog_ = true;
  title_ = "Dialog";
  SetClientSize({400, 300});
}

int CDialog::ShowModal() {
  done_ = false;
  result_ = 0;
  if (!Create()) {
    DeletePlatformWindow();
    return -1;
  }
  CenterOnScreen();
  Show();
  if (VyApp* app = VyApp::Current(); app && app->Backend()) app->Backend()->RunModal(&done_);
  DeletePlatformWindow();
  if (parentWindow_) parentWindow_->Invalidate();
  return result_;
}

void CDialog::EndDialog(int result) {
  result_ = result;
  if (Impl()) Impl()->Destroy();
  done_ = true;
}

}  // namespace Vy
