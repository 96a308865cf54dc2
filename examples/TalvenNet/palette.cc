#include "examples/TalvenNet/palette.h"

#include <cstdio>

using Vy::Color;

const Palette& LightPalette() {
  static const Palette p = [] {
    Palette p;
    p.background = {244, 246, 250, 255};
    p.header = {12, 59, 116, 255};
    p.band = {228, 234, 243, 255};
    p.footer = {232, 236, 242, 255};
    p.text = {24, 32, 46, 255};
    p.mutedText = {92, 104, 122, 255};
    p.headerText = {255, 255, 255, 255};
    p.border = {196, 204, 216, 255};
    p.listBackground = {255, 255, 255, 255};
    p.rowSelected = {222, 236, 255, 255};
    p.rowHover = {243, 247, 253, 255};
    p.rowSeparator = {228, 232, 238, 255};
    p.badgeSignature = {22, 140, 74, 255};
    p.badgeOther = {150, 158, 170, 255};
    p.badgeExpired = {200, 48, 48, 255};
    p.statusValid = {22, 160, 84, 255};
    p.statusExpired = {210, 52, 52, 255};
    p.statusNeutral = {150, 158, 170, 255};
    p.button = {226, 231, 238, 255};
    p.buttonText = {24, 32, 46, 255};
    p.buttonBorder = {188, 196, 208, 255};
    p.accent = {0, 100, 180, 255};
    p.accentText = {255, 255, 255, 255};
    p.error = {190, 40, 40, 255};
    p.errorText = {255, 255, 255, 255};
    p.logo = {0, 100, 180, 255};
    return p;
  }();
  return p;
}

const Palette& DarkPalette() {
  static const Palette p = [] {
    Palette p;
    p.dark = true;
    p.background = {28, 32, 40, 255};
    p.header = {10, 22, 42, 255};
    p.band = {36, 42, 54, 255};
    p.footer = {34, 39, 50, 255};
    p.text = {228, 233, 241, 255};
    p.mutedText = {160, 170, 186, 255};
    p.headerText = {236, 242, 250, 255};
    p.border = {64, 72, 88, 255};
    p.listBackground = {22, 26, 33, 255};
    p.rowSelected = {34, 58, 94, 255};
    p.rowHover = {32, 38, 48, 255};
    p.rowSeparator = {44, 50, 62, 255};
    p.badgeSignature = {46, 184, 104, 255};
    p.badgeOther = {104, 112, 126, 255};
    p.badgeExpired = {226, 78, 78, 255};
    p.statusValid = {46, 184, 104, 255};
    p.statusExpired = {226, 78, 78, 255};
    p.statusNeutral = {104, 112, 126, 255};
    p.button = {52, 60, 74, 255};
    p.buttonText = {228, 233, 241, 255};
    p.buttonBorder = {80, 90, 108, 255};
    p.accent = {38, 128, 214, 255};
    p.accentText = {255, 255, 255, 255};
    p.error = {200, 60, 60, 255};
    p.errorText = {255, 255, 255, 255};
    p.logo = {38, 128, 214, 255};
    return p;
  }();
  return p;
}

std::string ButtonStyle(const Palette& palette, int fontSize) {
  return Vy::BuildSquareStyleText(palette.button, palette.buttonText, palette.buttonBorder, false, fontSize);
}

std::string AccentStyle(const Palette& palette, int fontSize) {
  return Vy::BuildSquareStyleText(palette.accent, palette.accentText, Vy::Shade(palette.accent, -24), true,
                                  fontSize);
}

std::string ErrorStyle(const Palette& palette, int fontSize) {
  return Vy::BuildSquareStyleText(palette.error, palette.errorText, Vy::Shade(palette.error, -24), true,
                                  fontSize);
}

std::string DisabledStyle(const Palette& palette, int fontSize) {
  return Vy::BuildSquareStyleText(palette.button, palette.mutedText, palette.buttonBorder, true, fontSize);
}

std::string NoticeStyle(int fontSize) {
  return Vy::BuildSquareStyleText(kNoticeButton, {255, 255, 255, 255}, Vy::Shade(kNoticeButton, -24), true,
                                  fontSize);
}

Vy::CTheme ComboTheme(const Palette& palette) {
  auto hex = [](Color c) {
    char text[16];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return std::string(text);
  };
  const Color field = palette.listBackground;
  const std::string base =
      "background-color: " + hex(field) + "; color: " + hex(palette.text) +
      "; border-color: " + hex(palette.border) + "; focus-color: " + hex(palette.accent) +
      "; placeholder-color: " + hex(palette.mutedText) + "; separator-color: " + hex(palette.border) +
      "; arrow-color: " + hex(palette.mutedText) + "; list-background-color: " + hex(field) +
      "; list-selection-color: " + hex(palette.rowSelected) + "; list-hover-color: " + hex(palette.rowHover) +
      "; list-separator-color: " + hex(palette.rowSeparator) + "; list-border-color: " + hex(palette.border) +
      ";";
  Vy::CTheme theme;
  for (Vy::CStyle& style : theme.styles) style = Vy::CStyle::Parse(base);
  theme.styles[Vy::kStateHover] =
      Vy::CStyle::Parse(base + " background-color: " + hex(palette.rowHover) + ";");
  theme.styles[Vy::kStatePressed] = Vy::CStyle::Parse(base + " background-color: " + hex(palette.band) + ";");
  return theme;
}
