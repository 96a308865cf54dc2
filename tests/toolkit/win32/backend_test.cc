// The Win32 backend with real windows, driven by real input (SendInput) from its own loop.
#include <windows.h>
#undef DrawText

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/toolkit/scripted_window.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "toolkit/win32/win32_backend.h"
#include "toolkit/window.h"

namespace Vy {
namespace {

HWND Hwnd(const CWindow& w) {
  return static_cast<HWND>(w.NativeHandle());
}

// User is the person at the mouse and keyboard, and an observer of the screen.
struct User {
  static void Send(INPUT input) { SendInput(1, &input, sizeof input); }
  static void MoveToScreen(int x, int y) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    Send(in);
  }
  static void MoveTo(HWND w, int x, int y) {
    POINT p{x, y};
    ClientToScreen(w, &p);
    MoveToScreen(p.x, p.y);
  }
  static void Button(bool left, bool down) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = left ? (down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP)
                         : (down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP);
    Send(in);
  }
  static void Click() {
    Button(true, true);
    Button(true, false);
  }
  static void Wheel(int delta) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.mouseData = static_cast<DWORD>(delta);
    in.mi.dwFlags = MOUSEEVENTF_WHEEL;
    Send(in);
  }
  static void Key(WORD vk, bool up = false) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    Send(in);
  }
  static void Tap(WORD vk) {
    Key(vk);
    Key(vk, true);
  }
  // Type sends UTF-16 units as the system's on-screen keyboards and input methods do.
  static void Type(const std::wstring& text) {
    for (wchar_t c : text) {
      INPUT in{};
      in.type = INPUT_KEYBOARD;
      in.ki.wScan = c;
      in.ki.dwFlags = KEYEVENTF_UNICODE;
      Send(in);
      in.ki.dwFlags |= KEYEVENTF_KEYUP;
      Send(in);
    }
  }
  // Printed asks the window to paint itself into a bitmap with WM_PRINT or WM_PRINTCLIENT,
  // as screen capture programs do, and reads one pixel.
  static Color Printed(HWND w, UINT message, LPARAM flags, int x, int y) {
    RECT r;
    GetWindowRect(w, &r);
    BITMAPINFO info{};
    info.bmiHeader = {
        sizeof(BITMAPINFOHEADER), r.right - r.left, -(r.bottom - r.top), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    uint8_t* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    SendMessageW(w, message, reinterpret_cast<WPARAM>(dc), flags);
    GdiFlush();
    const uint8_t* p = bits + (static_cast<size_t>(y) * (r.right - r.left) + x) * 4;
    Color c{p[2], p[1], p[0], 255};
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return c;
  }
  static Color OnScreen(HWND w, int x, int y) {
    HDC dc = GetDC(w);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return {GetRValue(c), GetGValue(c), GetBValue(c), 255};
  }
};

// Recorder takes every event that reaches it.
class Recorder : public CControl {
 public:
  void OnEvent(Event& e) override {
    events.push_back(e);
    e.handled = true;
  }
  // Has finds an event of the kind satisfying `match` among those recorded since `from`.
  template <typename F>
  bool Has(size_t from, int kind, F match) const {
    for (size_t i = from; i < events.size(); ++i)
      if (events[i].kind == kind && match(events[i])) return true;
    return false;
  }
  std::vector<Event> events;
};

class OkDialog : public CDialog {
 public:
  explicit OkDialog(CWindow* parent) : CDialog(parent) { SetClientSize({240, 120}); }
  bool OnInit() override {
    AddButton("Aceptar", {70, 40, 100, 32})->OnClick(this, &OkDialog::Accept);
    return SetTimer(2, 15);
  }
  void OnTimer(unsigned) override {
    if (clicked_ || !IsWindowVisible(Hwnd(*this))) return;
    owner = GetWindow(Hwnd(*this), GW_OWNER);
    style = static_cast<DWORD>(GetWindowLongPtrW(Hwnd(*this), GWL_STYLE));
    User::MoveTo(Hwnd(*this), 120, 56);
    User::Click();
    clicked_ = true;
  }
  void Accept() { EndDialog(3); }
  HWND owner = nullptr;
  DWORD style = 0;

 private:
  bool clicked_ = false;
};

// Refusing says no to the first close request.
class Refusing : public Scripted {
 public:
  using Scripted::Scripted;
  bool OnClose() override { return ++closeRequests > 1; }
  int closeRequests = 0;
};

const Color kBackground{240, 240, 240, 255};

