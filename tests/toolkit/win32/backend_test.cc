// The Win32 backend with real windows, driven by real input (SendInput) from its own loop.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/toolkit/scripted_window.h"
#include "tests/toolkit/win32/bitmap.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "toolkit/window.h"

namespace Vy {
namespace {

HWND Hwnd(const CWindow& w) {
  return static_cast<HWND>(w.NativeHandle());
}

// The person at the mouse and keyboard.
void Mouse(DWORD flags, int data = 0) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.mouseData = static_cast<DWORD>(data);
  in.mi.dwFlags = flags;
  SendInput(1, &in, sizeof in);
}
void MoveToScreen(int x, int y) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof in);
}
void MoveTo(HWND w, int x, int y) {
  POINT p{x, y};
  ClientToScreen(w, &p);
  MoveToScreen(p.x, p.y);
}
void MoveOutside(HWND w) {
  RECT frame;
  GetWindowRect(w, &frame);
  MoveToScreen(frame.right + 40, frame.bottom + 40);
}
void Click() {
  Mouse(MOUSEEVENTF_LEFTDOWN);
  Mouse(MOUSEEVENTF_LEFTUP);
}
// Tap presses and releases a virtual key, or with `unicode` the UTF-16 units of a text as
// input methods send them.
void Tap(WORD vk, const std::wstring& unicode = L"") {
  for (size_t i = 0; i < std::max<size_t>(unicode.size(), 1); ++i) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = unicode.empty() ? vk : 0;
    in.ki.wScan = unicode.empty() ? 0 : unicode[i];
    in.ki.dwFlags = unicode.empty() ? 0 : KEYEVENTF_UNICODE;
    SendInput(1, &in, sizeof in);
    in.ki.dwFlags |= KEYEVENTF_KEYUP;
    SendInput(1, &in, sizeof in);
  }
}

// Printed asks the window to paint itself into a bitmap, as capture programs do, and reads
// one pixel (x, y from the bitmap's corner).
Color Printed(HWND w, UINT message, LPARAM flags, int x, int y) {
  RECT r;
  GetWindowRect(w, &r);
  Bitmap bitmap(r.right - r.left, r.bottom - r.top);
  SendMessageW(w, message, reinterpret_cast<WPARAM>(bitmap.dc()), flags);
  return bitmap.Pixel(x, y);
}

Color OnScreen(HWND w, int x, int y) {
  HDC dc = GetDC(w);
  COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(w, dc);
  return {GetRValue(c), GetGValue(c), GetBValue(c), 255};
}

// Recorder takes every event that reaches it.
class Recorder : public CControl {
 public:
  void OnEvent(Event& e) override {
    events.push_back(e);
    e.handled = true;
  }
  std::vector<Event> Since(size_t mark, int kind) const {
    std::vector<Event> out;
    for (size_t i = mark; i < events.size(); ++i)
      if (events[i].kind == kind || (kind == 0 && events[i].kind != kMouseMove)) out.push_back(events[i]);
    return out;
  }
  std::vector<Event> events;
};

// TimedDialog hands itself to `tick` from a timer while its modal loop runs.
class TimedDialog : public CDialog {
 public:
  TimedDialog(CWindow* parent, std::function<void(TimedDialog&)> tick)
      : CDialog(parent), tick_(std::move(tick)) {
    SetClientSize({300, 200});
  }
  bool OnInit() override { return SetTimer(3, 15); }
  void OnTimer(unsigned) override {
    if (IsWindowVisible(Hwnd(*this))) tick_(*this);
  }
  HWND owner = nullptr;
  DWORD style = 0;
  void Observe() {
    owner = GetWindow(Hwnd(*this), GW_OWNER);
    style = static_cast<DWORD>(GetWindowLongPtrW(Hwnd(*this), GWL_STYLE));
  }

