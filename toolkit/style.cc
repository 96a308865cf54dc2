#include "toolkit/style.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/text.h"

namespace Vy {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// LowByte keeps the low eight bits of the value truncated towards zero, without the
// undefined conversion of out-of-range doubles.
uint8_t LowByte(double v) {
  if (!std::isfinite(v)) return 0;
  double m = std::fmod(std::trunc(v), 256.0);
  if (m < 0) m += 256.0;
  return static_cast<uint8_t>(m);
}

Color ParseHexColor(std::string_view digits) {
  for (char c : digits) {
    if (HexDigit(c) < 0) return Color{};
  }
  auto nibble = [&](size_t i) { return static_cast<uint8_t>(HexDigit(digits[i]) * 17); };
  auto pair = [&](size_t i) {
    return static_cast<uint8_t>(HexDigit(digits[i]) * 16 + HexDigit(digits[i + 1]));
  };
  switch (digits.size()) {
    case 3: return {nibble(0), nibble(1), nibble(2), 255};
    case 4: return {nibble(0), nibble(1), nibble(2), nibble(3)};
    case 6:
    case 7: return {pair(0), pair(2), pair(4), 255};
    default:
      if (digits.size() >= 8) return {pair(0), pair(2), pair(4), pair(6)};
      return Color{};
  }
}

Color ParseFunctionalColor(std::string_view lower) {
  size_t open = lower.find('(');
  size_t close = lower.rfind(')');
  if (open == std::string_view::npos || close == std::string_view::npos || close <= open) return Color{};
  std::string inner(lower.substr(open + 1, close - open - 1));
  for (char& c : inner) {
    if (c == ',') c = ' ';
  }
  double values[4] = {0, 0, 0, 255};
  const char* p = inner.c_str();
  bool failed = false;
  for (int i = 0; i < 4 && !failed; ++i) {
    char* end = nullptr;
    double v = std::strtod(p, &end);
    if (end == p) {
      failed = true;
      break;
    }
    values[i] = v;
    p = end;
  }
  if (failed) values[3] = 255;
  if (values[3] <= 1.0 && lower.find("rgba") != std::string_view::npos) values[3] *= 255.0;
  return {LowByte(values[0]), LowByte(values[1]), LowByte(values[2]), LowByte(values[3])};
}

bool IsColorWord(const std::string& lower) {
  return lower == "white" || lower == "black" || lower == "transparent" || lower == "red" ||
         lower == "green" || lower == "blue" || lower == "gray" || lower == "grey";
}

bool IsNumber(std::string_view v, bool* real) {
  size_t i = 0;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) ++i;
  int digits = 0;
  int dots = 0;
  for (; i < v.size(); ++i) {
    if (v[i] >= '0' && v[i] <= '9') {
      ++digits;
    } else if (v[i] == '.' && dots == 0) {
      ++dots;
    } else {
      return false;
    }
  }
  *real = dots == 1;
  return digits > 0;
}

CStyle::Value ParseValue(std::string_view name, std::string_view value) {
  std::string lower = AsciiLower(value);
  if (value.front() == '#' || value.starts_with("rgb") || IsColorWord(lower) ||
      name.find("color") != std::string_view::npos) {
    return ParseColor(value);
  }
  if (value == "true" || value == "false") return value == "true";
  if (value.front() == '"' || value.front() == '\'') {
    if (value.size() >= 2) return std::string(value.substr(1, value.size() - 2));
    return std::string(value);
  }
  bool real = false;
  if (IsNumber(value, &real)) {
    std::string text(value);
    if (real) return static_cast<float>(std::atof(text.c_str()));
    long n = std::strtol(text.c_str(), nullptr, 10);
    if (n > INT32_MAX) n = INT32_MAX;
    if (n < INT32_MIN) n = INT32_MIN;
    return static_cast<int32_t>(n);
  }
  return std::string(value);
}

