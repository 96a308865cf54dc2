// The X11 backend against a real X server: Xvfb on a free display, driven with XTest.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/xvfb.h"
#include "tests/toolkit/scripted_window.h"
#include "toolkit/button.h"
#include "toolkit/edit.h"
#include "toolkit/listview.h"
#include "toolkit/window.h"
#include "toolkit/x11/x11_backend.h"

// Xlib's macros (None, Bool, Status) clash with GoogleTest's names: included last.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

// LeakSanitizer: besides fontconfig's caches (see lsan.supp), cairo 1.16 keeps its record of
// each Xlib screen after the display is closed; it is allocated inside libcairo only.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libcairo.so\n";
}

namespace Vy {
namespace {

using testing_support::Xvfb;

Window Xid(const CWindow& w) {
  return static_cast<Window>(reinterpret_cast<uintptr_t>(w.NativeHandle()));
}

// User is a second client acting as the person at the keyboard and as an observer.
class User {
 public:
  explicit User(const std::string& display) : d_(XOpenDisplay(display.c_str())) {}
  ~User() {
    if (d_) XCloseDisplay(d_);
  }
  Display* d() const { return d_; }
  void MoveTo(Window w, int x, int y) {
    int rx, ry;
    Window child;
    XTranslateCoordinates(d_, w, DefaultRootWindow(d_), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(d_, -1, rx, ry, CurrentTime);
    XFlush(d_);
  }
  void MoveToRoot(int x, int y) {
    XTestFakeMotionEvent(d_, -1, x, y, CurrentTime);
    XFlush(d_);
  }
  void Button(unsigned button, bool press) {
    XTestFakeButtonEvent(d_, button, press, CurrentTime);
    XFlush(d_);
  }
  void Click() {
    Button(1, true);
    Button(1, false);
  }
  void Key(KeySym sym, bool shift = false) {
    KeyCode shiftCode = XKeysymToKeycode(d_, XK_Shift_L);
    KeyCode code = XKeysymToKeycode(d_, sym);
    if (shift) XTestFakeKeyEvent(d_, shiftCode, True, CurrentTime);
    XTestFakeKeyEvent(d_, code, True, CurrentTime);
    XTestFakeKeyEvent(d_, code, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(d_, shiftCode, False, CurrentTime);
    XFlush(d_);
  }
  // MapSpareKey puts a keysym on an unused key code, as a Spanish keyboard has ñ.
  bool MapSpareKey(KeySym lower, KeySym upper) {
    int minCode, maxCode, perCode;
    XDisplayKeycodes(d_, &minCode, &maxCode);
    KeySym* map = XGetKeyboardMapping(d_, minCode, maxCode - minCode + 1, &perCode);
    int spare = 0;
    for (int code = maxCode; code >= minCode && !spare; --code) {
      bool empty = true;
      for (int i = 0; i < perCode; ++i) empty &= map[(code - minCode) * perCode + i] == NoSymbol;
      if (empty) spare = code;
    }
    XFree(map);
    if (!spare) return false;
    KeySym syms[2] = {lower, upper};
    XChangeKeyboardMapping(d_, spare, 2, syms, 1);
    XSync(d_, False);
    return true;
  }
  Color Pixel(Window w, int x, int y) {
    XImage* image = XGetImage(d_, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return {0, 0, 0, 0};
    unsigned long p = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p), 255};
  }
  bool Viewable(Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(d_, w, &a) && a.map_state == IsViewable;
  }
  std::string Utf8Property(Window w, const char* name) {
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string out;
    if (XGetWindowProperty(d_, w, XInternAtom(d_, name, False), 0, 1024, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data) {
      out.assign(reinterpret_cast<char*>(data), count);
      XFree(data);
    }
    return out;
  }
  void RequestClose(Window w) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(d_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(d_, "WM_DELETE_WINDOW", False));
    XSendEvent(d_, w, False, NoEventMask, &e);
    XFlush(d_);
  }

 private:
  Display* d_;
};

bool Near(Color a, Color b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

class OkDialog : public CDialog {
 public:
  OkDialog(CWindow* parent, User* user) : CDialog(parent), user_(user) { SetClientSize({240, 120}); }
  bool OnInit() override {
    ok_ = AddButton("Aceptar", {70, 40, 100, 32});
    ok_->OnClick(this, &OkDialog::Accept);
    return SetTimer(2, 15);
  }
  void OnTimer(unsigned) override {
    if (clicked_ || !user_->Viewable(Xid(*this))) return;
    user_->MoveTo(Xid(*this), 120, 56);
    user_->Click();
    clicked_ = true;
  }
  void Accept() { EndDialog(3); }

 private:
  User* user_;
  CButton* ok_ = nullptr;
  bool clicked_ = false;
};

// X11Backend gives each test its own server, named in DISPLAY, and a user on it.
class X11Backend : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(server.display().empty()) << "Xvfb did not start";
    setenv("DISPLAY", server.display().c_str(), 1);
    ASSERT_NE(user.d(), nullptr);
  }
  Xvfb server;
  User user{server.display()};
};

TEST_F(X11Backend, RealWindowUnderXvfbWithXTest) {
  int major, minor, event, error;
  ASSERT_TRUE(XTestQueryExtension(user.d(), &event, &error, &major, &minor));
  ASSERT_TRUE(user.MapSpareKey(XK_ntilde, XK_Ntilde));

  VyApp app(0, nullptr);
  ASSERT_NE(app.Backend(), nullptr);
  bool finished = false;
  auto* w = new Scripted(&finished);
  w->SetTitle("Prueba Año");
  w->SetClientSize({400, 300});
  app.SetMainWindow(w);
  CButton* button = w->AddButton("Firmar", {20, 20, 120, 36});
  button->OnClick(w, &Scripted::Clicked);
  CEdit* edit = w->AddEdit("", {20, 80, 200, 30});
  edit->OnEnter(w, &Scripted::Entered);
  CListView* list = w->AddListView({240, 20, 140, 120});
  for (int i = 0; i < 30; ++i) {
    CListView::Item item;
    item.text = "fila " + std::to_string(i);
    list->AddItem(item);
  }
  Window win = 0;
  int dialogResult = 0;

  w->steps = {
      [&] {
        win = Xid(*w);
        return user.Viewable(win) && w->paints > 0;
      },
      Do([&] {
        EXPECT_EQ(user.Utf8Property(win, "_NET_WM_NAME"), "Prueba Año");
        XSizeHints hints;
        long supplied;
        EXPECT_TRUE(XGetWMNormalHints(user.d(), win, &hints, &supplied));
        EXPECT_EQ(hints.min_width, 200);
        EXPECT_EQ(hints.min_height, 150);
        EXPECT_TRUE(Near(user.Pixel(win, 300, 250), w->Background(), 0));
        user.MoveTo(win, 80, 38);
      }),
      [&] { return button->IsHovered(); },
      Do([&] { user.Click(); }),
      [&] { return w->clicks == 1; },
      // The hover look on screen.
      [&] {
        return Near(user.Pixel(win, 26, 38), {229, 233, 240, 255}, 2);
      },
      Do([&] {
        user.MoveTo(win, 100, 95);
        user.Click();
      }),
      [&] { return edit->IsFocused(); },
      Do([&] {
        user.Key(XK_a, true);
        user.Key(XK_ntilde);
        user.Key(XK_o);
      }),
      [&] { return edit->Text() == "Año"; },
      Do([&] { user.Key(XK_Return); }),
      [&] { return w->entered == "Año"; },
      // The focused border.
      [&] {
        return Near(user.Pixel(win, 120, 80), {0, 120, 215, 255}, 40);
      },
      Do([&] {
        user.MoveTo(win, 32, 95);
        user.Click();
        user.Click();
      }),
      [&] { return edit->SelectedText() == "Año"; },
      // Press on the button, leave the window, release outside: no click, nothing stuck.
      Do([&] {
        user.MoveTo(win, 80, 38);
        user.Button(1, true);
      }),
      [&] { return button->IsPressed(); },
      Do([&] { user.MoveToRoot(799, 599); }),
      [&] { return !button->IsHovered(); },
      Do([&] { user.Button(1, false); }),
      [&] { return !button->IsPressed() && w->Captured() == nullptr && w->Hovered() == nullptr; },
      Do([&] {
        EXPECT_EQ(w->clicks, 1);
        user.MoveTo(win, 300, 80);
        user.Button(5, true);
        user.Button(5, false);
      }),
      [&] { return list->FirstRow() == 3; },
      Do([&] {
        OkDialog dialog(w, &user);
        dialogResult = dialog.ShowModal();
      }),
      Do([&] {
        EXPECT_EQ(dialogResult, 3);
        user.RequestClose(win);
      }),
  };
  EXPECT_EQ(app.Run(), 0) << "closing the main window ends the loop with 0";
  EXPECT_TRUE(finished);
}

// The voting program's frames make every dialog a plain top-level window.
TEST_F(X11Backend, DialogsAreTransientAndTimersRunInTheLoop) {
  for (FrameStyle frames : {FrameStyle::kStandard, FrameStyle::kTopLevelOnly}) {
    const bool standard = frames == FrameStyle::kStandard;
    SCOPED_TRACE(standard ? "standard" : "top-level only");
    VyApp app(0, nullptr, frames);
    auto* w = new Scripted;
    app.SetMainWindow(w);
    Window transientFor = 0;
    std::string type;
    int ticks = 0;
    class Probe : public CDialog {
     public:
      using CDialog::CDialog;
      std::function<void()> onTick;
      bool OnInit() override { return SetTimer(5, 10); }
      void OnTimer(unsigned) override { onTick(); }
    };
    w->steps = {
        [&] { return user.Viewable(Xid(*w)); },
        Do([&] {
          Probe dialog(w);
          dialog.onTick = [&] {
            if (++ticks < 3 || !user.Viewable(Xid(dialog))) return;
            XGetTransientForHint(user.d(), Xid(dialog), &transientFor);
            Atom t;
            int format;
            unsigned long count, after;
            unsigned char* data = nullptr;
            XGetWindowProperty(user.d(), Xid(dialog), XInternAtom(user.d(), "_NET_WM_WINDOW_TYPE", False), 0,
                               1, False, XA_ATOM, &t, &format, &count, &after, &data);
            if (data) {
              char* name = XGetAtomName(user.d(), *reinterpret_cast<Atom*>(data));
              type = name;
              XFree(name);
              XFree(data);
            }
            user.RequestClose(Xid(dialog));  // the close box: result stays 0
          };
          EXPECT_EQ(dialog.ShowModal(), 0);
        }),
        Do([&] { VyApp::Current()->Quit(7); }),
    };
    EXPECT_EQ(app.Run(), 7);
    EXPECT_EQ(transientFor != 0, standard);
    EXPECT_EQ(type, standard ? "_NET_WM_WINDOW_TYPE_DIALOG" : "");
    EXPECT_GE(ticks, 3);
  }
}

}  // namespace
}  // namespace Vy
