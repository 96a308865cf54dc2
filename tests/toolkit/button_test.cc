#include "toolkit/button.h"
#include "tests/toolkit/headless_fixture.h"
#include "toolkit/label.h"

namespace Vy {
namespace {

class Owner : public CWindow {
 public:
  void Clicked() { ++clicks; }
  int clicks = 0;
};

const Color kNormal{240, 240, 242, 255};
const Color kHover{229, 233, 240, 255};
const Color kActive{9, 89, 204, 255};

TEST_F(HeadlessTest, ButtonStatesFollowTheMouse) {
  Owner w;
  auto& win = Open(w);
  CButton* b = w.AddButton("Firmar", {20, 20, 120, 40});
  b->OnClick(&w, &Owner::Clicked);
  const int px = 26, py = 40;  // inside, clear of the border and the text
  EXPECT_EQ(b->StateIndex(), kStateNormal);
  EXPECT_TRUE(Near(win.PixelAt(px, py), kNormal));
  EXPECT_TRUE(Near(win.PixelAt(70, 20), {200, 200, 210, 255})) << "the border";

  win.MouseMove(30, 30);
  EXPECT_EQ(b->StateIndex(), kStateHover);
  EXPECT_TRUE(Near(win.PixelAt(px, py), kHover));
  win.MouseDown(30, 30);
  EXPECT_EQ(b->StateIndex(), kStatePressed);
  EXPECT_TRUE(Near(win.PixelAt(px, py), kActive));
  win.MouseUp(30, 30);
  EXPECT_EQ(w.clicks, 1);
  EXPECT_EQ(b->StateIndex(), kStateHover) << "still hovered, focused since the press";
  EXPECT_TRUE(b->IsFocused());
  EXPECT_TRUE(Near(win.PixelAt(22, 40), {0, 120, 215, 255}, 60)) << "focus ring inset by 2";

  // Press, leave, release outside: no click, neither pressed nor hovered.
  win.MouseDown(30, 30);
  win.MouseMove(300, 250);
  EXPECT_FALSE(b->IsHovered());
  EXPECT_TRUE(b->IsPressed());
  win.MouseUp(300, 250);
  EXPECT_FALSE(b->IsPressed());
  EXPECT_EQ(w.clicks, 1);
  EXPECT_EQ(b->StateIndex(), kStateFocused);

  // Hover hand-over to another control and out of the window ends the hover look.
  CButton* other = w.AddButton("Otro", {200, 20, 100, 40});
  win.MouseMove(30, 30);
  win.MouseMove(210, 30);
  EXPECT_FALSE(b->IsHovered());
  EXPECT_TRUE(other->IsHovered());
  win.Leave();
  EXPECT_FALSE(other->IsHovered());

  // The focused button clicks on Enter at once and on the release of Space.
  EXPECT_TRUE(win.KeyDown(kKeyEnter));
  EXPECT_EQ(w.clicks, 2);
  EXPECT_TRUE(win.KeyDown(kKeySpace));
  EXPECT_EQ(w.clicks, 2);
  win.KeyUp(kKeySpace);
  EXPECT_EQ(w.clicks, 3);

  b->SetEnabled(false);
  EXPECT_EQ(b->StateIndex(), kStateDisabled);
  EXPECT_TRUE(Near(win.PixelAt(px, py), Blend(w.Background(), {245, 245, 247, 102}))) << "faded";
  win.Click(30, 30);
  EXPECT_FALSE(win.KeyDown(kKeyEnter));
  EXPECT_EQ(w.clicks, 3) << "a disabled button is never hit";
}

TEST_F(HeadlessTest, ToggleButtonsFlipOnlyOnAReleaseInside) {
  Owner w;
  auto& win = Open(w);
  CButton* t = w.AddButton("Todas", {20, 20, 100, 32});
  t->SetToggle(true);
  t->OnClick(&w, &Owner::Clicked);
  win.Click(30, 30);
  EXPECT_TRUE(t->IsChecked());
  EXPECT_EQ(t->StateIndex(), kStateCheckedHover);
  win.MouseDown(30, 30);
  EXPECT_EQ(t->StateIndex(), kStateCheckedPressed);
  win.MouseUp(200, 200);
  EXPECT_TRUE(t->IsChecked()) << "released outside";
  win.MouseDown(200, 200);
  win.MouseUp(30, 30);
  EXPECT_TRUE(t->IsChecked()) << "pressed outside";
  EXPECT_EQ(w.clicks, 1);
  win.Leave();
  EXPECT_EQ(t->StateIndex(), kStateChecked);
  EXPECT_TRUE(Near(win.PixelAt(26, 36), kActive));

  t->SetChecked(false);
  EXPECT_FALSE(t->IsChecked());
  CButton plain;
  plain.SetChecked(true);
  EXPECT_FALSE(plain.IsChecked()) << "only toggle buttons are checkable";
}

TEST_F(HeadlessTest, ButtonStylesAndFlatLook) {
  Owner w;
  auto& win = Open(w);
  CButton* b = w.AddButton("", {20, 20, 100, 32});
  b->SetStyle("background-color:#204080; color:#ffffff; border-width: 2.0; border-radius: 0.0");
  auto fill = [&](int state) { return b->Theme().ForState(state).GetColor("background-color", {}); };
  EXPECT_EQ(fill(kStateNormal), (Color{32, 64, 128, 255}));
  EXPECT_EQ(fill(kStateHover), (Color{50, 82, 146, 255}));
  EXPECT_EQ(fill(kStatePressed), (Color{10, 42, 106, 255}));
  EXPECT_EQ(fill(kStateCheckedHover), (Color{50, 82, 146, 255}));
  EXPECT_EQ(fill(kStateDisabled), (Color{32, 64, 128, 255}));
  EXPECT_TRUE(Near(win.PixelAt(20, 20), {180, 180, 180, 255})) << "real width 2, square corners";
  EXPECT_TRUE(Near(win.PixelAt(21, 21), {180, 180, 180, 255}));
  EXPECT_TRUE(Near(win.PixelAt(23, 23), {32, 64, 128, 255}));

  b->SetStyle("color: black");
  EXPECT_EQ(fill(kStateHover), (Color{231, 236, 245, 255}));
  EXPECT_EQ(fill(kStatePressed), (Color{214, 222, 237, 255}));

  b->SetHoverStyle("background-color: red");
  b->SetStyle("background-color: #101010");
  EXPECT_EQ(fill(kStateHover), (Color{255, 0, 0, 255})) << "a custom hover style survives SetStyle";
  b->SetHoverStyle("");
  EXPECT_EQ(fill(kStateHover), (Color{16, 16, 16, 255}));
  b->SetStyle("background-color: #202020");
  EXPECT_EQ(fill(kStateHover), (Color{32, 32, 32, 255})) << "hover effect off: hover is the style itself";

  // A flat button shows no border until hovered.
  CButton* flat = w.AddButton("", {200, 20, 100, 32});
  flat->SetFlat(true);
  flat->SetStyle("background-color: transparent; border-color: #ff0000; border-width: 1.0");
  EXPECT_TRUE(Near(win.PixelAt(200, 36), w.Background()));
  win.MouseMove(250, 36);
  EXPECT_TRUE(Near(win.PixelAt(200, 36), {255, 0, 0, 255}));
}

TEST_F(HeadlessTest, LabelsLayOutLinesAndPickColours) {
  Owner w;
  auto& win = Open(w);
  // Full blocks make the line positions visible.
  CLabel* l = w.AddLabel("\xe2\x96\x88\r\n\n\xe2\x96\x88", {10, 10, 60, 120});
  l->SetStyle("font-size: 20; font-family: monospace; color: black");
  win.Paint();
  // Find the ink rows in the label's first column of glyph pixels.
  int firstInk = -1, lastInk = -1;
  for (int y = 10; y < 130; ++y) {
    if (win.PixelAt(14, y).r < 100) {
      if (firstInk < 0) firstInk = y;
      lastInk = y;
    }
  }
  ASSERT_GT(firstInk, 10) << "three lines are centred vertically";
  int gap = 0;
  for (int y = firstInk; y <= lastInk; ++y) gap += win.PixelAt(14, y).r > 200;
  EXPECT_GT(gap, 12) << "the empty middle line leaves a blank line";
  EXPECT_LT(lastInk - firstInk, 3 * 30);

  l->SetStyle("text-align: Center");
  EXPECT_EQ(l->Alignment(), 0);
  l->SetStyle("text-align: center");
  EXPECT_EQ(l->Alignment(), 1);
  l->SetStyle("font-size: 3");
  EXPECT_EQ(l->FontSize(), 6);
  l->SetFontSize(0);
  EXPECT_EQ(l->FontSize(), 12);

  CLabel* automatic = w.AddLabel("x", {10, 200, 60, 20});
  EXPECT_EQ(automatic->TextColor(), (Color{30, 30, 30, 255}));
  w.SetBackground({20, 30, 60, 255});
  EXPECT_EQ(automatic->TextColor(), (Color{235, 238, 244, 255})) << "light text on a dark window";
  automatic->SetBackground({250, 250, 250, 255});
  EXPECT_EQ(automatic->TextColor(), (Color{30, 30, 30, 255})) << "its own background counts first";
  automatic->SetEnabled(false);
  EXPECT_EQ(automatic->TextColor(), (Color{140, 144, 152, 255}));
  automatic->SetTextColor({250, 250, 250, 255});
  EXPECT_EQ(automatic->TextColor(), (Color{150, 150, 155, 255}));
  EXPECT_TRUE(Near(win.PixelAt(12, 202), {250, 250, 250, 255})) << "the background is filled";
  EXPECT_EQ(w.HitTest(12, 202), nullptr) << "labels are never hit";
}

}  // namespace
}  // namespace Vy
