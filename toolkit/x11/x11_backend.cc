#include "toolkit/x11/x11_backend.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/text.h"
#include "toolkit/cairo/cairo_canvas.h"
#include "toolkit/window.h"
#include "toolkit/x11/x11_frame.h"

namespace Vy {
namespace {

using Clock = std::chrono::steady_clock;

// Double clicks: the second press within this time and distance of the first (the usual
// desktop defaults of 500 ms and a 4-pixel box).
constexpr Time kDoubleClickMs = 500;
constexpr int kDoubleClickSlop = 2;

// Xlib's default error handler ends the process; a request that races with a window going
// away (focus on an unmapped window, for instance) must not take the program with it.
int IgnoreXError(Display*, XErrorEvent* error) {
  std::fprintf(stderr, "vy x11: error de X ignorado (codigo %d, peticion %d)\n", error->error_code,
               error->request_code);
  return 0;
}

uint16_t ToolkitKey(KeySym sym) {
  switch (sym) {
    case XK_BackSpace: return kKeyBackspace;
    case XK_Tab:
    case XK_ISO_Left_Tab: return kKeyTab;
    case XK_Return:
    case XK_KP_Enter: return kKeyEnter;
    case XK_Escape: return kKeyEscape;
    case XK_Delete:
    case XK_KP_Delete: return kKeyDelete;
    case XK_Up:
    case XK_KP_Up: return kKeyUp;
    case XK_Down:
    case XK_KP_Down: return kKeyDown;
    case XK_Left:
    case XK_KP_Left: return kKeyLeft;
    case XK_Right:
    case XK_KP_Right: return kKeyRight;
    case XK_Home:
    case XK_KP_Home: return kKeyHome;
    case XK_End:
    case XK_KP_End: return kKeyEnd;
    case XK_Prior:
    case XK_KP_Prior: return kKeyPageUp;
    case XK_Next:
    case XK_KP_Next: return kKeyPageDown;
    case XK_Shift_L:
    case XK_Shift_R: return kKeyShift;
    case XK_Control_L:
    case XK_Control_R: return kKeyControl;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R: return kKeyAlt;
    case XK_Super_L:
    case XK_Super_R: return kKeySuper;
    case XK_space: return kKeySpace;
    case XK_plus:
    case XK_equal:  // "+" without Shift on a US keyboard
    case XK_KP_Add: return kKeyPlus;
    case XK_minus:
    case XK_KP_Subtract: return kKeyMinus;
    case XK_0:
    case XK_KP_0:
    case XK_KP_Insert: return kKey0;
    default:
      if (sym >= XK_F1 && sym <= XK_F12) return static_cast<uint16_t>(kKeyF1 + (sym - XK_F1));
      return 0;
  }
}

uint32_t Modifiers(unsigned state) {
  uint32_t mask = 0;
  if (state & ShiftMask) mask |= kModShift;
  if (state & ControlMask) mask |= kModControl;
  if (state & Mod1Mask) mask |= kModAlt;
  if (state & Mod4Mask) mask |= kModSuper;
  return mask;
}

// KeysymText is the text of a key without an input method: Latin-1 and Unicode keysyms.
std::string KeysymText(KeySym sym, const char* bytes, int length) {
  std::string text;
  if (length == 1 && static_cast<unsigned char>(bytes[0]) < 0x80) {
    text.assign(bytes, 1);  // ASCII, control characters included (Backspace, Control+A)
  } else if ((sym >= 0x20 && sym <= 0x7e) || (sym >= 0xa0 && sym <= 0xff)) {
    AppendUtf8(&text, static_cast<char32_t>(sym));
  } else if ((sym & 0xff000000) == 0x01000000 && (sym & 0x00ffffff) <= 0x10ffff) {
    AppendUtf8(&text, static_cast<char32_t>(sym & 0x00ffffff));
  }
  return text;
}

bool IsUtf8Locale(const char* name) {
  if (!name) return false;
  std::string lower = AsciiLower(name);
  return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

class CX11WindowImpl;

class CX11App : public CAppBackend {
 public:
  CX11App(Display* display, FrameStyle frames);
  ~CX11App() override;

  int Run() override;
  void Quit(int code) override;
  void RunModal(bool* done) override;
  std::unique_ptr<CWindowImpl> CreateWindowImpl() override;
  void Post(std::function<void()> task) override;

  Display* display() const { return display_; }
  XIM im() const { return im_; }
  FrameStyle frames() const { return frames_; }
  Atom atom(const char* name) { return XInternAtom(display_, name, False); }
  void Register(Window window, CX11WindowImpl* impl) { windows_[window] = impl; }
  void Unregister(Window window) { windows_.erase(window); }
  void SetTimer(CX11WindowImpl* window, unsigned id, unsigned ms);
  void KillTimer(CX11WindowImpl* window, unsigned id);
  void KillTimers(CX11WindowImpl* window);

 private:
  struct Timer {
    CX11WindowImpl* window;
    unsigned id;
    unsigned interval;
    Clock::time_point due;
  };

  // Loop handles events, timers and paints until Quit or, when given, until *done.
  void Loop(const bool* done);
  void Handle(XEvent& event);
  void FireDueTimers();
  void PaintDirty();
  int WaitMilliseconds() const;
  // RunPosted runs the tasks posted so far, once the wake-up pipe was emptied.
  void RunPosted();

  Display* display_;
  FrameStyle frames_;
  XIM im_ = nullptr;
  XErrorHandler previousHandler_;
  std::map<Window, CX11WindowImpl*> windows_;
  std::vector<Timer> timers_;
  bool quit_ = false;
  int exitCode_ = 0;
  // Posted tasks, and a pipe whose byte wakes the loop's poll from another thread.
  std::mutex postMutex_;
  std::deque<std::function<void()>> posted_;
  int wake_[2] = {-1, -1};
};

class CX11WindowImpl : public CWindowImpl {
 public:
  explicit CX11WindowImpl(CX11App* app) : app_(app) {}
  ~CX11WindowImpl() override;

  bool Create(CWindow* owner, const std::string& title, Size clientSize) override;
  void Show() override;
  void Hide() override;
  void Close() override;
  void Destroy() override;
  void Invalidate(const Rect*) override { dirty_ = window_ != 0; }
  void SetTitle(const std::string& title) override;
  void SetResizable(bool resizable) override;
  void SetMinSize(Size size) override;
  void SetMaxSize(Size size) override;
  void CenterOnScreen() override;
  void* NativeHandle() const override { return reinterpret_cast<void*>(static_cast<uintptr_t>(window_)); }
  bool SetTimer(unsigned id, unsigned milliseconds) override;
  void KillTimer(unsigned id) override;
  void Detach() override { owner_ = nullptr; }
  void Update() override {
    if (NeedsPaint()) Paint();
    if (window_) XFlush(display());
  }

  void HandleEvent(XEvent& event);
  void Tick(unsigned id) {
    if (owner_) owner_->OnTimer(id);
  }
  bool NeedsPaint() const { return dirty_ && mapped_ && window_; }
  void Paint();
  void PaintThroughImage();

 private:
  Display* display() const { return app_->display(); }
  void ReleaseNative();
  void UpdateSizeHints();
  void Send(Event& event);
  void SendLeave();
  void HandleKey(XKeyEvent& key);
  void HandleButton(XButtonEvent& button, bool press);

  CX11App* app_;
  CWindow* owner_ = nullptr;
  Window window_ = 0;
  XIC ic_ = nullptr;
  Pixmap buffer_ = 0;
  Size bufferSize_;
  std::unique_ptr<CX11Frame> frame_;  // the window's pixels, on the usual visual
  Size size_;
  Point position_{-1, -1};
  Size minSize_{200, 150};
  Size maxSize_{10000, 10000};
  bool resizable_ = true;
  bool dirty_ = false;
  bool mapped_ = false;
  bool focusedOnce_ = false;
  bool pointerInside_ = false;
  bool leaveAfterRelease_ = false;
  Time lastPressTime_ = 0;
  int lastPressX_ = 0;
  int lastPressY_ = 0;
  bool lastPressWasDouble_ = false;
};

CX11App::CX11App(Display* display, FrameStyle frames) : display_(display), frames_(frames) {
  previousHandler_ = XSetErrorHandler(IgnoreXError);
  im_ = XOpenIM(display_, nullptr, nullptr, nullptr);
  if (!im_) {
    // The input method named by XMODIFIERS is not running: use Xlib's own (compose keys).
    XSetLocaleModifiers("@im=none");
    im_ = XOpenIM(display_, nullptr, nullptr, nullptr);
  }
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
}

CX11App::~CX11App() {
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
  if (im_) XCloseIM(im_);
  XCloseDisplay(display_);
  XSetErrorHandler(previousHandler_);
}

int CX11App::Run() {
  if (!quit_) exitCode_ = 0;
  Loop(nullptr);
  quit_ = false;  // the request is used up, as a quit message would be
  return exitCode_;
}

void CX11App::Quit(int code) {
  exitCode_ = code;
  quit_ = true;
}

void CX11App::RunModal(bool* done) {
  Loop(done);
  *done = true;
}

std::unique_ptr<CWindowImpl> CX11App::CreateWindowImpl() {
  return std::make_unique<CX11WindowImpl>(this);
}

void CX11App::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(postMutex_);
    posted_.push_back(std::move(task));
  }
  // A full pipe already holds a wake-up; nothing is lost when this write fails.
  if (wake_[1] >= 0 && write(wake_[1], "x", 1) < 0) return;
}

void CX11App::RunPosted() {
  char drain[64];
  while (wake_[0] >= 0 && read(wake_[0], drain, sizeof drain) > 0) {
  }
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> lock(postMutex_);
    tasks.swap(posted_);
  }
  for (auto& task : tasks) task();
}

