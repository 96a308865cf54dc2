#include "toolkit/win32/win32_backend.h"

#include <windows.h>
#include <windowsx.h>
// windows.h first: the GDI+ headers use its types.
#include <gdiplus.h>
// windows.h names DrawTextA/W with a macro that would rename the canvas operation.
#undef DrawText

#include <mutex>

#include "toolkit/win32/wide.h"
#include "toolkit/win32/win32_canvas.h"
#include "toolkit/window.h"

namespace Vy {
namespace {

constexpr wchar_t kClassName[] = L"VyWindowClass";
constexpr wchar_t kPostClassName[] = L"VyPostClass";
constexpr UINT kPostedMessage = WM_APP + 1;

// Window styles, written out as the numbers other tools show for them.
constexpr DWORD kResizableStyle = 0x068F0000;      // clip siblings and children, border, system menu,
                                                   // thick frame, minimise and maximise boxes
constexpr DWORD kFixedStyle = 0x02880000;          // clip children, border, system menu
constexpr DWORD kFixedTopLevelStyle = 0x028A0000;  // the same with a minimise box
constexpr DWORD kDialogStyle = 0x86880000;         // pop-up, clip siblings and children, border, system menu
constexpr DWORD kResizeBits = WS_THICKFRAME | WS_MAXIMIZEBOX;
constexpr DWORD kDialogResizeBits = WS_THICKFRAME | WS_MAXIMIZEBOX | WS_MINIMIZEBOX;

// Toolkit key codes of the virtual keys 8 to 123; every other key is 0 and its text comes
// as characters.
constexpr uint16_t kFirstMappedKey = 8;
constexpr uint16_t kKeyTable[] = {
    kKeyBackspace,
    kKeyTab,
    0,
    0,
    0,
    kKeyEnter,
    0,
    0,  // 0x08
    kKeyShift,
    kKeyControl,
    kKeyAlt,
    0,
    0,
    0,
    0,
    0,  // 0x10
    0,
    0,
    0,
    kKeyEscape,
    0,
    0,
    0,
    0,  // 0x18
    0,
    kKeyPageUp,
    kKeyPageDown,
    kKeyEnd,
    kKeyHome,
    kKeyLeft,
    kKeyUp,
    kKeyRight,  // 0x20
    kKeyDown,
    0,
    0,
    0,
    0,
    0,
    kKeyDelete,
    0,  // 0x28
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 0x30
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 0x38
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 0x40
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 0x48
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 0x50
    0,
    0,
    0,
    kKeySuper,
    kKeySuper,
    0,
    0,
    0,  // 0x58
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 0x60
    0,
    0,
    0,
    0,
    0,
    0,
    0,
    0,  // 0x68
    kKeyF1,
    283,
    284,
    285,
    286,
    287,
    288,
    289,  // 0x70
    290,
    291,
    292,
    kKeyF12,  // 0x78
};
static_assert(sizeof kKeyTable / sizeof kKeyTable[0] == 123 - kFirstMappedKey + 1);

uint16_t ToolkitKey(WPARAM vk) {
  switch (vk) {
    case VK_SPACE: return kKeySpace;
    case VK_OEM_PLUS:  // "+" on Spanish keyboards, "=+" on US ones
    case VK_ADD: return kKeyPlus;
    case VK_OEM_MINUS:
    case VK_SUBTRACT: return kKeyMinus;
    case '0':
    case VK_NUMPAD0: return kKey0;
    default: break;
  }
  if (vk < kFirstMappedKey || vk > 123) return 0;
  return kKeyTable[vk - kFirstMappedKey];
}

uint32_t Modifiers() {
  auto down = [](int vk) { return (GetKeyState(vk) & 0x8000) != 0; };
  uint32_t mask = 0;
  if (down(VK_SHIFT)) mask |= kModShift;
  if (down(VK_CONTROL)) mask |= kModControl;
  if (down(VK_MENU)) mask |= kModAlt;
  if (down(VK_LWIN) || down(VK_RWIN)) mask |= kModSuper;
  return mask;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* window = reinterpret_cast<CWin32WindowImpl*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!window) return DefWindowProcW(hwnd, message, wParam, lParam);
  return window->HandleMessage(hwnd, message, wParam, lParam);
}

bool RegisterWindowClass() {
  static std::once_flag once;
  static bool registered = false;
  std::call_once(once, [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
    wc.hIconSm = wc.hIcon;
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.lpszClassName = kClassName;
    registered = RegisterClassExW(&wc) != 0;
  });
  return registered;
}

LRESULT CALLBACK PostWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  if (message == kPostedMessage) {
    if (auto* app = reinterpret_cast<CWin32App*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA))) app->RunPosted();
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CreatePostWindow(CWin32App* app) {
  static std::once_flag once;
  std::call_once(once, [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = PostWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kPostClassName;
    RegisterClassExW(&wc);
  });
  return CreateWindowExW(0, kPostClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleW(nullptr), app);
}