 private:
  std::function<void(TimedDialog&)> tick_;
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
        EXPECT_EQ(OnScreen(hwnd, 300, 250), kBackground);
        EXPECT_EQ(Printed(hwnd, WM_PRINTCLIENT, PRF_CLIENT, 300, 250), kBackground);
        EXPECT_EQ(Printed(hwnd, WM_PRINTCLIENT, PRF_CLIENT, 80, 24), (Color{240, 240, 242, 255}));
        POINT corner{0, 0};
        ClientToScreen(hwnd, &corner);
        RECT frame;
        GetWindowRect(hwnd, &frame);
        EXPECT_EQ(Printed(hwnd, WM_PRINT, PRF_CLIENT | PRF_NONCLIENT, 80 + corner.x - frame.left,
                          24 + corner.y - frame.top),
                  (Color{240, 240, 242, 255}))
            << "WM_PRINT puts the client area where it lies in the frame";
        SetForegroundWindow(hwnd);
        MoveTo(hwnd, 80, 38);
      }),
      [&] { return button->IsHovered(); },
      Do([&] { Click(); }),
      [&] { return w->clicks == 1; },
      // Keys: a letter is key code 0 and then its character; named keys have their codes.
      Do([&] {
        MoveTo(hwnd, 300, 80);
        Click();
      }),
      [&] { return w->Focused() == recorder; },
      Do([&] {
        mark = recorder->events.size();
        for (WORD vk : {WORD('A'), WORD(VK_LEFT), WORD(VK_F5)}) Tap(vk);
      }),
      [&] { return recorder->Since(mark, 0).size() == 7; },
      Do([&] {
        std::vector<std::pair<int, int>> seen,
            expected = {{kKeyPressed, 0},          {kCharacter, 'a'},        {kKeyReleased, 0},
                        {kKeyPressed, kKeyLeft},   {kKeyReleased, kKeyLeft}, {kKeyPressed, kKeyF1 + 4},
                        {kKeyReleased, kKeyF1 + 4}};
        for (const Event& e : recorder->Since(mark, 0)) seen.emplace_back(e.kind, e.key);
        EXPECT_EQ(seen, expected);
        // Wheel: a notch is one step either way; half notches add up to one.
        mark = recorder->events.size();
        for (int delta : {WHEEL_DELTA, -WHEEL_DELTA, WHEEL_DELTA / 2, WHEEL_DELTA / 2})
          Mouse(MOUSEEVENTF_WHEEL, delta);
      }),
      [&] { return recorder->Since(mark, kWheel).size() == 4; },
      Do([&] {
        std::vector<int> steps;
        for (const Event& e : recorder->Since(mark, kWheel)) steps.push_back(e.wheelSteps);
        EXPECT_EQ(steps, (std::vector<int>{1, -1, 0, 1}));
        // Leaving the window: a move far outside, so hover states end.
        mark = recorder->events.size();
        MoveOutside(hwnd);
      }),
      [&] {
        for (const Event& e : recorder->Since(mark, kMouseMove))
          if (e.x == -9999 && e.y == -9999) return true;
        return false;
      },
      // Text beyond ASCII arrives whole in an edit.
      Do([&] {
        MoveTo(hwnd, 100, 95);
        Click();
      }),
      [&] { return edit->IsFocused(); },
      Do([&] {
        Tap(0, L"A\u00f1o \u20ac");
        Tap(VK_RETURN);
      }),
      [&] { return w->entered == "Año €"; },
      // Press on the button, leave the window, release outside: the button gets the release
      // (capture), no click, nothing stuck.
      Do([&] {
        MoveTo(hwnd, 80, 38);
        Mouse(MOUSEEVENTF_LEFTDOWN);
      }),
      [&] { return button->IsPressed(); },
      Do([&] {
        RECT frame;
        GetWindowRect(hwnd, &frame);
        MoveToScreen(frame.right + 40, frame.bottom + 40);
      }),
      [&] { return !button->IsHovered(); },
      Do([&] { Mouse(MOUSEEVENTF_LEFTUP); }),
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
      // A modal dialog: its own loop, a pop-up owned by the main window with a border and no
      // caption; its end does not end the program, its close box gives 0.
      Do([&] {
        bool clicked = false;
        TimedDialog dialog(w, [&](TimedDialog& d) {
          if (clicked) return;
          d.Observe();
          MoveTo(Hwnd(d), 120, 56);
          Click();
          clicked = true;
        });
        dialog.AddButton("Aceptar", {70, 40, 100, 32})
            ->OnClick(static_cast<CWindow*>(&dialog), &CWindow::Close);
        EXPECT_EQ(dialog.ShowModal(), 0) << "closed through the button's Close, like the close box";
        EXPECT_EQ(dialog.owner, hwnd);
        EXPECT_TRUE(dialog.style & WS_POPUP);
        EXPECT_NE(dialog.style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION));
        TimedDialog ended(w, [](TimedDialog& d) { d.EndDialog(3); });
        EXPECT_EQ(ended.ShowModal(), 3);
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
  TimedDialog dialog(w, [](TimedDialog& d) {
    d.Observe();
    RECT client;
    GetClientRect(Hwnd(d), &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 200);
    d.EndDialog(1);
  });
  w->steps = {[&] { return IsWindowVisible(Hwnd(*w)); }, Do([&] {
                dialog.ShowModal();
                VyApp::Current()->Quit(7);
              })};
  EXPECT_EQ(app.Run(), 7);
  EXPECT_EQ(dialog.owner, nullptr);
  EXPECT_EQ(dialog.style & WS_CAPTION, static_cast<DWORD>(WS_CAPTION)) << "a top-level window gets a caption";
  EXPECT_TRUE(dialog.style & WS_THICKFRAME);
}

}  // namespace
}  // namespace Vy