void CX11App::SetTimer(CX11WindowImpl* window, unsigned id, unsigned ms) {
  KillTimer(window, id);
  timers_.push_back({window, id, ms, Clock::now() + std::chrono::milliseconds(ms)});
}

void CX11App::KillTimer(CX11WindowImpl* window, unsigned id) {
  std::erase_if(timers_, [&](const Timer& t) { return t.window == window && t.id == id; });
}

void CX11App::KillTimers(CX11WindowImpl* window) {
  std::erase_if(timers_, [&](const Timer& t) { return t.window == window; });
}

void CX11App::Loop(const bool* done) {
  auto finished = [&] { return quit_ || (done && *done); };
  int fd = ConnectionNumber(display_);
  while (!finished()) {
    while (XPending(display_) && !finished()) {
      XEvent event;
      XNextEvent(display_, &event);
      Handle(event);
    }
    if (finished()) break;
    RunPosted();
    if (finished()) break;
    FireDueTimers();
    if (finished()) break;
    PaintDirty();
    XFlush(display_);
    if (XPending(display_)) continue;
    pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    poll(p, wake_[0] >= 0 ? 2 : 1, WaitMilliseconds());
  }
  XFlush(display_);
}

void CX11App::Handle(XEvent& event) {
  if (XFilterEvent(&event, None)) return;
  if (event.type == MappingNotify) {
    XRefreshKeyboardMapping(&event.xmapping);
    return;
  }
  auto it = windows_.find(event.xany.window);
  if (it != windows_.end()) it->second->HandleEvent(event);
}

