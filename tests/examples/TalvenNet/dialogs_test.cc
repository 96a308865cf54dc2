// The authenticator's dialogs on the off-screen backend: sizes, keys, the PIN box's limits,
// the help text's scrolling bounds, and their pictures for a look.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include <cairo.h>

#include "examples/TalvenNet/dialogs.h"
#include "examples/TalvenNet/text_fit.h"
#include "tests/support/test_support.h"
#include "toolkit/app.h"
#include "toolkit/button.h"
#include "toolkit/cairo/cairo_canvas.h"
#include "toolkit/headless/headless.h"

using namespace Vy;

namespace {

const std::string kShots = std::string(VY_BINARY_DIR) + "/screenshots/voteauth";

class TalvenDialogs : public testing::Test {
 protected:
  TalvenDialogs() : app_(0, nullptr, std::make_unique<CHeadlessApp>()) {
    testing_support::RunCommand("mkdir -p " + testing_support::Quote(kShots));
  }
  CHeadlessApp& backend() { return *static_cast<CHeadlessApp*>(app_.Backend()); }
  // Modal shows the dialog and runs `inside` in its loop; it returns the dialog's result.
  int Modal(CDialog& dialog, const std::function<void(CHeadlessWindowImpl&)>& inside) {
    backend().Post([&] { inside(*backend().Find(&dialog)); });
    return dialog.ShowModal();
  }
  VyApp app_;
};

TEST_F(TalvenDialogs, MessageSizesKeysAndColours) {
  struct Case {
    std::string text;
    int kind;
    Size size;
    uint16_t key;  // 0: the button is clicked
    int result;
  } cases[] = {
      {"Listo.", kMessageInfo, {360, 140}, kKeyEnter, 1},
      {std::string(200, 'x'), kMessageNotice, {760, 140}, kKeyEscape, 2},
      {std::string(29, '\n'), kMessageError, {360, 520}, 0, 1},
      {"DNI: 44556677\r\nCN: " + std::string(60, 'N'), kMessageInfo, {64 * 7 + 60, 140}, kKeyEnter, 1},
  };
  const Color amber{196, 140, 20, 255};
  for (Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    CMsgDialog dialog(nullptr, LightPalette(), "Titulo", c.text, c.kind);
    int result = Modal(dialog, [&](CHeadlessWindowImpl& w) {
      EXPECT_EQ(w.ClientSize(), c.size);
      EXPECT_FALSE(w.IsResizable());
      const Rect b = dialog.Button()->Bounds();
      EXPECT_EQ(b, (Rect{c.size.width - 108, c.size.height - 48, 90, 32}));
      const Color centre = w.PixelAt(b.x + 4, b.y + 4);
      EXPECT_EQ(centre == amber, c.kind == kMessageNotice) << "amber marks notices only";
      if (c.kind == kMessageNotice) {
        EXPECT_TRUE(w.SavePng(kShots + "/message-notice.png"));
      }
      if (c.key)
        w.Press(c.key);
      else
        w.Click(b.x + 10, b.y + 10);
    });
    EXPECT_EQ(result, c.result);
  }
}

TEST_F(TalvenDialogs, PinBoxStartsEmptyTakesEightDigitsAndBlinks) {
  CPinDialog dialog(nullptr, LightPalette(), "Introduzca el PIN de firma del DNIe para firmar el reto:");
  int result = Modal(dialog, [&](CHeadlessWindowImpl& w) {
    EXPECT_EQ(w.ClientSize(), (Size{320, 138}));
    EXPECT_EQ(dialog.Box()->Text(), "") << "a filled-in PIN would spend a try";
    EXPECT_EQ(w.TimerInterval(2), 530u);
    w.Tick(2);
    EXPECT_FALSE(dialog.CaretShown());
    w.Tick(2);
    EXPECT_TRUE(dialog.CaretShown());
    // "Aceptar" on an empty box is no PIN: the dialog stays until then, and then says 2.
    w.Type("12a3.4-5 6789012");
    EXPECT_EQ(dialog.Box()->Text(), "12345678");
    EXPECT_EQ(dialog.Box()->DisplayedText(), "********");
    w.FocusOut();
    EXPECT_FALSE(dialog.Box()->IsFocused());
    w.FocusIn();
    EXPECT_TRUE(dialog.Box()->IsFocused());
    EXPECT_TRUE(w.SavePng(kShots + "/pin.png"));
    w.Press(kKeyEnter);
  });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(dialog.Pin(), "12345678");

  struct Cancel {
    const char* typed;
    uint16_t key;  // 0: "Aceptar" is clicked
  } cancels[] = {{"", kKeyEnter}, {"1234", kKeyEscape}, {"", 0}};
  for (const Cancel& c : cancels) {
    CPinDialog again(nullptr, DarkPalette(), "PIN");
    int r = Modal(again, [&](CHeadlessWindowImpl& w) {
      w.Type(c.typed);
      if (c.key)
        w.Press(c.key);
      else
        w.Click(154 + 30, 88 + 14);
    });
    EXPECT_EQ(r, 2) << c.typed << " " << c.key;
  }
}

TEST_F(TalvenDialogs, HelpScrollsWithinItsText) {
  CHelpDialog dialog(nullptr, LightPalette());
  Modal(dialog, [&](CHeadlessWindowImpl& w) {
    EXPECT_EQ(w.ClientSize(), (Size{655, 462}));
    EXPECT_TRUE(w.SavePng(kShots + "/help.png"));
    CGuideText* guide = dialog.Guide();
    EXPECT_GE(guide->LineCount(), 41) << "41 lines, some wrapped";
    const int last = guide->LastFirstLine();
    EXPECT_GT(last, 0);
    w.Wheel(400, 200, 1);
    EXPECT_EQ(guide->FirstLine(), 0) << "never above the top";
    w.Wheel(400, 200, -1);
    EXPECT_EQ(guide->FirstLine(), std::min(3, last));
    for (int i = 0; i < 40; ++i) w.Wheel(100, 300, -1);  // outside the text area too
    EXPECT_EQ(guide->FirstLine(), last) << "never past the end";
    w.Paint();
    EXPECT_TRUE(w.SavePng(kShots + "/help-end.png"));
    w.Wheel(400, 200, 2);
    EXPECT_EQ(guide->FirstLine(), std::max(last - 6, 0));
    w.Press(kKeyEscape);
  });
  EXPECT_EQ(std::count(GuideText().begin(), GuideText().end(), '\n'), 40);
  EXPECT_NE(GuideText().find("que el servicio\n  de tarjetas inteligentes (pcscd) este en ejecucion (Linux).\n"),
            std::string::npos)
      << "Linux names its own PC/SC service";
}

TEST(TalvenText, FitsAndWrapsWithinTheWidth) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 10, 10);
  cairo_t* cr = cairo_create(surface);
  {
    CCairoCanvas canvas(cr);
    const Font font{"system", 12, false};
    auto width = [&](const std::string& t) {
      return canvas.MeasureText(t, "system", 12, false, false).width;
    };
    const std::string holder = "ANA LUCÍA QUISPE MAMANI FIR 44556677";
    EXPECT_EQ(FitText(canvas, holder, 1000, font), holder) << "a text that fits stays whole";
    for (int room : {150, 40, 0}) {
      std::string cut = FitText(canvas, holder, room, font);
      EXPECT_TRUE(cut.ends_with("...")) << room;
      EXPECT_TRUE(cut == "..." || width(cut) <= room) << room << " " << cut;
      EXPECT_EQ(holder.rfind(cut.substr(0, cut.size() - 3), 0), 0u) << "cut from the end, whole code points";
    }
    const std::string text = "  sangria inicial y una palabralarguisimaquenocabeenunalinea\n\nfin";
    for (int room : {120, 30}) {
      std::vector<std::string> lines = WrapText(canvas, text, room, font);
      std::string joined;
      for (const std::string& line : lines) {
        EXPECT_TRUE(width(line) <= room || line.size() == 1) << room << " " << line;
        joined += line;
      }
      if (room == 120) {
        EXPECT_EQ(lines.front().rfind("  ", 0), 0u) << "a line's own indentation stays";
      }
      EXPECT_EQ(std::count(lines.begin(), lines.end(), ""), 1) << "the empty line keeps its place";
      std::string visible = text;
      std::erase(visible, ' ');
      std::erase(visible, '\n');
      std::erase(joined, ' ');
      EXPECT_EQ(joined, visible) << "nothing lost or reordered";
    }
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

}  // namespace