// FrameSize is the window size that gives a client area of `client` with these styles. An
// overlapped window always gets a caption from the system, so it is counted here too.
SIZE FrameSize(Size client, DWORD style, DWORD exStyle) {
  RECT rc{0, 0, client.width, client.height};
  if (!(style & (WS_POPUP | WS_CHILD))) style |= WS_CAPTION;
  AdjustWindowRectEx(&rc, style, FALSE, exStyle);
  return {rc.right - rc.left, rc.bottom - rc.top};
}

}  // namespace

CWin32App::CWin32App(FrameStyle frames) : frames_(frames) {
  Gdiplus::GdiplusStartupInput input;  // version 1, no callbacks
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) token_ = token;
  postWindow_ = CreatePostWindow(this);
}

CWin32App::~CWin32App() {
  if (postWindow_) DestroyWindow(static_cast<HWND>(postWindow_));
  if (token_) Gdiplus::GdiplusShutdown(token_);
}

void CWin32App::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(postMutex_);
    posted_.push_back(std::move(task));
  }
  if (postWindow_) PostMessageW(static_cast<HWND>(postWindow_), kPostedMessage, 0, 0);
}

void CWin32App::RunPosted() {
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard<std::mutex> lock(postMutex_);
    tasks.swap(posted_);
  }
  for (auto& task : tasks) task();
}

