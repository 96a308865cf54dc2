#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "tests/toolkit/headless_fixture.h"
#include "toolkit/button.h"
#include "toolkit/combobox.h"
#include "toolkit/edit.h"
#include "toolkit/label.h"

namespace Vy {
namespace {

// Probe records every event it sees; it handles the kinds it is told to.
class Probe : public CControl {
 public:
  explicit Probe(std::vector<std::string>* log, const char* name, Color fill = {0, 0, 0, 0})
      : log_(log), name_(name), fill_(fill) {}
  void OnEvent(Event& e) override {
    log_->push_back(name_ + ":" + std::to_string(e.kind) + "@" + std::to_string(e.x) + "," +
                    std::to_string(e.y));
    if (handles & (1u << e.kind)) e.handled = true;
  }
  void Paint(CCanvas& canvas) override {
    if (fill_.a) canvas.FillRect({rect_.x - 50, rect_.y - 50, rect_.width + 100, rect_.height + 100}, fill_);
  }
  bool IsOverlay() const override { return overlay; }
  unsigned handles = ~0u;
  bool overlay = false;

 private:
  std::vector<std::string>* log_;
  std::string name_;
  Color fill_;
};

// Recorder is a window that logs its own handlers.
class Recorder : public CWindow {
 public:
  void OnMouseDown(uint32_t, Point p) override { log.push_back("win:down@" + std::to_string(p.x)); }
  void OnMouseUp(uint32_t, Point) override { log.push_back("win:up"); }
  void OnMouseMove(uint32_t, Point) override { log.push_back("win:move"); }
  void OnKeyDown(uint16_t key, uint32_t) override { log.push_back("win:key" + std::to_string(key)); }
  void OnRightMouseDown(uint32_t, Point) override { log.push_back("win:rdown"); }
  void OnChar(uint16_t c) override { log.push_back("win:char" + std::to_string(c)); }
  void OnTimer(unsigned id) override { log.push_back("win:timer" + std::to_string(id)); }
  void OnSize(Size s) override {
    log.push_back("win:size" + std::to_string(s.width) + "x" + std::to_string(s.height));
  }
  void OnDestroy() override { log.push_back("win:destroy"); }
  bool OnClose() override { return allowClose; }
  Probe* AddProbe(const char* name, Rect r, Color fill = {0, 0, 0, 0}) {
    auto* p = new Probe(&log, name, fill);
    p->SetBounds(r);
    AddChild(p);
    return p;
  }
  std::vector<std::string> log;
  bool allowClose = true;
};

using Log = std::vector<std::string>;

TEST_F(HeadlessTest, CaptureFocusAndHoverHandOver) {
  Recorder w;
  auto& win = Open(w);
  Probe* a = w.AddProbe("a", {10, 10, 50, 50});
  Probe* b = w.AddProbe("b", {100, 10, 50, 50});
  w.log.clear();

  win.MouseDown(20, 20);
  EXPECT_EQ(w.log, (Log{"a:9@0,0", "a:2@20,20"})) << "focus gained before the press";
  EXPECT_EQ(w.Focused(), a);
  EXPECT_EQ(w.Captured(), a);
  w.log.clear();
  win.MouseMove(120, 20);  // captured: still a, no hover change
  win.MouseUp(120, 20);
  EXPECT_EQ(w.log, (Log{"a:1@120,20", "a:3@120,20"})) << "a release outside goes to the pressed control";
  EXPECT_EQ(w.Captured(), nullptr);

  w.log.clear();
  win.MouseMove(20, 20);
  win.MouseMove(110, 20);
  EXPECT_EQ(w.log, (Log{"a:1@20,20", "a:1@110,20", "b:1@110,20"}))
      << "a sees the cursor leave before b sees it";
  EXPECT_EQ(w.Hovered(), b);

  w.log.clear();
  win.MouseDown(110, 20);
  EXPECT_EQ(w.log, (Log{"a:10@0,0", "b:9@0,0", "b:2@110,20"}));
  win.MouseUp(110, 20);

  // Leaving the window ends the hover.
  w.log.clear();
  win.Leave();
  EXPECT_EQ(w.log, (Log{"b:1@-9999,-9999", "win:move"}));
  EXPECT_EQ(w.Hovered(), nullptr);
}

TEST_F(HeadlessTest, DisabledHiddenAndEmptyArea) {
  Recorder w;
  auto& win = Open(w);
  Probe* a = w.AddProbe("a", {10, 10, 50, 50});
  Probe* top = w.AddProbe("top", {10, 10, 50, 50});
  top->SetEnabled(false);
  Probe* hidden = w.AddProbe("hidden", {10, 10, 50, 50});
  hidden->SetVisible(false);
  EXPECT_EQ(w.HitTest(10, 10), a) << "disabled and hidden controls are passed over";
  EXPECT_EQ(w.HitTest(60, 10), nullptr) << "the right edge is outside";

  win.MouseMove(20, 20);
  win.Click(20, 20);
  EXPECT_EQ(w.Focused(), a);
  w.log.clear();
  a->handles = 0;
  win.MouseDown(300, 200);
  EXPECT_EQ(w.log, (Log{"win:down@300"})) << "empty area reaches the window";
  EXPECT_EQ(w.Focused(), a) << "and keeps the focus";
  win.MouseUp(300, 200);

  w.log.clear();
  win.KeyDown(kKeyEnter);
  EXPECT_EQ(w.log, (Log{"a:6@0,0", "win:key13"})) << "unhandled keys reach the window";
  w.RemoveChild(a, true);
  EXPECT_EQ(w.Focused(), nullptr);
  EXPECT_EQ(w.Hovered(), nullptr);
  w.log.clear();
  win.KeyDown(kKeyEscape);
  win.Char(u'x');
  win.MouseDown(20, 20, kRightButton);
  EXPECT_EQ(w.log, (Log{"win:key27", "win:char120", "win:rdown"}));
}

TEST_F(HeadlessTest, OverlaySeesMouseFirstAndPaintsOnTop) {
  Recorder w;
  auto& win = Open(w, {200, 200});
  w.AddProbe("below", {60, 60, 40, 40}, {255, 0, 0, 255});
  Probe* menu = w.AddProbe("menu", {10, 10, 40, 40}, {0, 0, 255, 255});
  w.AddProbe("last", {120, 120, 40, 40}, {0, 255, 0, 255});
  // A plain child is clipped to its rectangle.
  EXPECT_EQ(win.PixelAt(55, 55), (Color{240, 240, 240, 255}));
  EXPECT_EQ(win.PixelAt(70, 70), (Color{255, 0, 0, 255}));
  EXPECT_EQ(win.PixelAt(130, 130), (Color{0, 255, 0, 255}));

  menu->overlay = true;
  w.SetOverlay(menu);
  w.Invalidate();
  EXPECT_EQ(win.PixelAt(70, 70), (Color{0, 0, 255, 255}))
      << "an overlay paints over the window, above others";
  EXPECT_EQ(win.PixelAt(130, 130), (Color{0, 255, 0, 255})) << "within its reach only";

  w.log.clear();
  win.MouseDown(130, 130);
  EXPECT_EQ(w.log, (Log{"menu:2@130,130"})) << "a handled event stops at the overlay";
  menu->handles = 0;
  w.log.clear();
  win.MouseDown(130, 130);
  EXPECT_EQ(w.log.front(), "menu:2@130,130");
  EXPECT_EQ(w.log.back(), "last:2@130,130") << "an unhandled one goes on";
}

TEST_F(HeadlessTest, TimersSizeAndClosing) {
  Recorder w;
  EXPECT_FALSE(w.SetTimer(1, 100)) << "no platform window yet";
  auto& win = Open(w, {300, 200});
  EXPECT_EQ(w.Bounds(), (Rect{0, 0, 300, 200}));
  EXPECT_TRUE(win.IsShown());
  EXPECT_FALSE(w.SetTimer(0, 100));
  EXPECT_FALSE(w.SetTimer(2, 0));
  EXPECT_TRUE(w.SetTimer(7, 1500));
  EXPECT_EQ(win.TimerInterval(7), 1500u);
  w.log.clear();
  EXPECT_TRUE(win.Tick(7));
  w.KillTimer(7);
  EXPECT_FALSE(win.Tick(7));
  EXPECT_EQ(w.log, (Log{"win:timer7"}));

  w.log.clear();
  win.Resize({500, 400});
  EXPECT_EQ(w.log, (Log{"win:size500x400"}));
  EXPECT_EQ(w.Bounds(), (Rect{0, 0, 500, 400}));
  win.Resize({50, 50});
  EXPECT_EQ(w.Bounds().width, 200) << "the default minimum size holds";

  w.allowClose = false;
  win.RequestClose();
  EXPECT_TRUE(win.IsOpen()) << "OnClose refused";
  w.allowClose = true;
  w.log.clear();
  win.RequestClose();
  EXPECT_FALSE(win.IsOpen());
  EXPECT_EQ(w.log, (Log{"win:destroy"}));
  EXPECT_TRUE(backend().QuitRequested()) << "a main window's end quits the application";
  EXPECT_EQ(backend().ExitCode(), 0);
}

class Dialog : public CDialog {
 public:
  using CDialog::CDialog;
  bool OnInit() override { return initOk; }
  // Does not call the base: the modal loop must end anyway.
  void OnDestroy() override { ++destroyed; }
  bool initOk = true;
  int destroyed = 0;
};

TEST_F(HeadlessTest, DialogsRunModalLoops) {
  Recorder parent;
  Open(parent);
  Dialog dialog(&parent);
  EXPECT_EQ(dialog.Title(), "Dialog");
  EXPECT_TRUE(dialog.IsDialog());

  backend().Post([&] {
    CHeadlessWindowImpl* impl = backend().Find(&dialog);
    ASSERT_NE(impl, nullptr);
    EXPECT_TRUE(impl->IsShown());
    EXPECT_TRUE(impl->IsCentered());
    EXPECT_EQ(impl->ClientSize(), (Size{400, 300}));
    EXPECT_EQ(backend().ModalDepth(), 1);
    dialog.EndDialog(5);
  });
  bool later = false;
  backend().Post([&] { later = true; });
  EXPECT_EQ(dialog.ShowModal(), 5);
  EXPECT_EQ(dialog.destroyed, 1);
  EXPECT_FALSE(later) << "the nested loop ends as soon as the dialog does";
  EXPECT_EQ(backend().Find(&dialog), nullptr) << "the platform window is gone";
  EXPECT_FALSE(backend().QuitRequested()) << "a dialog's end does not quit";
  backend().RunPending();
  EXPECT_TRUE(later);

  // Shown again and closed by its close box: result 0.
  backend().Post([&] { backend().Find(&dialog)->RequestClose(); });
  EXPECT_EQ(dialog.ShowModal(), 0);

  // A nested dialog inside a dialog.
  Dialog inner(&dialog);
  int innerResult = -2;
  backend().Post([&] {
    backend().Post([&] { inner.EndDialog(2); });
    innerResult = inner.ShowModal();
    dialog.EndDialog(1);
  });
  EXPECT_EQ(dialog.ShowModal(), 1);
  EXPECT_EQ(innerResult, 2);

  dialog.initOk = false;
  EXPECT_EQ(dialog.ShowModal(), -1);
  EXPECT_EQ(backend().Find(&dialog), nullptr);
  EXPECT_FALSE(backend().QuitRequested());
}

TEST_F(HeadlessTest, TabWalksTheControlsInReadingOrder) {
  Recorder w;
  auto& win = Open(w, {400, 300});
  // Made out of reading order; the label, the disabled and the hidden control take no stop.
  CButton* cancel = w.AddButton("Cancelar", {300, 200, 80, 30});
  CButton* accept = w.AddButton("Aceptar", {200, 202, 80, 26});  // same row, a little lower
  w.AddLabel("Nombre", {20, 20, 60, 20});
  CEdit* name = w.AddEdit("", {100, 16, 200, 28});
  CComboBox* kind = w.AddComboBox({"a", "b"}, {20, 100, 120, 28});
  CButton* off = w.AddButton("No", {200, 100, 60, 28});
  off->SetEnabled(false);
  CButton* hidden = w.AddButton("Oculto", {300, 100, 60, 28});
  hidden->SetVisible(false);
  EXPECT_EQ(w.TabOrder(), (std::vector<CControl*>{name, kind, accept, cancel}));

  std::vector<CControl*> walked;
  for (int i = 0; i < 5; ++i) {
    EXPECT_TRUE(win.Press(kKeyTab));
    walked.push_back(w.Focused());
  }
  EXPECT_EQ(walked, (std::vector<CControl*>{name, kind, accept, cancel, name})) << "wraps around";
  EXPECT_TRUE(name->IsFocused());
  EXPECT_TRUE(w.KeyboardFocus());
  EXPECT_TRUE(win.Press(kKeyTab, kModShift));
  EXPECT_EQ(w.Focused(), cancel);
  EXPECT_TRUE(cancel->IsFocused());
  EXPECT_FALSE(name->IsFocused());
  EXPECT_TRUE(std::find(w.log.begin(), w.log.end(), "win:key9") == w.log.end()) << "Tab stays with the focus";
  win.Click(250, 215);
  EXPECT_EQ(w.Focused(), accept);
  EXPECT_FALSE(w.KeyboardFocus()) << "a click ends the keyboard's focus look";
}

TEST_F(HeadlessTest, TasksPostedFromAnotherThreadRunOnTheLoop) {
  std::vector<int> order;
  std::thread worker([&] {
    for (int i = 0; i < 3; ++i) app_.Post([&order, i] { order.push_back(i); });
  });
  worker.join();
  EXPECT_EQ(backend().RunPending(), 3);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

// Lifecycle of the application object.
class Main : public CWindow {
 public:
  explicit Main(int* deaths) : deaths_(deaths) {}
  ~Main() override { ++*deaths_; }
  bool OnInit() override { return initOk; }
  bool initOk = true;

 private:
  int* deaths_;
};

class App : public VyApp {
 public:
  using VyApp::VyApp;
  int OnShutdown() override {
    VyApp::OnShutdown();
    return shutdownCode;
  }
  int shutdownCode = 0;
};

TEST(VyApp, RunResultsAndTheCurrentApplication) {
  {
    App none(0, nullptr, nullptr);
    EXPECT_EQ(none.Run(), -1);
  }
  int deaths = 0;
  {
    auto backend = std::make_unique<CHeadlessApp>();
    CHeadlessApp* b = backend.get();
    App app(0, nullptr, std::move(backend));
    EXPECT_EQ(VyApp::Current(), &app);
    EXPECT_EQ(app.Run(), 1) << "no main window";
    auto* main = new Main(&deaths);
    app.SetMainWindow(main);
    b->Post([&] {
      EXPECT_TRUE(b->Find(main)->IsShown());
      app.Quit(4);
    });
    EXPECT_EQ(app.Run(), 4);
    EXPECT_EQ(deaths, 1) << "OnShutdown destroyed the main window";
    EXPECT_EQ(app.MainWindow(), nullptr);

    app.SetMainWindow(new Main(&deaths));
    app.shutdownCode = 9;
    b->Post([&] { app.Quit(4); });
    EXPECT_EQ(app.Run(), 9) << "a non-zero shutdown result wins";

    auto* failing = new Main(&deaths);
    failing->initOk = false;
    app.SetMainWindow(failing);
    app.shutdownCode = 0;
    EXPECT_EQ(app.Run(), 1);
    EXPECT_EQ(deaths, 3);
  }
  EXPECT_EQ(VyApp::Current(), nullptr);

  auto first = std::make_unique<App>(0, nullptr, std::make_unique<CHeadlessApp>());
  App second(0, nullptr, std::make_unique<CHeadlessApp>());
  EXPECT_EQ(VyApp::Current(), &second);
  first.reset();
  EXPECT_EQ(VyApp::Current(), &second) << "destroying an older application leaves the current one";
}

}  // namespace
}  // namespace Vy
