#include <gtest/gtest.h>

#include "toolkit/style.h"

namespace Vy {
namespace {

TEST(ParseColor, NamesHexAndFunctionalForms) {
  const struct {
    const char* text;
    Color expected;
    const char* why;
  } cases[] = {
      {"#abc", {170, 187, 204, 255}, "three digits repeat each nibble"},
      {"#abcd", {170, 187, 204, 221}, "four digits carry alpha"},
      {"#12345", {0, 0, 0, 255}, "five digits are unreadable"},
      {"#0a141e", {10, 20, 30, 255}, "six digits"},
      {"#0a141e8", {10, 20, 30, 255}, "a seventh digit is ignored"},
      {"#0a141e80", {10, 20, 30, 128}, "eight digits carry alpha"},
      {"#xyz", {0, 0, 0, 255}, "non-hex digits"},
      {"  LightGrey ", {211, 211, 211, 255}, "names are trimmed and case-blind"},
      {"transparent", {0, 0, 0, 0}, "transparent"},
      {"rgba(9,89,204,1)", {9, 89, 204, 255}, "alpha 1 in rgba is opaque"},
      {"rgb(10,20,30)", {10, 20, 30, 255}, "rgb without alpha"},
      {"rgba(1,2,3,0)", {1, 2, 3, 0}, "alpha 0"},
      {"rgba(1,2,3,0.5)", {1, 2, 3, 127}, "half alpha truncates"},
      {"rgb(1,2,3,0.5)", {1, 2, 3, 0}, "only rgba scales alpha"},
      {"rgb(300,-1,2.9)", {44, 255, 2, 255}, "low eight bits of the truncated value"},
      {"rgb(1,x,3)", {1, 0, 0, 255}, "an unreadable value stops the reading"},
      {"rgb(1e300,2,3)", {0, 2, 3, 255}, "huge values do not overflow"},
      {"rgb 1,2,3)", {0, 0, 0, 255}, "missing parenthesis"},
      {")rgb(", {0, 0, 0, 255}, "parentheses in the wrong order"},
      {"nonsense", {0, 0, 0, 255}, "anything else is black"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + ": " + c.why);
    EXPECT_EQ(ParseColor(c.text), c.expected);
  }
}

TEST(CStyle, KindsOfValues) {
  CStyle s = CStyle::Parse(
      "border-width: 1.5; border-radius: 6; font-family: sans-serif; font-weight-bold: True; "
      "font-style-italic: true; label: 'quoted'; title: \"x\"; gap: -3; accent-color: #fff; fill: red; "
      "weird: 1.2.3; empty: ; : nope; novalue; size: 7;;;");
  EXPECT_EQ(s.Properties().at("border-width").index(), CStyle::kReal);
  EXPECT_FLOAT_EQ(s.GetReal("border-width", 0), 1.5f);
  EXPECT_EQ(s.GetInt("border-radius", 0), 6);
  EXPECT_FLOAT_EQ(s.GetReal("border-radius", 4.0f), 4.0f) << "an integer is not a real";
  EXPECT_EQ(s.GetString("font-family", ""), "sans-serif");
  EXPECT_EQ(s.Properties().at("font-weight-bold").index(), CStyle::kString) << "True is not a boolean";
  EXPECT_TRUE(s.GetBool("font-style-italic", false));
  EXPECT_EQ(s.GetString("label", ""), "quoted");
  EXPECT_EQ(s.GetString("title", ""), "x");
  EXPECT_EQ(s.GetInt("gap", 0), -3);
  EXPECT_EQ(s.GetColor("accent-color", {}), (Color{255, 255, 255, 255}));
  EXPECT_EQ(s.GetColor("fill", {}), (Color{255, 0, 0, 255}));
  EXPECT_EQ(s.GetString("weird", ""), "1.2.3");
  EXPECT_FALSE(s.Has("empty"));
  EXPECT_FALSE(s.Has("novalue"));
  EXPECT_FALSE(s.Has(""));
  EXPECT_EQ(s.GetInt("size", 0), 7);
  EXPECT_EQ(s.Properties().size(), 12u);
}

TEST(CStyle, GettersFallBackAndLaterDeclarationsWin) {
  CStyle s = CStyle::Parse("color: blue; color: #010203; background-color: 'lime'; n: 4");
  EXPECT_EQ(s.GetColor("color", {}), (Color{1, 2, 3, 255}));
  EXPECT_EQ(s.GetColor("missing", {9, 9, 9, 9}), (Color{9, 9, 9, 9}));
  EXPECT_EQ(s.GetColor("n", {5, 5, 5, 5}), (Color{5, 5, 5, 5}));
  EXPECT_EQ(s.GetString("n", "d"), "d");
  EXPECT_FALSE(s.GetBool("n", false));
  // A string value is parsed when read as a colour.
  CStyle t;
  t.Set("x", std::string("#102030"));
  EXPECT_EQ(t.GetColor("x", {}), (Color{16, 32, 48, 255}));
}

TEST(CStyle, ToTextWritesEveryKind) {
  CStyle c, r, b;
  c.Set("c", Color{1, 2, 3, 128});
  r.Set("r", 1.25f);
  b.Set("b", false);
  EXPECT_EQ(ToText(c), "c: rgba(1,2,3,0.50); ");
  EXPECT_EQ(ToText(r), "r: 1.25; ");
  EXPECT_EQ(ToText(b), "b: false; ");
  // Round trip through the parser keeps the values.
  CStyle parsed = CStyle::Parse(ToText(CStyle::Parse("a: 3; f: serif; color: rgba(9,89,204,1)")));
  EXPECT_EQ(parsed.GetInt("a", 0), 3);
  EXPECT_EQ(parsed.GetString("f", ""), "serif");
  EXPECT_EQ(parsed.GetColor("color", {}), (Color{9, 89, 204, 255}));
}

TEST(StyleText, BuildersAndColourHelpers) {
  EXPECT_EQ(BuildStyleText({1, 2, 3}, {255, 255, 255}, {16, 32, 48}, true, 12),
            "background-color:#010203; color:#ffffff; border-color:#102030; border-width:1; border-radius:6; "
            "font-weight-bold:true; font-size:12;");
  EXPECT_EQ(BuildSquareStyleText({1, 2, 3}, {4, 5, 6}, {7, 8, 9}, false, 13),
            "background-color:#010203; color:#040506; border-color:#070809; border-width:1; border-radius:0; "
            "font-size:13;");
  EXPECT_EQ(BuildBorderlessStyleText({1, 2, 3}, {4, 5, 6}, 11),
            "background-color:#010203; color:#040506; border-width:0; border-radius:0; font-size:11;");
  EXPECT_TRUE(IsDark({9, 89, 204, 255}));
  EXPECT_FALSE(IsDark({240, 240, 242, 255}));
  EXPECT_FALSE(IsDark({0, 0, 0, 0})) << "invisible colours are never dark";
  EXPECT_EQ(Shade({250, 10, 100, 7}, 18), (Color{255, 28, 118, 7}));
  EXPECT_EQ(Shade({5, 30, 100, 255}, -22), (Color{0, 8, 78, 255}));
}

TEST(CThemeRegistry, BuiltInThemeAndLookups) {
  CThemeRegistry& registry = CThemeRegistry::Instance();
  const CTheme& theme = registry.Default();
  EXPECT_EQ(theme.ForState(kStateNormal).GetColor("background-color", {}), (Color{240, 240, 242, 255}));
  EXPECT_EQ(theme.ForState(kStateHover).GetColor("border-color", {}), (Color{170, 175, 190, 255}));
  EXPECT_EQ(theme.ForState(kStateCheckedPressed).GetColor("color", {}), (Color{255, 255, 255, 255}));
  EXPECT_TRUE(theme.ForState(kStatePressed).GetBool("font-weight-bold", false));
  EXPECT_EQ(theme.ForState(kStateDisabled).GetColor("color", {}), (Color{150, 155, 165, 255}));
  EXPECT_EQ(theme.ForState(42).GetColor("background-color", {}), (Color{240, 240, 242, 255}));
  EXPECT_EQ(theme.ForState(kStateFocused).GetInt("font-size", 0), 13);
  EXPECT_TRUE(registry.Theme("default").ForState(kStateNormal).Has("font-family"));
  EXPECT_FALSE(registry.Theme("never-registered").ForState(kStateNormal).Has("color"));
}

TEST(FontFamilies, FontconfigFamilies) {
  for (const char* family : {"system", "Segoe UI"})
    EXPECT_EQ(MapFontconfigFamily(family), "sans-serif") << family;
  EXPECT_EQ(MapFontconfigFamily("mono"), "monospace");
  EXPECT_EQ(MapFontconfigFamily("Times New Roman"), "serif");
  EXPECT_EQ(MapFontconfigFamily("DejaVu Sans"), "DejaVu Sans");
}

}  // namespace
}  // namespace Vy