TEST(Win32Backend, RealWindowThroughRealInput) {
  VyApp app(0, nullptr);
  ASSERT_NE(app.Backend(), nullptr) << "GDI+ did not start";
  bool finished = false;
  auto* w = new Refusing(&finished);
  w->SetTitle("Prueba Año");
  w->SetClientSize({400, 300});
  app.SetMainWindow(w);
  CButton* button = w->AddButton("Firmar", {20, 20, 120, 36});
  button->OnClick(static_cast<Scripted*>(w), &Scripted::Clicked);
  CEdit* edit = w->AddEdit("", {20, 80, 200, 30});
  edit->OnEnter(static_cast<Scripted*>(w), &Scripted::Entered);
  auto* recorder = new Recorder;
  recorder->SetBounds({240, 20, 140, 120});
  w->AddChild(recorder);
  HWND hwnd = nullptr;
  size_t mark = 0;
  int dialogResult = 0;
  DWORD dialogStyle = 0;
  HWND dialogOwner = nullptr;
  auto recorded = [&](int kind, auto match) { return recorder->Has(mark, kind, match); };

  w->steps = {
      [&] {
        hwnd = Hwnd(*w);
        return IsWindowVisible(hwnd) && w->paints > 0;
      },
      Do([&] {
        wchar_t name[64] = {};
        GetClassNameW(hwnd, name, 64);
        EXPECT_EQ(std::wstring(name), L"VyWindowClass");
        wchar_t title[64] = {};
        GetWindowTextW(hwnd, title, 64);
        EXPECT_EQ(std::wstring(title), L"Prueba A\u00f1o");
        RECT client;
        GetClientRect(hwnd, &client);
        EXPECT_EQ(client.right, 400) << "the client area has the size asked for, caption or not";
        EXPECT_EQ(client.bottom, 300);
        // Painted on screen, and again on request into another device context.
        EXPECT_EQ(User::OnScreen(hwnd, 300, 250), kBackground);
        EXPECT_EQ(User::Printed(hwnd, WM_PRINTCLIENT, PRF_CLIENT, 300, 250), kBackground);
        EXPECT_EQ(User::Printed(hwnd, WM_PRINTCLIENT, PRF_CLIENT, 80, 24), (Color{240, 240, 242, 255}));
        POINT corner{0, 0};
        ClientToScreen(hwnd, &corner);
        RECT frame;
        GetWindowRect(hwnd, &frame);
        EXPECT_EQ(User::Printed(hwnd, WM_PRINT, PRF_CLIENT | PRF_NONCLIENT, 80 + corner.x - frame.left,
                                24 + corner.y - frame.top),
                  (Color{240, 240, 242, 255}))
            << "WM_PRINT puts the client area where it lies in the frame";
        SetForegroundWindow(hwnd);
        User::MoveTo(hwnd, 80, 38);
      }),
      [&] { return button->IsHovered(); },
      Do([&] { User::Click(); }),
      [&] { return w->clicks == 1; },
      // Keys: a letter is key code 0 and then its character; named keys have their codes.
      Do([&] {
        User::MoveTo(hwnd, 300, 80);
        User::Click();
      }),
      [&] { return w->Focused() == recorder; },
      Do([&] {
        mark = recorder->events.size();
        User::Tap('A');
        User::Tap(VK_LEFT);
        User::Tap(VK_F5);
      }),
      [&] { return recorded(kKeyReleased, [](const Event& e) { return e.key == kKeyF1 + 4; }); },
      Do([&] {
        std::vector<std::pair<int, int>> seen;
        for (size_t i = mark; i < recorder->events.size(); ++i)
          if (recorder->events[i].kind != kMouseMove)
            seen.emplace_back(recorder->events[i].kind, recorder->events[i].key);
        std::vector<std::pair<int, int>> expected = {{kKeyPressed, 0},          {kCharacter, 'a'},
                                                     {kKeyReleased, 0},         {kKeyPressed, kKeyLeft},
                                                     {kKeyReleased, kKeyLeft},  {kKeyPressed, kKeyF1 + 4},
                                                     {kKeyReleased, kKeyF1 + 4}};
        EXPECT_EQ(seen, expected);
        // Wheel: a notch is one step either way; half notches add up to one.
        mark = recorder->events.size();
        User::Wheel(WHEEL_DELTA);
        User::Wheel(-WHEEL_DELTA);
        User::Wheel(WHEEL_DELTA / 2);
        User::Wheel(WHEEL_DELTA / 2);
      }),
      [&] {
        int n = 0;
        for (size_t i = mark; i < recorder->events.size(); ++i) n += recorder->events[i].kind == kWheel;
        return n == 4;
      },
      Do([&] {
        std::vector<int> steps;
        for (size_t i = mark; i < recorder->events.size(); ++i)
          if (recorder->events[i].kind == kWheel) steps.push_back(recorder->events[i].wheelSteps);
        EXPECT_EQ(steps, (std::vector<int>{1, -1, 0, 1}));
        // Leaving the window: a move far outside, so hover states end.
        mark = recorder->events.size();
        RECT frame;
        GetWindowRect(hwnd, &frame);
        User::MoveToScreen(frame.right + 40, frame.bottom + 40);
      }),
      [&] { return recorded(kMouseMove, [](const Event& e) { return e.x == -9999 && e.y == -9999; }); },
      // Text beyond ASCII arrives whole in an edit.
      Do([&] {
        User::MoveTo(hwnd, 100, 95);
        User::Click();
      }),
      [&] { return edit->IsFocused(); },
      Do([&] {
        User::Type(L"A\u00f1o \u20ac");
        User::Tap(VK_RETURN);
      }),
      [&] { return w->entered == "Año €"; },
      // Press on the button, leave the window, release outside: the button gets the release
      // (capture), no click, nothing stuck.
      Do([&] {
        User::MoveTo(hwnd, 80, 38);
        User::Button(true, true);
      }),
      [&] { return button->IsPressed(); },
      Do([&] {
        RECT frame;
        GetWindowRect(hwnd, &frame);
        User::MoveToScreen(frame.right + 40, frame.bottom + 40);
      }),
      [&] { return !button->IsHovered(); },
      Do([&] { User::Button(true, false); }),
      [&] { return !button->IsPressed() && w->Captured() == nullptr; },
      // The tracking limits hold the client area at 200 x 150 and at the maximum set, frame
      // included; minimising keeps the layout of the client size.
      Do([&] {
        EXPECT_EQ(w->clicks, 1);
        w->SetMaxSize({600, 500});
        MINMAXINFO info{};
        SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
        auto frame = [&](LONG width, LONG height) {
          RECT rc{0, 0, width, height};
          AdjustWindowRectEx(&rc, static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)), FALSE,
                             static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE)));
          return POINT{rc.right - rc.left, rc.bottom - rc.top};
        };
        EXPECT_EQ(info.ptMinTrackSize.x, frame(200, 150).x);
        EXPECT_EQ(info.ptMinTrackSize.y, frame(200, 150).y);
        EXPECT_EQ(info.ptMaxTrackSize.x, frame(600, 500).x);
        EXPECT_EQ(info.ptMaxTrackSize.y, frame(600, 500).y);
        ShowWindow(hwnd, SW_MINIMIZE);
      }),
      [&] { return IsIconic(hwnd); },
      Do([&] {
        EXPECT_EQ(w->Bounds(), (Rect{0, 0, 400, 300}));
        ShowWindow(hwnd, SW_RESTORE);
      }),
      [&] {
        return !IsIconic(hwnd) && w->Bounds() == Rect{0, 0, 400, 300};
      },
      // A modal dialog: its own loop, a pop-up owned by the main window, and its end does not
      // end the program.
      Do([&] {
        OkDialog dialog(w);
        dialogResult = dialog.ShowModal();
        dialogStyle = dialog.style;
        dialogOwner = dialog.owner;
      }),
      Do([&] {
        EXPECT_EQ(dialogResult, 3);
        EXPECT_EQ(dialogOwner, hwnd);
        EXPECT_TRUE(dialogStyle & WS_POPUP);
        EXPECT_NE(dialogStyle & WS_CAPTION, static_cast<DWORD>(WS_CAPTION)) << "a border, no caption";
        // A dialog closed by its close box returns 0.
        class Probe : public CDialog {
         public:
          using CDialog::CDialog;
          bool OnInit() override { return SetTimer(3, 15); }
          void OnTimer(unsigned) override { PostMessageW(Hwnd(*this), WM_CLOSE, 0, 0); }
        } probe(w);
        EXPECT_EQ(probe.ShowModal(), 0);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);  // refused by OnClose
      }),
      [&] { return w->closeRequests == 1; },
      Do([&] {
        EXPECT_TRUE(IsWindow(hwnd));
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
      }),
  };
  EXPECT_EQ(app.Run(), 0) << "destroying the main window ends the loop with 0";
  EXPECT_TRUE(finished);
  EXPECT_FALSE(IsWindow(hwnd));
}