std::string Format(const char* pattern, auto... args) {
  char buffer[256];
  int n = std::snprintf(buffer, sizeof buffer, pattern, args...);
  return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

}  // namespace

CStyle CStyle::Parse(std::string_view text) {
  CStyle style;
  while (!text.empty()) {
    size_t semicolon = text.find(';');
    std::string_view declaration = text.substr(0, semicolon);
    text = semicolon == std::string_view::npos ? std::string_view() : text.substr(semicolon + 1);
    size_t colon = declaration.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = Trim(declaration.substr(0, colon));
    std::string_view value = Trim(declaration.substr(colon + 1));
    while (!value.empty() && value.back() == ';') value.remove_suffix(1);
    value = Trim(value);
    if (name.empty() || value.empty()) continue;
    style.Set(std::string(name), ParseValue(name, value));
  }
  return style;
}

Color CStyle::GetColor(const std::string& name, Color fallback) const {
  auto it = props_.find(name);
  if (it == props_.end()) return fallback;
  if (auto* c = std::get_if<Color>(&it->second)) return *c;
  if (auto* s = std::get_if<std::string>(&it->second)) return ParseColor(*s);
  return fallback;
}

int32_t CStyle::GetInt(const std::string& name, int32_t fallback) const {
  auto it = props_.find(name);
  auto* v = it == props_.end() ? nullptr : std::get_if<int32_t>(&it->second);
  return v ? *v : fallback;
}

float CStyle::GetReal(const std::string& name, float fallback) const {
  auto it = props_.find(name);
  auto* v = it == props_.end() ? nullptr : std::get_if<float>(&it->second);
  return v ? *v : fallback;
}

std::string CStyle::GetString(const std::string& name, const std::string& fallback) const {
  auto it = props_.find(name);
  auto* v = it == props_.end() ? nullptr : std::get_if<std::string>(&it->second);
  return v ? *v : fallback;
}

bool CStyle::GetBool(const std::string& name, bool fallback) const {
  auto it = props_.find(name);
  auto* v = it == props_.end() ? nullptr : std::get_if<bool>(&it->second);
  return v ? *v : fallback;
}

Color ParseColor(std::string_view text) {
  text = Trim(text);
  std::string lower = AsciiLower(text);
  static const struct {
    const char* name;
    Color color;
  } kNames[] = {
      {"white", {255, 255, 255, 255}},     {"black", {0, 0, 0, 255}},
      {"transparent", {0, 0, 0, 0}},       {"red", {255, 0, 0, 255}},
      {"green", {0, 128, 0, 255}},         {"blue", {0, 0, 255, 255}},
      {"gray", {128, 128, 128, 255}},      {"grey", {128, 128, 128, 255}},
      {"lightgray", {211, 211, 211, 255}}, {"lightgrey", {211, 211, 211, 255}},
      {"darkgray", {169, 169, 169, 255}},  {"darkgrey", {169, 169, 169, 255}},
      {"yellow", {255, 255, 0, 255}},      {"cyan", {0, 255, 255, 255}},
      {"magenta", {255, 0, 255, 255}},
  };
  for (const auto& entry : kNames) {
    if (lower == entry.name) return entry.color;
  }
  if (!lower.empty() && lower.front() == '#') return ParseHexColor(std::string_view(lower).substr(1));
  return ParseFunctionalColor(lower);
}

std::string ToText(const CStyle& style) {
  std::string out;
  for (const auto& [name, value] : style.Properties()) {
    out += name;
    out += ": ";
    switch (value.index()) {
      case CStyle::kColor: {
        Color c = std::get<Color>(value);
        out += Format("rgba(%d,%d,%d,%.2f)", c.r, c.g, c.b, c.a / 255.0);
        break;
      }
      case CStyle::kInteger: out += Format("%d", std::get<int32_t>(value)); break;
      case CStyle::kReal: out += Format("%g", static_cast<double>(std::get<float>(value))); break;
      case CStyle::kString: out += std::get<std::string>(value); break;
      case CStyle::kBoolean: out += std::get<bool>(value) ? "true" : "false"; break;
    }
    out += "; ";
  }
  return out;
}

