#pragma once

#include <string>

#include "toolkit/style.h"
#include "toolkit/types.h"

// Palette is one colour set of the program's windows; the theme button swaps the light and
// the dark one.
struct Palette {
  bool dark = false;
  Vy::Color background, header, band, footer, text, mutedText, headerText, border;
  Vy::Color listBackground, rowSelected, rowHover, rowSeparator;
  Vy::Color badgeSignature, badgeOther, badgeExpired;
  Vy::Color statusValid, statusExpired, statusNeutral;
  Vy::Color button, buttonText, buttonBorder;
  Vy::Color accent, accentText;
  Vy::Color error, errorText;
  Vy::Color logo;
};

const Palette& LightPalette();
const Palette& DarkPalette();

// kNoticeButton is the message dialog's button colour for notices (kind 1), in both sets.
inline constexpr Vy::Color kNoticeButton{196, 140, 20, 255};

// ButtonStyle is the square style of a button in the set's normal colours; AccentStyle,
// ErrorStyle and NoticeStyle use the accent, error and notice colours; DisabledStyle greys a
// button that cannot be used.
std::string ButtonStyle(const Palette& palette, int fontSize);
std::string AccentStyle(const Palette& palette, int fontSize);
std::string ErrorStyle(const Palette& palette, int fontSize);
std::string NoticeStyle(int fontSize);
std::string DisabledStyle(const Palette& palette, int fontSize);
// ComboTheme gives the reader combo box the set's colours.
Vy::CTheme ComboTheme(const Palette& palette);
