#include <string>
#include <vector>

#include "tests/toolkit/headless_fixture.h"
#include "toolkit/edit.h"

namespace Vy {
namespace {

class Form : public CWindow {
 public:
  void Changed(const std::string& text) { changes.push_back(text); }
  void Entered(const std::string& text) { entered.push_back(text); }
  std::vector<std::string> changes;
  std::vector<std::string> entered;
};

class EditTest : public HeadlessTest {
 protected:
  EditTest() : win(Open(form)) {
    edit = form.AddEdit("", {20, 20, 240, 30});
    edit->OnChange(&form, &Form::Changed);
    win.Click(30, 30);  // focus
  }
  Form form;
  CHeadlessWindowImpl& win;
  CEdit* edit;
};

TEST_F(EditTest, TypingAndDeletingByCodePoint) {
  win.Type("ñandú");
  EXPECT_EQ(edit->Text(), "ñandú");
  EXPECT_EQ(edit->Caret(), 5);
  EXPECT_EQ(form.changes.size(), 5u);
  win.Press(kKeyLeft);
  win.Press(kKeyBackspace);
  EXPECT_EQ(edit->Text(), "ñanú");
  win.Press(kKeyHome);
  win.Press(kKeyDelete);
  EXPECT_EQ(edit->Text(), "anú");
  form.changes.clear();
  win.Press(kKeyBackspace);
  EXPECT_TRUE(form.changes.empty()) << "Backspace at 0 changes nothing and says nothing";
  win.Press(kKeyEnd);
  win.Press(kKeyDelete);
  EXPECT_TRUE(form.changes.empty());

  // Characters beyond the basic plane arrive in two halves and are stored as one.
  win.Type("\xf0\x9f\x98\x80");
  EXPECT_EQ(edit->Text(), "anú\xf0\x9f\x98\x80");
  EXPECT_EQ(edit->Caret(), 4);
  EXPECT_FALSE(win.Char(9)) << "control characters are ignored";
  EXPECT_FALSE(win.Char(127));
  EXPECT_EQ(edit->Text(), "anú\xf0\x9f\x98\x80");
}

TEST_F(EditTest, SelectionWordsAndShortcuts) {
  win.Type("uno dos_tres 4");
  win.Press(kKeyHome);
  win.Press(kKeyRight, kModControl);
  EXPECT_EQ(edit->Caret(), 3);
  win.Press(kKeyRight, kModControl);
  EXPECT_EQ(edit->Caret(), 12);
  win.Press(kKeyLeft, kModControl);
  EXPECT_EQ(edit->Caret(), 4);
  win.Press(kKeyRight, kModControl | kModShift);
  EXPECT_EQ(edit->Anchor(), 4);
  EXPECT_EQ(edit->SelectedText(), "dos_tres");
  win.Type("X");
  EXPECT_EQ(edit->Text(), "uno X 4");
  win.Press(kKeyEnd);
  win.Press(kKeyBackspace, kModControl);
  EXPECT_EQ(edit->Text(), "uno X ");
  win.Press(kKeyHome);
  win.Press(kKeyDelete, kModControl);
  EXPECT_EQ(edit->Text(), " X ");
  win.Char(1, kModControl);
  EXPECT_EQ(edit->SelectedText(), " X ");
  win.Char(u'a', kModControl);
  EXPECT_EQ(edit->Caret(), 3);
  win.Press(kKeyBackspace);
  EXPECT_EQ(edit->Text(), "");
  edit->SetText("abc");
  edit->SetSelection(-5, 99);
  EXPECT_EQ(edit->Anchor(), 0);
  EXPECT_EQ(edit->Caret(), 3);
  edit->SetCaret(1, false);
  win.Press(kKeyPageDown, kModShift);
  EXPECT_EQ(edit->SelectedText(), "bc");
}

TEST_F(EditTest, ModesLimitsAndCallbacks) {
  edit->SetMaxLength(16);
  win.Type("12345678901234567890");
  EXPECT_EQ(edit->Text(), "1234567890123456");
  win.Press(kKeyBackspace);
  EXPECT_EQ(edit->Text(), "123456789012345");
  win.Type("áé");
  EXPECT_EQ(edit->Text(), "123456789012345á") << "the limit counts code points";

  edit->SetMaxLength(0);
  edit->SetText("");
  edit->SetDigitsOnly(true);
  win.Type("a1-2,3.4 b");
  EXPECT_EQ(edit->Text(), "1-2,3.4");

  edit->SetReadOnly(true);
  form.changes.clear();
  EXPECT_TRUE(win.Char(u'5'));
  EXPECT_TRUE(win.Press(kKeyBackspace));
  EXPECT_EQ(edit->Text(), "1-2,3.4");
  EXPECT_TRUE(form.changes.empty());
  EXPECT_TRUE(win.Press(kKeyLeft)) << "moving still works";

  EXPECT_FALSE(win.Press(kKeyEnter)) << "no enter callback: not handled";
  edit->OnEnter(&form, &Form::Entered);
  EXPECT_TRUE(win.Press(kKeyEnter));
  EXPECT_EQ(form.entered, (std::vector<std::string>{"1-2,3.4"}));
  EXPECT_TRUE(win.Press(kKeyTab)) << "left to the window, which moves the focus on";

  // SetText notifies once; a callback that sets the text does not recurse.
  int calls = 0;
  edit->OnChange([&](const std::string& text) {
    ++calls;
    edit->SetText(text + "!");
  });
  edit->SetText("x");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(edit->Text(), "x!");
  edit->OnChange([&](const std::string&) { ++calls; });
  edit->Clear();
  edit->Clear();
  EXPECT_EQ(calls, 2) << "clearing an empty edit says nothing";
}

TEST_F(EditTest, PasswordMaskAndMousePlacesTheCaret) {
  edit->SetPassword(true);
  win.Type("añejo");
  EXPECT_EQ(edit->DisplayedText(), "*****");
  win.Paint();
  // Carets are placed on the stars' boundaries.
  edit->SetCaret(0, false);
  win.Paint();
  int x0 = edit->CaretX();
  edit->SetCaret(5, false);
  win.Paint();
  int x5 = edit->CaretX();
  ASSERT_GT(x5, x0);
  int star = (x5 - x0) / 5;
  win.Click(x0 + 2 * star + star / 3, 35);
  EXPECT_EQ(edit->Caret(), 2);
  win.MouseDown(x0 + star - star / 3, 35);
  win.MouseMove(x0 + 4 * star, 35);
  win.MouseUp(x0 + 4 * star, 35);
  EXPECT_EQ(edit->Anchor(), 1);
  EXPECT_EQ(edit->Caret(), 4);
  win.Click(500, 35);
  EXPECT_EQ(edit->Caret(), 4) << "a click outside does not move it";

  edit->SetPassword(false);
  edit->SetText("uno dos tres");
  win.Paint();
  edit->SetCaret(5, false);
  win.Paint();
  win.DoubleClick(edit->CaretX(), 35);
  EXPECT_EQ(edit->SelectedText(), "dos");
}

TEST_F(EditTest, PaintsBorderSelectionCaretAndPlaceholder) {
  CEdit* other = form.AddEdit("", {20, 80, 240, 30});
  other->SetPlaceholder("\xe2\x96\x88\xe2\x96\x88\xe2\x96\x88");
  EXPECT_TRUE(Near(win.PixelAt(140, 20), {0, 120, 215, 255}, 40)) << "focused border";
  EXPECT_TRUE(Near(win.PixelAt(140, 80), {170, 170, 170, 255}, 10)) << "idle border";
  EXPECT_TRUE(Near(win.PixelAt(31, 95), {150, 150, 150, 255}, 40)) << "placeholder ink";

  win.Type("abcdef");
  win.Paint();
  int caret = edit->CaretX();
  EXPECT_TRUE(Near(win.PixelAt(caret, 35), {30, 30, 30, 255}, 10)) << "caret line";
  edit->SetCaretShown(false);
  EXPECT_TRUE(Near(win.PixelAt(caret, 35), kWhite));
  edit->SelectAll();
  EXPECT_TRUE(Near(win.PixelAt(caret - 1, 24), Highlight(90), 3)) << "selection band from top + 3";

  edit->SetEnabled(false);
  EXPECT_TRUE(Near(win.PixelAt(140, 20), {205, 205, 205, 255}, 10));
  EXPECT_TRUE(Near(win.PixelAt(250, 30), {246, 246, 248, 255}));

  // A long text scrolls to keep the caret visible.
  edit->SetEnabled(true);
  edit->SetText(std::string(80, 'm'));
  win.Paint();
  EXPECT_GT(edit->ScrollOffset(), 0);
  EXPECT_LE(edit->CaretX(), 20 + 240);
  edit->SetCaret(0, false);
  win.Paint();
  EXPECT_EQ(edit->ScrollOffset(), 0);
}

}  // namespace
}  // namespace Vy