namespace {
std::string BorderedStyleText(Color bg, Color text, Color border, bool bold, int fontSize, int radius) {
  return Format(
      "background-color:#%02x%02x%02x; color:#%02x%02x%02x; border-color:#%02x%02x%02x; border-width:1; "
      "border-radius:%d; %sfont-size:%d;",
      bg.r, bg.g, bg.b, text.r, text.g, text.b, border.r, border.g, border.b, radius,
      bold ? "font-weight-bold:true; " : "", fontSize);
}
}  // namespace

std::string BuildStyleText(Color bg, Color text, Color border, bool bold, int fontSize) {
  return BorderedStyleText(bg, text, border, bold, fontSize, 6);
}

std::string BuildSquareStyleText(Color bg, Color text, Color border, bool bold, int fontSize) {
  return BorderedStyleText(bg, text, border, bold, fontSize, 0);
}

std::string BuildBorderlessStyleText(Color bg, Color text, int fontSize) {
  return Format(
      "background-color:#%02x%02x%02x; color:#%02x%02x%02x; border-width:0; border-radius:0; font-size:%d;",
      bg.r, bg.g, bg.b, text.r, text.g, text.b, fontSize);
}

bool IsDark(Color c) {
  if (c.a == 0) return false;
  return 0.299 * c.r + 0.587 * c.g + 0.114 * c.b < 140.0;
}

Color Shade(Color c, int delta) {
  auto clamp = [delta](uint8_t v) { return static_cast<uint8_t>(std::min(255, std::max(0, v + delta))); };
  return {clamp(c.r), clamp(c.g), clamp(c.b), c.a};
}

CThemeRegistry& CThemeRegistry::Instance() {
  static CThemeRegistry registry;
  return registry;
}

CThemeRegistry::CThemeRegistry() {
  static const char kNormal[] =
      "background-color: rgba(240,240,242,1); color: rgba(13,24,44,1); border-color: rgba(200,200,210,1); "
      "border-width: 1; border-radius: 6; font-size: 13; font-weight-bold: false; font-family: sans-serif;";
  static const char kHover[] =
      "background-color: rgba(229,233,240,1); color: rgba(13,24,44,1); border-color: rgba(170,175,190,1); "
      "border-width: 1; border-radius: 6; font-size: 13; font-weight-bold: false; font-family: sans-serif;";
  static const char kActive[] =
      "background-color: rgba(9,89,204,1); color: rgba(255,255,255,1); border-color: rgba(9,89,204,1); "
      "border-width: 1; border-radius: 6; font-size: 13; font-weight-bold: true; font-family: sans-serif;";
  static const char kDisabled[] =
      "background-color: rgba(245,245,247,1); color: rgba(150,155,165,1); border-color: rgba(225,225,230,1); "
      "border-width: 1; border-radius: 6; font-size: 13; font-weight-bold: false; font-family: sans-serif;";
  const char* texts[8] = {kNormal, kHover, kActive, kNormal, kDisabled, kActive, kActive, kActive};
  for (int i = 0; i < 8; ++i) default_.styles[i] = CStyle::Parse(texts[i]);
  themes_["default"] = default_;
}

std::string MapFontconfigFamily(std::string_view family) {
  if (family.empty() || family == "system" || family == "default" || family == "sans-serif" ||
      family == "Segoe UI" || family == "MS Shell Dlg 2") {
    return "sans-serif";
  }
  if (family == "monospace" || family == "mono" || family == "Courier New" || family == "Consolas") {
    return "monospace";
  }
  if (family == "serif" || family == "Times New Roman") return "serif";
  return std::string(family);
}

}  // namespace Vy