void CX11App::FireDueTimers() {
  Clock::time_point now = Clock::now();
  std::vector<std::pair<CX11WindowImpl*, unsigned>> due;
  for (Timer& t : timers_) {
    if (t.due > now) continue;
    due.emplace_back(t.window, t.id);
    t.due += std::chrono::milliseconds(t.interval);
    if (t.due <= now) t.due = now + std::chrono::milliseconds(t.interval);  // late: no burst of ticks
  }
  for (auto [window, id] : due) {
    // A tick may kill other timers or destroy windows: deliver only to timers still running.
    bool alive = std::any_of(timers_.begin(), timers_.end(),
                             [&](const Timer& t) { return t.window == window && t.id == id; });
    if (alive) window->Tick(id);
    if (quit_) return;
  }
}

void CX11App::PaintDirty() {
  std::vector<CX11WindowImpl*> dirty;
  for (auto& [window, impl] : windows_) {
    if (impl->NeedsPaint()) dirty.push_back(impl);
  }
  for (CX11WindowImpl* impl : dirty) {
    if (std::any_of(windows_.begin(), windows_.end(),
                    [&](const auto& entry) { return entry.second == impl; })) {
      impl->Paint();
    }
  }
}

int CX11App::WaitMilliseconds() const {
  if (timers_.empty()) return -1;
  Clock::time_point next = timers_.front().due;
  for (const Timer& t : timers_) next = std::min(next, t.due);
  auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(wait + 1, 0, 60000));
}

