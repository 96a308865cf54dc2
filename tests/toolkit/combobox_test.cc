#include "toolkit/combobox.h"
#include "tests/toolkit/headless_fixture.h"
#include "toolkit/button.h"

namespace Vy {
namespace {

const std::vector<std::string> kPages = {"Primera", "Todas", "Ultima", "Especificas", "Ninguna"};

TEST_F(HeadlessTest, ComboBoxMouseOpensPicksAndCloses) {
  PickForm form;
  auto& win = Open(form, {400, 300});
  CComboBox* combo = form.AddComboBox(kPages, {20, 20, 180, 30});
  combo->OnSelectionChanged(&form, &PickForm::Selected);
  CButton* below = form.AddButton("", {20, 60, 180, 30});
  int clicks = 0;
  below->OnClick([&] { ++clicks; });
  combo->SetSelectedIndex(0);
  combo->SetSelectedIndex(0);
  EXPECT_EQ(form.picks, (std::vector<int>{0, 0})) << "notified also when unchanged";
  combo->SetSelectedIndex(7);
  EXPECT_EQ(combo->SelectedIndex(), 0);

  win.Click(100, 35);
  ASSERT_TRUE(combo->IsOpen());
  EXPECT_EQ(form.Overlay(), combo);
  EXPECT_EQ(combo->ListRect(), (Rect{20, 50, 180, 5 * 26})) << "rows of font size + 13, below the field";
  // The open list paints over the button under it, with the hovered row marked.
  win.MouseMove(100, 50 + 26 + 5);
  EXPECT_EQ(combo->HoveredItem(), 1);
  EXPECT_TRUE(Near(win.PixelAt(190, 50 + 26 + 5), Highlight(60), 3));
  EXPECT_TRUE(Near(win.PixelAt(190, 50 + 26 * 2 + 5), kWhite)) << "covers the button";
  EXPECT_TRUE(Near(win.PixelAt(190, 55), Highlight(40), 3)) << "the selection";

  form.picks.clear();
  win.Click(100, 50 + 26 * 2 + 5);
  EXPECT_FALSE(combo->IsOpen());
  EXPECT_EQ(combo->SelectedIndex(), 2);
  EXPECT_EQ(combo->SelectedText(), "Ultima");
  EXPECT_EQ(form.picks, (std::vector<int>{2}));
  EXPECT_EQ(clicks, 0) << "the pick does not fall through to the button";
  EXPECT_EQ(form.Overlay(), nullptr);

  // A click outside both closes the list, keeps the selection and reaches the control there.
  win.Click(100, 35);
  ASSERT_TRUE(combo->IsOpen());
  win.Click(300, 250);
  EXPECT_FALSE(combo->IsOpen());
  win.Click(100, 35);
  ASSERT_TRUE(combo->IsOpen());
  win.MouseMove(300, 200);
  win.Click(300, 200);
  win.Click(100, 35);
  ASSERT_TRUE(combo->IsOpen());
  CButton* aside = form.AddButton("", {250, 20, 100, 30});
  aside->OnClick([&] { ++clicks; });
  win.Click(300, 35);
  EXPECT_FALSE(combo->IsOpen());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(combo->SelectedIndex(), 2);
}

TEST_F(HeadlessTest, ComboBoxKeysWheelAndItemChanges) {
  PickForm form;
  auto& win = Open(form, {400, 300});
  CComboBox* combo = form.AddComboBox(kPages, {20, 20, 180, 30});
  combo->OnSelectionChanged(&form, &PickForm::Selected);
  combo->SetMaxVisibleItems(2);
  win.Click(100, 35);
  win.Click(100, 35);  // open, then closed again by a click on the field
  EXPECT_FALSE(combo->IsOpen());
  EXPECT_TRUE(win.Press(kKeyUp));
  EXPECT_EQ(combo->SelectedIndex(), 4) << "Up from nothing selects the last item";
  EXPECT_TRUE(combo->IsOpen());
  EXPECT_EQ(combo->FirstVisible(), 3);
  EXPECT_TRUE(win.Press(kKeyDown));
  EXPECT_EQ(combo->SelectedIndex(), 4) << "clamped";
  EXPECT_TRUE(win.Wheel(100, 60, 0));
  EXPECT_EQ(combo->FirstVisible(), 3) << "an empty wheel event scrolls nowhere";
  EXPECT_TRUE(win.Wheel(100, 60, 1));
  EXPECT_EQ(combo->FirstVisible(), 2);
  EXPECT_TRUE(win.Wheel(100, 60, -150));
  EXPECT_EQ(combo->FirstVisible(), 3) << "a raw delta short of two notches is one";
  EXPECT_TRUE(win.Wheel(100, 60, 480));
  EXPECT_EQ(combo->FirstVisible(), 0) << "raw deltas count in notches of 120";
  EXPECT_TRUE(win.Press(kKeyEscape));
  EXPECT_FALSE(combo->IsOpen());
  EXPECT_FALSE(win.Press(kKeyEscape)) << "nothing to close";
  EXPECT_EQ(form.picks, (std::vector<int>{4, 4}));

  combo->SetSelectedIndex(-1);
  EXPECT_TRUE(win.Press(kKeyDown));
  EXPECT_EQ(combo->SelectedIndex(), 0);
  win.FocusOut();
  EXPECT_FALSE(combo->IsOpen()) << "losing the focus closes the list";

  combo->SetSelectedIndex(4);
  combo->SetItems({"a", "b"});
  EXPECT_EQ(combo->SelectedIndex(), 1);
  win.Press(kKeyDown);
  EXPECT_TRUE(combo->IsOpen());
  combo->SetItems({});
  EXPECT_EQ(combo->SelectedIndex(), -1);
  EXPECT_FALSE(combo->IsOpen());
  EXPECT_EQ(form.Overlay(), nullptr);
  EXPECT_FALSE(win.Press(kKeyDown)) << "no items, no keys";
  win.Click(100, 35);
  EXPECT_FALSE(combo->IsOpen()) << "an empty list never opens";
}

TEST_F(HeadlessTest, ComboBoxOpensUpwardsUnlessFixedRows) {
  PickForm form;
  auto& win = Open(form, {300, 200});
  CComboBox* combo = form.AddComboBox(kPages, {20, 150, 180, 30});
  win.Click(100, 165);
  EXPECT_EQ(combo->ListRect(), (Rect{20, 150 - 130, 180, 130})) << "no room below, room above";
  EXPECT_TRUE(Near(win.PixelAt(190, 30), kWhite));
  win.Click(100, 35);
  EXPECT_EQ(combo->SelectedIndex(), 0);
  combo->SetRowHeight(26);
  combo->SetFontSize(30);
  EXPECT_EQ(combo->ListRect(), (Rect{20, 180, 180, 130})) << "fixed rows always open below";

  CComboBox* top = form.AddComboBox(kPages, {20, 10, 180, 30});
  top->SetFontSize(30);
  EXPECT_EQ(top->ListRect().y, 40) << "no room above either: below";
}

}  // namespace
}  // namespace Vy
