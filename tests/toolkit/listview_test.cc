#include <string>

#include "tests/toolkit/headless_fixture.h"
#include "toolkit/listview.h"

namespace Vy {
namespace {

CListView::Item Row(const std::string& text, std::vector<std::string> cells = {}) {
  CListView::Item item;
  item.text = text;
  item.cells = std::move(cells);
  return item;
}

class ListTest : public HeadlessTest {
 protected:
  ListTest() : win(Open(form, {400, 300})) {
    list = form.AddListView({10, 10, 300, 200});  // header 30, body 170: six whole rows of 28
    list->OnSelectionChanged(&form, &PickForm::Selected);
    list->SetColumns({"Nombre", "Emisor"});
    for (int i = 0; i < 20; ++i) list->AddItem(Row("fila " + std::to_string(i), {"emisor"}));
  }
  int RowY(int visibleRow) const { return 40 + visibleRow * 28 + 14; }
  PickForm form;
  CHeadlessWindowImpl& win;
  CListView* list;
};

TEST_F(ListTest, SelectionBySetterMouseAndKeys) {
  list->SetSelectedIndex(25);
  EXPECT_EQ(list->SelectedIndex(), -1);
  EXPECT_TRUE(form.picks.empty());
  win.Click(100, RowY(2));
  EXPECT_EQ(list->SelectedIndex(), 2);
  EXPECT_TRUE(Near(win.PixelAt(250, RowY(2)), Highlight(60), 3));
  EXPECT_TRUE(Near(win.PixelAt(250, RowY(1)), {245, 245, 250, 255})) << "odd rows are striped";
  EXPECT_TRUE(Near(win.PixelAt(250, 15), {230, 230, 230, 255})) << "header";
  win.MouseMove(100, RowY(3));
  EXPECT_EQ(list->HoveredIndex(), 3);
  EXPECT_TRUE(Near(win.PixelAt(250, RowY(3)), Highlight(30), 3));

  EXPECT_TRUE(win.Press(kKeyDown));
  EXPECT_TRUE(win.Press(kKeyPageDown));
  EXPECT_EQ(list->SelectedIndex(), 9);
  EXPECT_GE(list->FirstRow(), 9 - 6 + 1) << "scrolled into view";
  EXPECT_TRUE(win.Press(kKeyEnd));
  EXPECT_EQ(list->SelectedIndex(), 19);
  EXPECT_EQ(list->FirstRow(), 14);
  EXPECT_TRUE(win.Press(kKeyDown));
  EXPECT_TRUE(win.Press(kKeyHome));
  EXPECT_EQ(list->FirstRow(), 0);
  EXPECT_FALSE(win.Press(kKeyLeft));
  EXPECT_EQ(form.picks, (std::vector<int>{2, 3, 9, 19, 0})) << "unchanged indexes do not notify";

  list->SetSelectedIndex(-1);
  EXPECT_EQ(form.picks.back(), -1);
  EXPECT_TRUE(list->SelectedIndices().empty());
}

TEST_F(ListTest, MultipleSelectionAndEditingTheItems) {
  list->SetMultiSelect(true);
  win.Click(100, RowY(1));
  win.Click(100, RowY(4), kModShift);
  EXPECT_EQ(list->SelectedIndices(), (std::vector<int>{1, 2, 3, 4}));
  win.Click(100, RowY(2), kModControl);
  EXPECT_EQ(list->SelectedIndices(), (std::vector<int>{1, 3, 4}));
  EXPECT_EQ(list->SelectedIndex(), 2);
  win.Press(kKeyDown, kModShift);
  EXPECT_EQ(list->SelectedIndices(), (std::vector<int>{2, 3}));

  win.Click(100, RowY(0), kModControl);  // {2, 3, 0}
  list->RemoveItem(1);
  EXPECT_EQ(list->SelectedIndices(), (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(list->SelectedIndex(), 0) << "a selection before the removed row stays";
  list->InsertItem(0, Row("nueva"));
  EXPECT_EQ(list->SelectedIndices(), (std::vector<int>{2, 3, 1})) << "selected rows follow their items";
  EXPECT_EQ(list->GetItem(2).text, "fila 2");
  list->SetMultiSelect(false);
  EXPECT_EQ(list->SelectedIndices(), (std::vector<int>{2}));

  list->SetSelectedIndex(5);
  list->RemoveItem(5);
  EXPECT_EQ(list->SelectedIndex(), 4) << "removing the selected row selects the previous one";
  list->SetSelectedIndex(0);
  list->RemoveItem(0);
  EXPECT_EQ(list->SelectedIndex(), -1);
  list->InsertItem(99, Row("x"));
  EXPECT_EQ(list->Count(), 18) << "an insertion past the end is ignored";
  EXPECT_EQ(list->GetItem(99).text, "");
  list->ScrollToBottom();
  list->Clear();
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(list->FirstRow(), 0);
  EXPECT_FALSE(win.Press(kKeyDown));
}

TEST_F(ListTest, ScrollBarWheelAndThumbDragging) {
  EXPECT_TRUE(list->Scrolls());
  Rect thumb = list->ThumbRect();
  EXPECT_EQ(thumb.y, 40);
  EXPECT_EQ(thumb.height, 170 * 170 / (20 * 28));
  EXPECT_TRUE(Near(win.PixelAt(305, 40 + thumb.height / 2), {170, 170, 170, 255}));
  EXPECT_TRUE(Near(win.PixelAt(299, 150), {238, 238, 238, 255})) << "track";

  EXPECT_TRUE(win.Wheel(100, 100, -1));
  EXPECT_EQ(list->FirstRow(), 3);
  EXPECT_TRUE(win.Wheel(100, 100, -5));
  EXPECT_EQ(list->FirstRow(), 12) << "steps are clamped to 3, then capped at the end";
  EXPECT_TRUE(win.Wheel(100, 100, 120));
  EXPECT_EQ(list->FirstRow(), 9);

  list->ScrollToTop();
  win.MouseDown(305, 45);
  win.MouseMove(305, 45 + 40);
  EXPECT_GT(list->FirstRow(), 0);
  win.MouseMove(305, 1000);
  EXPECT_EQ(list->FirstRow(), 14) << "the end of the track shows the last row";
  EXPECT_TRUE(win.MouseUp(305, 1000));
  int first = list->FirstRow();
  win.MouseMove(305, 45);
  EXPECT_EQ(list->FirstRow(), first) << "dragging ended";
  EXPECT_TRUE(form.picks.empty()) << "the scroll bar does not select";

  // A click in the track jumps so that the thumb's middle is at the cursor.
  list->ScrollToTop();
  win.MouseDown(305, 150);
  Rect moved = list->ThumbRect();
  EXPECT_NEAR(moved.y + moved.height / 2, 150, 28);
  win.MouseUp(305, 150);
}

TEST_F(ListTest, CardsAndCustomPainter) {
  list->Clear();
  list->SetColumns({"Titular", "Emisor", "Validez", "Serie"});
  list->SetMode(CListView::kCards);
  EXPECT_EQ(list->AutomaticCardHeight(), 90);
  EXPECT_EQ(list->RowHeight(), 90);
  list->AddItem(Row("", {"", std::string(40, 'v'), "01AB"}));
  list->AddItem(Row("  ana maria", {"RENIEC"}));
  list->AddItem(Row("ñusta", {"a"}));
  auto lines = list->CardLines(list->GetItem(0));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], (std::pair<std::string, std::string>{"Emisor:", "(---)"}));
  EXPECT_EQ(lines[1].second, std::string(31, 'v') + "...");
  EXPECT_EQ(lines[2].first, "Serie:");
  EXPECT_EQ(CListView::Initials("  ana maria"), "AM");
  EXPECT_EQ(CListView::Initials("ñusta"), "ÑU");
  EXPECT_EQ(CListView::Initials(""), "");
  list->SetColumns({});
  EXPECT_EQ(list->CardLines(list->GetItem(1)),
            (std::vector<std::pair<std::string, std::string>>{{"Emisor:", "RENIEC"}}));
  EXPECT_EQ(list->RowHeight(), 20 + 22 + 16);

  list->SetSelectedIndex(1);
  int cardTop = 10 + 58 + 5;  // no header in card mode
  EXPECT_TRUE(Near(win.PixelAt(150, cardTop), {9, 89, 204, 255}, 10)) << "selected card border";
  EXPECT_TRUE(Near(win.PixelAt(250, cardTop + 40), {232, 241, 255, 255}));
  int circleX = 10 + 8 + 10 + 5, circleY = 10 + 58 + 29;
  EXPECT_TRUE(Near(win.PixelAt(circleX, circleY), {22, 116, 184, 255}, 4)) << "circle colour by index";
  EXPECT_TRUE(Near(win.PixelAt(250, 10 + 5 + 20), kWhite)) << "an idle card";
  list->SetAlternateCardColors(true);
  EXPECT_TRUE(Near(win.PixelAt(250, 10 + 5 + 20), {232, 241, 255, 255}));

  list->SetMode(CListView::kList);
  EXPECT_EQ(list->RowHeight(), 28);
  std::vector<std::string> painted;
  list->SetItemPainter([&](CCanvas& canvas, const CListView::Item& item, const Rect& r, int index,
                           bool selected, bool hovered) {
    painted.push_back(item.text + (selected ? "*" : "") + (hovered ? "h" : ""));
    canvas.FillRect(r, {0, 200, 0, 255});
    (void)index;
  });
  win.MouseMove(100, 10 + 28 * 2 + 4);
  win.Paint();
  EXPECT_EQ(painted, (std::vector<std::string>{"", "  ana maria*", "ñustah"}));
  EXPECT_TRUE(Near(win.PixelAt(100, 20), {0, 200, 0, 255}));
  painted.clear();
  list->SetMode(CListView::kCards);
  win.Paint();
  EXPECT_TRUE(painted.empty()) << "cards are always drawn by the card painter";
}

}  // namespace
}  // namespace Vy