CX11WindowImpl::~CX11WindowImpl() {
  ReleaseNative();
}

bool CX11WindowImpl::Create(CWindow* owner, const std::string& title, Size clientSize) {
  if (!owner || window_) return false;
  Display* d = display();
  int screen = DefaultScreen(d);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;  // painted whole from the buffer: no flashing
  attributes.bit_gravity = NorthWestGravity;
  attributes.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | KeyReleaseMask |
                          ButtonPressMask | ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                          LeaveWindowMask | FocusChangeMask;
  window_ = XCreateWindow(d, RootWindow(d, screen), 0, 0, std::max(clientSize.width, 1),
                          std::max(clientSize.height, 1), 0, CopyFromParent, InputOutput, CopyFromParent,
                          CWBackPixmap | CWBitGravity | CWEventMask, &attributes);
  if (!window_) return false;
  owner_ = owner;
  size_ = clientSize;
  app_->Register(window_, this);

  Atom deleteWindow = app_->atom("WM_DELETE_WINDOW");
  XSetWMProtocols(d, window_, &deleteWindow, 1);
  SetTitle(title);
  // Top-level-only frames make every dialog an ordinary window of its own, as the voting
  // program has them on every desktop.
  if (owner->IsDialog() && app_->frames() == FrameStyle::kStandard) {
    auto* dialog = static_cast<CDialog*>(owner);
    if (CWindow* parent = dialog->ParentWindow(); parent && parent->NativeHandle()) {
      XSetTransientForHint(d, window_,
                           static_cast<Window>(reinterpret_cast<uintptr_t>(parent->NativeHandle())));
    }
    Atom type = app_->atom("_NET_WM_WINDOW_TYPE_DIALOG");
    XChangeProperty(d, window_, app_->atom("_NET_WM_WINDOW_TYPE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&type), 1);
    Atom modal = app_->atom("_NET_WM_STATE_MODAL");
    XChangeProperty(d, window_, app_->atom("_NET_WM_STATE"), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&modal), 1);
  }
  UpdateSizeHints();
  if (app_->im()) {
    ic_ = XCreateIC(app_->im(), XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, window_,
                    XNFocusWindow, window_, nullptr);
    if (ic_) {
      long filterMask = 0;
      XGetICValues(ic_, XNFilterEvents, &filterMask, nullptr);
      XSelectInput(d, window_, attributes.event_mask | filterMask);
    }
  }
  owner_->HandleSize(size_);
  return true;
}

void CX11WindowImpl::ReleaseNative() {
  if (!window_) return;
  app_->KillTimers(this);
  app_->Unregister(window_);
  if (ic_) XDestroyIC(ic_);
  ic_ = nullptr;
  if (buffer_) XFreePixmap(display(), buffer_);
  buffer_ = 0;
  frame_.reset();
  XDestroyWindow(display(), window_);
  XFlush(display());
  window_ = 0;
  mapped_ = false;
}

void CX11WindowImpl::Show() {
  if (!window_) return;
  XMapRaised(display(), window_);
  dirty_ = true;
}

void CX11WindowImpl::Hide() {
  if (window_) XUnmapWindow(display(), window_);
}

void CX11WindowImpl::Close() {
  if (!window_) return;
  // The close request travels like the window manager's, so OnClose decides later.
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window_;
  event.xclient.message_type = app_->atom("WM_PROTOCOLS");
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(app_->atom("WM_DELETE_WINDOW"));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display(), window_, False, NoEventMask, &event);
}