// The voting program's frames: every window, dialogs too, is an ordinary top-level window.
TEST(Win32Backend, TopLevelFramesAndQuitCode) {
  VyApp app(0, nullptr, FrameStyle::kTopLevelOnly);
  ASSERT_NE(app.Backend(), nullptr);
  auto* w = new Scripted;
  app.SetMainWindow(w);
  HWND owner = reinterpret_cast<HWND>(1);
  DWORD style = 0;
  w->steps = {
      [&] { return IsWindowVisible(Hwnd(*w)); },
      Do([&] {
        class Probe : public CDialog {
         public:
          Probe(CWindow* parent, HWND* owner, DWORD* style) : CDialog(parent), owner_(owner), style_(style) {}
          bool OnInit() override { return SetTimer(3, 15); }
          void OnTimer(unsigned) override {
            *owner_ = GetWindow(Hwnd(*this), GW_OWNER);
            *style_ = static_cast<DWORD>(GetWindowLongPtrW(Hwnd(*this), GWL_STYLE));
            RECT client;
            GetClientRect(Hwnd(*this), &client);
            EXPECT_EQ(client.right, 300);
            EXPECT_EQ(client.bottom, 200);
            EndDialog(1);
          }
          HWND* owner_;
          DWORD* style_;
        } probe(w, &owner, &style);
        probe.SetClientSize({300, 200});
        probe.ShowModal();
        VyApp::Current()->Quit(7);
      }),
  };
  EXPECT_EQ(app.Run(), 7);
  EXPECT_EQ(owner, nullptr);
  EXPECT_EQ(style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION)) << "a top-level window gets a caption";
  EXPECT_TRUE(style & WS_THICKFRAME);
}

}  // namespace
}  // namespace Vy