int CWin32App::Run() {
  running_ = true;
  exitCode_ = 0;
  MSG msg;
  while (running_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) return 1;
    if (got == 0) {
      // A quit posted before the loop started carries its code too.
      exitCode_ = static_cast<int>(msg.wParam);
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  running_ = false;
  // Messages already queued (a repaint, a posted close) are served before the program ends.
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return exitCode_;
}

void CWin32App::Quit(int code) {
  exitCode_ = code;
  running_ = false;
  PostQuitMessage(code);
}

void CWin32App::RunModal(bool* done) {
  MSG msg;
  while (!*done) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  *done = true;
}

std::unique_ptr<CWindowImpl> CWin32App::CreateWindowImpl() {
  return std::make_unique<CWin32WindowImpl>(frames_);
}

CWin32WindowImpl::CWin32WindowImpl(FrameStyle frames) : frames_(frames) {}

CWin32WindowImpl::~CWin32WindowImpl() {
  owner_ = nullptr;
  if (HWND hwnd = static_cast<HWND>(hwnd_)) DestroyWindow(hwnd);
}

bool CWin32WindowImpl::IsDialog() const {
  return owner_ && owner_->IsDialog();
}

void CWin32WindowImpl::Styles(DWORD* style, DWORD* exStyle) const {
  *exStyle = 0;
  if (frames_ == FrameStyle::kStandard && IsDialog()) {
    *style = kDialogStyle;
    *exStyle = WS_EX_DLGMODALFRAME;
  } else if (resizable_) {
    *style = kResizableStyle;
  } else {
    *style = frames_ == FrameStyle::kTopLevelOnly ? kFixedTopLevelStyle : kFixedStyle;
  }
}

bool CWin32WindowImpl::Create(CWindow* owner, const std::string& title, Size clientSize) {
  if (!owner || hwnd_ || !RegisterWindowClass()) return false;
  owner_ = owner;
  DWORD style, exStyle;
  Styles(&style, &exStyle);
  HWND parent = nullptr;
  if (frames_ == FrameStyle::kStandard && IsDialog()) {
    if (CWindow* p = static_cast<CDialog*>(owner)->ParentWindow())
      parent = static_cast<HWND>(p->NativeHandle());
  }
  SIZE frame = FrameSize(clientSize, style, exStyle);
  std::wstring wideTitle = Wide(title);
  // WM_NCCREATE stores this object in the window and sets hwnd_.
  HWND hwnd = CreateWindowExW(exStyle, kClassName, wideTitle.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                              frame.cx, frame.cy, parent, nullptr, GetModuleHandleW(nullptr), this);
  if (!hwnd) {
    owner_ = nullptr;
    hwnd_ = nullptr;
    return false;
  }
  hwnd_ = hwnd;
  RECT client;
  GetClientRect(hwnd, &client);
  owner_->HandleSize({client.right, client.bottom});
  return true;
}

void CWin32WindowImpl::Show() {
  HWND hwnd = static_cast<HWND>(hwnd_);
  if (!hwnd) return;
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  SetFocus(hwnd);
}

void CWin32WindowImpl::Hide() {
  if (hwnd_) ShowWindow(static_cast<HWND>(hwnd_), SW_HIDE);
}

void CWin32WindowImpl::Close() {
  // Posted, so the owner's OnClose decides from the loop, as for the close box.
  if (hwnd_) PostMessageW(static_cast<HWND>(hwnd_), WM_CLOSE, 0, 0);
}

void CWin32WindowImpl::Destroy() {
  // WM_DESTROY forgets the handle and tells the owner, which may delete this object.
  if (HWND hwnd = static_cast<HWND>(hwnd_)) DestroyWindow(hwnd);
}

void CWin32WindowImpl::Invalidate(const Rect* area) {
  HWND hwnd = static_cast<HWND>(hwnd_);
  if (!hwnd) return;
  if (!area) {
    InvalidateRect(hwnd, nullptr, FALSE);
    return;
  }
  RECT rc{area->x, area->y, area->x + area->width, area->y + area->height};
  InvalidateRect(hwnd, &rc, FALSE);
}

void CWin32WindowImpl::SetTitle(const std::string& title) {
  if (hwnd_) SetWindowTextW(static_cast<HWND>(hwnd_), Wide(title).c_str());
}

void CWin32WindowImpl::SetResizable(bool resizable) {
  resizable_ = resizable;
  HWND hwnd = static_cast<HWND>(hwnd_);
  if (!hwnd) return;
  DWORD bits = frames_ == FrameStyle::kStandard && IsDialog() ? kDialogResizeBits : kResizeBits;
  LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  style = resizable ? (style | bits) : (style & ~static_cast<LONG_PTR>(bits));
  SetWindowLongPtrW(hwnd, GWL_STYLE, style);
  SetWindowPos(hwnd, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

void CWin32WindowImpl::CenterOnScreen() {
  HWND hwnd = static_cast<HWND>(hwnd_);
  if (!hwnd) return;
  RECT work, window;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) || !GetWindowRect(hwnd, &window)) return;
  int x = work.left + ((work.right - work.left) - (window.right - window.left)) / 2;
  int y = work.top + ((work.bottom - work.top) - (window.bottom - window.top)) / 2;
  SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

bool CWin32WindowImpl::SetTimer(unsigned id, unsigned milliseconds) {
  if (!hwnd_ || id == 0 || milliseconds == 0) return false;
  return ::SetTimer(static_cast<HWND>(hwnd_), id, milliseconds, nullptr) != 0;
}

void CWin32WindowImpl::KillTimer(unsigned id) {
  if (hwnd_ && id != 0) ::KillTimer(static_cast<HWND>(hwnd_), id);
}

void CWin32WindowImpl::Send(Event& event) {
  if (!owner_) return;
  event.modifiers = Modifiers();
  event.handled = false;
  owner_->Dispatch(event);
}

void CWin32WindowImpl::Render(void* target, int dx, int dy) {
  HWND hwnd = static_cast<HWND>(hwnd_);
  HDC hdc = static_cast<HDC>(target);
  if (!owner_ || !hdc || !hwnd) return;
  RECT client;
  GetClientRect(hwnd, &client);
  Size size{client.right, client.bottom};
  if (size.width < 1 || size.height < 1) return;
  HDC screen = GetDC(nullptr);
  HDC memory = screen ? CreateCompatibleDC(screen) : nullptr;
  HBITMAP bitmap = screen ? CreateCompatibleBitmap(screen, size.width, size.height) : nullptr;
  bool copied = false;
  if (memory && bitmap) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    {
      CWin32Canvas canvas(memory, size);
      owner_->PaintWindow(canvas);
    }
    GdiFlush();
    copied = BitBlt(hdc, dx, dy, size.width, size.height, memory, 0, 0, SRCCOPY) != 0;
    SelectObject(memory, previous);
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  if (!copied && owner_) {
    // No off-screen bitmap (GDI out of resources): painting directly may flicker but shows.
    POINT origin;
    OffsetViewportOrgEx(hdc, dx, dy, &origin);
    {
      CWin32Canvas canvas(hdc, size);
      owner_->PaintWindow(canvas);
    }
    GdiFlush();
    SetViewportOrgEx(hdc, origin.x, origin.y, nullptr);
  }
  if (screen) ReleaseDC(nullptr, screen);
}

intptr_t CWin32WindowImpl::HandleMessage(void* handle, unsigned message, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = static_cast<HWND>(handle);
  if (message == WM_NCCREATE) hwnd_ = hwnd;
  auto mouse = [&](int kind, uint8_t button) {
    Event e;
    e.kind = kind;
    e.button = button;
    e.x = GET_X_LPARAM(lParam);
    e.y = GET_Y_LPARAM(lParam);
    Send(e);
  };
  switch (message) {
    case WM_DESTROY: {
      // Messages after this one find no window object: this one may be deleted by the owner.
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      trackingLeave_ = false;
      if (CWindow* owner = owner_) owner->HandleDestroyed();  // OnDestroy; a main window quits with 0
      return 0;
    }
    case WM_MOVE:
      if (owner_) owner_->OnMove({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_SIZE:
      // A minimised window keeps its layout; the restore reports the size again.
      if (owner_ && wParam != SIZE_MINIMIZED) owner_->HandleSize({LOWORD(lParam), HIWORD(lParam)});
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      Event e;
      e.kind = message == WM_SETFOCUS ? kFocusGained : kFocusLost;
      Send(e);
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      Render(hdc, 0, 0);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_CLOSE:
      if (owner_ && !owner_->OnClose()) return 0;
      DestroyWindow(hwnd);
      return 0;
    case WM_ERASEBKGND: return 1;  // the paint covers everything
    case WM_GETMINMAXINFO: {
      // The limits are of the client area; the system applies them to the whole window.
      auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
      DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
      DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
      SIZE minimum = FrameSize(minSize_, style, exStyle);
      SIZE maximum = FrameSize(maxSize_, style, exStyle);
      info->ptMinTrackSize = {minimum.cx, minimum.cy};
      info->ptMaxTrackSize = {maximum.cx, maximum.cy};
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      Event e;
      e.kind = message == WM_KEYDOWN || message == WM_SYSKEYDOWN ? kKeyPressed : kKeyReleased;
      e.key = ToolkitKey(wParam);
      Send(e);
      // The system keys keep their meaning (Alt+F4 closes through WM_CLOSE).
      if (message == WM_SYSKEYDOWN || message == WM_SYSKEYUP)
        return DefWindowProcW(hwnd, message, wParam, lParam);
      return 0;
    }
    case WM_CHAR: {
      Event e;
      e.kind = kCharacter;
      e.key = static_cast<uint16_t>(wParam);
      Send(e);
      return 0;
    }
    case WM_TIMER:
      if (owner_) owner_->OnTimer(static_cast<unsigned>(wParam));
      return 0;
    case WM_MOUSEMOVE:
      if (!trackingLeave_) {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd, 0};
        trackingLeave_ = TrackMouseEvent(&track) != 0;
      }
      mouse(kMouseMove, kLeftButton);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      // The control under the press gets the release, wherever it happens.
      SetCapture(hwnd);
      mouse(kMouseDown, message == WM_LBUTTONDOWN ? kLeftButton : kRightButton);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
      ReleaseCapture();
      mouse(kMouseUp, message == WM_LBUTTONUP ? kLeftButton : kRightButton);
      return 0;
    case WM_LBUTTONDBLCLK: mouse(kDoubleClick, kLeftButton); return 0;
    case WM_MOUSEWHEEL: {
      POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ScreenToClient(hwnd, &p);
      int delta = GET_WHEEL_DELTA_WPARAM(wParam);
      if ((delta > 0) != (wheelRemainder_ > 0)) wheelRemainder_ = 0;  // a turn back starts afresh
      wheelRemainder_ += delta;
      Event e;
      e.kind = kWheel;
      e.x = p.x;
      e.y = p.y;
      e.wheelSteps = wheelRemainder_ / WHEEL_DELTA;
      wheelRemainder_ -= e.wheelSteps * WHEEL_DELTA;
      Send(e);
      return 0;
    }
    case WM_MOUSELEAVE: {
      trackingLeave_ = false;
      Event e;
      e.kind = kMouseMove;
      e.x = e.y = -9999;  // outside everything: hover states end
      Send(e);
      return 0;
    }
    case WM_PRINT: {
      if (lParam & PRF_NONCLIENT)
        DefWindowProcW(hwnd, message, wParam, lParam & ~(PRF_CLIENT | PRF_CHILDREN));
      if (!(lParam & PRF_CLIENT)) return 0;
      // The device context starts at the window's corner only when the frame is printed too.
      POINT origin{0, 0};
      if (lParam & PRF_NONCLIENT) {
        RECT window;
        GetWindowRect(hwnd, &window);
        ClientToScreen(hwnd, &origin);
        origin.x -= window.left;
        origin.y -= window.top;
      }
      Render(reinterpret_cast<HDC>(wParam), origin.x, origin.y);
      return 0;
    }
    case WM_PRINTCLIENT: Render(reinterpret_cast<HDC>(wParam), 0, 0); return 0;
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

std::unique_ptr<CAppBackend> CreateWin32Backend(FrameStyle frames) {
  auto app = std::make_unique<CWin32App>(frames);
  if (!app->GdiplusStarted()) return nullptr;
  return app;
}

std::unique_ptr<CAppBackend> CreateDesktopBackend(FrameStyle frames) {
  return CreateWin32Backend(frames);
}

}  // namespace Vy