void CX11WindowImpl::Destroy() {
  if (!window_) return;
  ReleaseNative();
  if (CWindow* owner = owner_) owner->HandleDestroyed();  // may delete this object: nothing after
}

void CX11WindowImpl::SetTitle(const std::string& title) {
  if (!window_) return;
  Display* d = display();
  XChangeProperty(d, window_, app_->atom("_NET_WM_NAME"), app_->atom("UTF8_STRING"), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
  Xutf8SetWMProperties(d, window_, title.c_str(), title.c_str(), nullptr, 0, nullptr, nullptr, nullptr);
}

void CX11WindowImpl::SetResizable(bool resizable) {
  resizable_ = resizable;
  UpdateSizeHints();
}

void CX11WindowImpl::SetMinSize(Size size) {
  minSize_ = size;
  UpdateSizeHints();
}

void CX11WindowImpl::SetMaxSize(Size size) {
  maxSize_ = size;
  UpdateSizeHints();
}

void CX11WindowImpl::UpdateSizeHints() {
  if (!window_) return;
  XSizeHints* hints = XAllocSizeHints();
  if (!hints) return;
  hints->flags = PMinSize | PMaxSize;
  if (resizable_) {
    hints->min_width = std::max(minSize_.width, 1);
    hints->min_height = std::max(minSize_.height, 1);
    hints->max_width = std::max(maxSize_.width, 1);
    hints->max_height = std::max(maxSize_.height, 1);
  } else {
    hints->min_width = hints->max_width = size_.width;
    hints->min_height = hints->max_height = size_.height;
  }
  if (position_.x >= 0) {
    hints->flags |= PPosition | USPosition;
    hints->x = position_.x;
    hints->y = position_.y;
  }
  XSetWMNormalHints(display(), window_, hints);
  XFree(hints);
}

void CX11WindowImpl::CenterOnScreen() {
  if (!window_) return;
  Display* d = display();
  int screen = DefaultScreen(d);
  position_ = {std::max((DisplayWidth(d, screen) - size_.width) / 2, 0),
               std::max((DisplayHeight(d, screen) - size_.height) / 2, 0)};
  XMoveWindow(d, window_, position_.x, position_.y);
  UpdateSizeHints();
}

bool CX11WindowImpl::SetTimer(unsigned id, unsigned milliseconds) {
  if (!window_ || id == 0 || milliseconds == 0) return false;
  app_->SetTimer(this, id, milliseconds);
  return true;
}

void CX11WindowImpl::KillTimer(unsigned id) {
  if (window_ && id != 0) app_->KillTimer(this, id);
}

void CX11WindowImpl::Paint() {
  if (!window_ || !owner_ || size_.width < 1 || size_.height < 1) return;
  Display* d = display();
  int screen = DefaultScreen(d);
  if (CX11Frame::Usable(d)) {
    PaintThroughImage();
    return;
  }
  if (!buffer_ || !(bufferSize_ == size_)) {
    if (buffer_) XFreePixmap(d, buffer_);
    buffer_ = XCreatePixmap(d, window_, size_.width, size_.height, DefaultDepth(d, screen));
    bufferSize_ = size_;
  }
  cairo_surface_t* surface =
      cairo_xlib_surface_create(d, buffer_, DefaultVisual(d, screen), size_.width, size_.height);
  cairo_t* cr = cairo_create(surface);
  dirty_ = false;
  {
    CCairoCanvas canvas(cr);
    owner_->PaintWindow(canvas);
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  if (window_) XCopyArea(d, buffer_, window_, DefaultGC(d, screen), 0, 0, size_.width, size_.height, 0, 0);
}

void CX11WindowImpl::PaintThroughImage() {
  // The window is drawn in this process with pixman and sent as one image: drawing through the
  // X server would make it composite every text run and scale every page raster itself.
  if (!frame_) frame_ = std::make_unique<CX11Frame>(display());
  cairo_surface_t* surface = frame_->Surface(size_.width, size_.height);
  if (!surface) return;
  cairo_t* cr = cairo_create(surface);
  dirty_ = false;
  {
    CCairoCanvas canvas(cr);
    owner_->PaintWindow(canvas);
  }
  cairo_destroy(cr);
  if (window_) frame_->Show(window_);  // unless the paint closed the window
}

void CX11WindowImpl::Send(Event& event) {
  if (!owner_) return;
  event.handled = false;
  owner_->Dispatch(event);
}

void CX11WindowImpl::SendLeave() {
  pointerInside_ = false;
  leaveAfterRelease_ = false;
  Event event;
  event.kind = kMouseMove;
  event.x = event.y = -9999;
  Send(event);
}

void CX11WindowImpl::HandleEvent(XEvent& e) {
  switch (e.type) {
    case Expose:
      if (e.xexpose.count == 0) dirty_ = true;
      return;
    case MapNotify:
      mapped_ = true;
      dirty_ = true;
      if (!focusedOnce_) {
        focusedOnce_ = true;
        XSetInputFocus(display(), window_, RevertToParent, CurrentTime);
      }
      return;
    case UnmapNotify: mapped_ = false; return;
    case ConfigureNotify: {
      Size size{e.xconfigure.width, e.xconfigure.height};
      Point position{e.xconfigure.x, e.xconfigure.y};
      if (!e.xconfigure.send_event) {
        Window child;
        XTranslateCoordinates(display(), window_, DefaultRootWindow(display()), 0, 0, &position.x,
                              &position.y, &child);
      }
      if (!(size == size_)) {
        size_ = size;
        if (owner_) owner_->HandleSize(size);
        dirty_ = true;
      }
      if (owner_ && (position.x != position_.x || position.y != position_.y)) {
        position_ = position;
        owner_->OnMove(position);
      }
      return;
    }
    case FocusIn:
    case FocusOut: {
      if (e.xfocus.mode == NotifyGrab || e.xfocus.mode == NotifyUngrab || e.xfocus.detail == NotifyPointer ||
          e.xfocus.detail == NotifyInferior) {
        return;
      }
      bool in = e.type == FocusIn;
      if (ic_) in ? XSetICFocus(ic_) : XUnsetICFocus(ic_);
      Event event;
      event.kind = in ? kFocusGained : kFocusLost;
      Send(event);
      return;
    }
    case KeyPress:
    case KeyRelease: HandleKey(e.xkey); return;
    case ButtonPress:
    case ButtonRelease: HandleButton(e.xbutton, e.type == ButtonPress); return;
    case MotionNotify: {
      // Only the latest position of a burst of motion matters.
      while (XCheckTypedWindowEvent(display(), window_, MotionNotify, &e)) {
      }
      pointerInside_ = true;
      Event event;
      event.kind = kMouseMove;
      event.x = e.xmotion.x;
      event.y = e.xmotion.y;
      event.modifiers = Modifiers(e.xmotion.state);
      Send(event);
      return;
    }
    case EnterNotify:
      pointerInside_ = true;
      leaveAfterRelease_ = false;
      return;
    case LeaveNotify:
      if (e.xcrossing.detail == NotifyInferior || !pointerInside_) return;
      // While a button is held the control under the press keeps the mouse; the hover ends
      // when it is released outside.
      if (e.xcrossing.state & (Button1Mask | Button3Mask)) {
        leaveAfterRelease_ = true;
      } else {
        SendLeave();
      }
      return;
    case ClientMessage:
      if (e.xclient.message_type == app_->atom("WM_PROTOCOLS") &&
          static_cast<Atom>(e.xclient.data.l[0]) == app_->atom("WM_DELETE_WINDOW")) {
        if (owner_ && owner_->OnClose()) Destroy();
      }
      return;
    default: return;
  }
}

void CX11WindowImpl::HandleKey(XKeyEvent& key) {
  Event event;
  event.modifiers = Modifiers(key.state);
  if (key.type == KeyRelease) {
    // Auto-repeat shows as release + press at the same time; a held key only repeats presses.
    if (XEventsQueued(display(), QueuedAfterReading)) {
      XEvent next;
      XPeekEvent(display(), &next);
      if (next.type == KeyPress && next.xkey.time == key.time && next.xkey.keycode == key.keycode) return;
    }
    char bytes[8];
    KeySym sym = NoSymbol;
    XLookupString(&key, bytes, sizeof bytes, &sym, nullptr);
    event.kind = kKeyReleased;
    event.key = ToolkitKey(sym);
    Send(event);
    return;
  }
  std::string text;
  KeySym sym = NoSymbol;
  if (ic_) {
    std::vector<char> buffer(64);
    Status status = 0;
    int length = Xutf8LookupString(ic_, &key, buffer.data(), static_cast<int>(buffer.size()), &sym, &status);
    if (status == XBufferOverflow) {
      buffer.resize(length + 1);
      length = Xutf8LookupString(ic_, &key, buffer.data(), static_cast<int>(buffer.size()), &sym, &status);
    }
    if (status == XLookupChars || status == XLookupBoth) text.assign(buffer.data(), length);
    if (status != XLookupKeySym && status != XLookupBoth) sym = NoSymbol;
  } else {
    char bytes[32];
    int length = XLookupString(&key, bytes, sizeof bytes, &sym, nullptr);
    text = KeysymText(sym, bytes, length);
  }
  event.kind = kKeyPressed;
  event.key = ToolkitKey(sym);
  Send(event);
  for (char16_t unit : Utf8ToUtf16(text)) {
    if (!window_) return;  // a handler closed the window
    Event character;
    character.kind = kCharacter;
    character.key = unit;
    character.modifiers = event.modifiers;
    Send(character);
  }
}

void CX11WindowImpl::HandleButton(XButtonEvent& b, bool press) {
  Event event;
  event.x = b.x;
  event.y = b.y;
  event.modifiers = Modifiers(b.state);
  if (b.button == Button4 || b.button == Button5) {
    if (!press) return;
    event.kind = kWheel;
    event.wheelSteps = b.button == Button4 ? 1 : -1;
    Send(event);
    return;
  }
  if (b.button != Button1 && b.button != Button3) return;
  event.button = b.button == Button1 ? kLeftButton : kRightButton;
  if (press) {
    event.kind = kMouseDown;
    if (b.button == Button1) {
      bool quick = !lastPressWasDouble_ && lastPressTime_ != 0 && b.time - lastPressTime_ <= kDoubleClickMs &&
                   std::abs(b.x - lastPressX_) <= kDoubleClickSlop &&
                   std::abs(b.y - lastPressY_) <= kDoubleClickSlop;
      if (quick) event.kind = kDoubleClick;
      lastPressWasDouble_ = quick;
      lastPressTime_ = b.time;
      lastPressX_ = b.x;
      lastPressY_ = b.y;
    }
    Send(event);
    return;
  }
  event.kind = kMouseUp;
  Send(event);
  unsigned held = b.state & (Button1Mask | Button3Mask);
  held &= ~(b.button == Button1 ? Button1Mask : Button3Mask);
  bool outside = b.x < 0 || b.y < 0 || b.x >= size_.width || b.y >= size_.height;
  if (window_ && leaveAfterRelease_ && !held && outside) SendLeave();
}

}  // namespace

std::unique_ptr<CAppBackend> CreateX11Backend(FrameStyle frames) {
  // Characters come from the input method in UTF-8, which needs a UTF-8 character type;
  // numbers keep the "C" formatting.
  if (!IsUtf8Locale(std::setlocale(LC_CTYPE, ""))) std::setlocale(LC_CTYPE, "C.UTF-8");
  if (XSupportsLocale()) XSetLocaleModifiers("");
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    std::fprintf(stderr, "vy x11: no se pudo abrir la pantalla \"%s\".\n", name ? name : "");
    return nullptr;
  }
  return std::make_unique<CX11App>(display, frames);
}

std::unique_ptr<CAppBackend> CreateDesktopBackend(FrameStyle frames) {
  // Window managers frame X windows themselves; standard dialogs stay transient for their
  // parent.
  return CreateX11Backend(frames);
}

}  // namespace Vy
