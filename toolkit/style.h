#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>

#include "toolkit/types.h"

namespace Vy {

// CStyle is a parsed style text: property name to a colour, integer, real, string or
// boolean value, in that kind order. Getters never fail; they return their default when
// the property is absent or of another kind.
class CStyle {
 public:
  using Value = std::variant<Color, int32_t, float, std::string, bool>;
  enum Kind { kColor = 0, kInteger = 1, kReal = 2, kString = 3, kBoolean = 4 };

  // Parse reads "name: value; ..." declarations. No text is rejected: unusable declarations
  // are skipped and a later declaration of a name replaces an earlier one.
  static CStyle Parse(std::string_view text);

  void Set(const std::string& name, Value value) { props_[name] = std::move(value); }
  bool Has(const std::string& name) const { return props_.count(name) != 0; }
  // GetColor also accepts a string value and parses it as a colour.
  Color GetColor(const std::string& name, Color fallback) const;
  int32_t GetInt(const std::string& name, int32_t fallback) const;
  float GetReal(const std::string& name, float fallback) const;
  std::string GetString(const std::string& name, const std::string& fallback) const;
  bool GetBool(const std::string& name, bool fallback) const;

  const std::unordered_map<std::string, Value>& Properties() const { return props_; }

 private:
  std::unordered_map<std::string, Value> props_;
};

// ParseColor reads colour names, "#rgb", "#rgba", "#rrggbb", "#rrggbbaa" and the functional
// forms "rgb(...)" / "rgba(...)". Anything unreadable is opaque black.
Color ParseColor(std::string_view text);
// ToText writes every property as "name: value; " in the map's order.
std::string ToText(const CStyle& style);
// BuildStyleText makes a button style from a palette (rounded, with a border).
std::string BuildStyleText(Color background, Color text, Color border, bool bold, int fontSize);
// BuildSquareStyleText is BuildStyleText with square corners.
std::string BuildSquareStyleText(Color background, Color text, Color border, bool bold, int fontSize);
// BuildBorderlessStyleText makes a square style without border.
std::string BuildBorderlessStyleText(Color background, Color text, int fontSize);

// IsDark is true for a visible colour whose luma is below 140.
bool IsDark(Color color);
// Shade adds `delta` to red, green and blue, clamped to 0..255; alpha is kept.
Color Shade(Color color, int delta);

// Visual states of a button, the index into a theme.
enum ThemeState {
  kStateNormal = 0,
  kStateHover = 1,
  kStatePressed = 2,
  kStateFocused = 3,
  kStateDisabled = 4,
  kStateChecked = 5,
  kStateCheckedHover = 6,
  kStateCheckedPressed = 7,
};

struct CTheme {
  std::array<CStyle, 8> styles;
  // ForState gives the style of a state; indexes outside 1..7 give the normal style.
  const CStyle& ForState(int index) const { return styles[index >= 1 && index <= 7 ? index : 0]; }
};

// CThemeRegistry is the process-wide set of named themes, built on first use with the
// built-in theme as the default and as "default".
class CThemeRegistry {
 public:
  static CThemeRegistry& Instance();
  const CTheme& Default() const { return default_; }
  void SetDefault(const CTheme& theme) { default_ = theme; }
  // Theme returns the named theme, inserting an empty one when the name is unknown.
  CTheme& Theme(const std::string& name) { return themes_[name]; }

 private:
  CThemeRegistry();
  CTheme default_;
  std::unordered_map<std::string, CTheme> themes_;
};

// MapFontconfigFamily maps a style's font family to a fontconfig family; fontconfig itself
// substitutes a default face for families that are not installed.
std::string MapFontconfigFamily(std::string_view family);

}  // namespace Vy
