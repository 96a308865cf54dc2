#include "toolkit/label.h"

#include <algorithm>
#include <vector>

#include "toolkit/style.h"
#include "toolkit/utf8.h"
#include "toolkit/window.h"

namespace Vy {

namespace {

constexpr const char* kEllipsis = "\u2026";

// Cut keeps the first `count` code points.
std::string Cut(const std::string& text, int count) {
  return text.substr(0, ByteOffset(text, count));
}

// LargestFitting is the largest n in 0 ... most with fits(n), for a fits that holds up to some
// n and fails beyond; -1 when not even 0 fits.
template <typename Fits>
int LargestFitting(int most, Fits fits) {
  if (!fits(0)) return -1;
  int lo = 0, hi = most;
  while (lo < hi) {
    int mid = (lo + hi + 1) / 2;
    if (fits(mid))
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

}  // namespace

void CLabel::SetText(const std::string& text) {
  pathStart_ = pathLength_ = 0;
  if (text == text_) return;
  text_ = text;
  InvalidateSelf();
}

void CLabel::SetTextWithPath(const std::string& before, const std::string& path, const std::string& after) {
  text_ = before + path + after;
  pathStart_ = before.size();
  pathLength_ = path.size();
  elided_ = true;
  InvalidateSelf();
}

void CLabel::SetElided(bool elided) {
  elided_ = elided;
  InvalidateSelf();
}

int CLabel::Width(CCanvas& canvas, const std::string& text) const {
  return canvas.MeasureText(text, fontFamily_, fontSize_, bold_, italic_).width;
}

std::string CLabel::Fit(CCanvas& canvas) const {
  if (Width(canvas, text_) <= rect_.width) return text_;
  if (pathLength_ > 0) {
    std::string before = text_.substr(0, pathStart_), path = text_.substr(pathStart_, pathLength_);
    std::string after = text_.substr(pathStart_ + pathLength_);
    size_t slash = path.find_last_of("/\\");
    size_t nameAt = slash == std::string::npos ? 0 : slash;  // the name keeps its separator
    std::string head = path.substr(0, nameAt), name = path.substr(nameAt);
    auto with = [&](int keep) { return before + Cut(head, keep) + kEllipsis + name + after; };
    int keep =
        LargestFitting(CodePointCount(head), [&](int n) { return Width(canvas, with(n)) <= rect_.width; });
    if (keep >= 0) return with(keep);
  }
  return ElideEnd(canvas, text_, fontFamily_, fontSize_, bold_, rect_.width);
}

std::string ElideEnd(CCanvas& canvas, const std::string& text, const std::string& family, int size, bool bold,
                     int width) {
  auto measure = [&](const std::string& s) { return canvas.MeasureText(s, family, size, bold, false).width; };
  if (measure(text) <= width) return text;
  auto ended = [&](int keep) { return Cut(text, keep) + kEllipsis; };
  int keep = LargestFitting(CodePointCount(text), [&](int n) { return measure(ended(n)) <= width; });
  return ended(std::max(keep, 0));
}

void CLabel::SetTextColor(Color color) {
  textColor_ = color;
  explicitColor_ = true;
  InvalidateSelf();
}

void CLabel::SetFontSize(int size) {
  fontSize_ = size < 1 ? 12 : size;
  InvalidateSelf();
}

void CLabel::SetFontFamily(const std::string& family) {
  fontFamily_ = family;
  InvalidateSelf();
}

void CLabel::SetBold(bool bold) {
  bold_ = bold;
  InvalidateSelf();
}

void CLabel::SetItalic(bool italic) {
  italic_ = italic;
  InvalidateSelf();
}

void CLabel::SetAlignment(int alignment) {
  alignment_ = alignment == 1 || alignment == 2 ? alignment : 0;
  InvalidateSelf();
}

void CLabel::SetBackground(Color color) {
  background_ = color;
  InvalidateSelf();
}

void CLabel::SetStyle(const std::string& styleText) {
  CStyle style = CStyle::Parse(styleText);
  if (style.Has("color")) {
    textColor_ = style.GetColor("color", textColor_);
    explicitColor_ = true;
  }
  if (style.Has("background-color")) background_ = style.GetColor("background-color", background_);
  if (style.Has("font-size")) fontSize_ = std::max(6, style.GetInt("font-size", fontSize_));
  if (style.Has("font-family")) fontFamily_ = style.GetString("font-family", fontFamily_);
  if (style.Has("font-weight-bold")) bold_ = style.GetBool("font-weight-bold", bold_);
  if (style.Has("font-style-italic")) italic_ = style.GetBool("font-style-italic", italic_);
  if (style.Has("text-align")) {
    std::string align = style.GetString("text-align", "");
    alignment_ = align == "center" ? 1 : align == "right" ? 2 : 0;
  }
  InvalidateSelf();
}

Color CLabel::TextColor() {
  Color color = textColor_;
  if (!explicitColor_) {
    Color under = background_;
    if (under.a == 0) {
      CWindow* window = Window();
      under = window ? window->Background() : Color{240, 240, 240, 255};
    }
    color = IsDark(under) ? Color{235, 238, 244, 255} : Color{30, 30, 30, 255};
  }
  if (!enabled_) return IsDark(color) ? Color{140, 144, 152, 255} : Color{150, 150, 155, 255};
  return color;
}

void CLabel::Paint(CCanvas& canvas) {
  if (background_.a != 0) canvas.FillRect(rect_, background_);
  shown_ = elided_ && text_.find('\n') == std::string::npos ? Fit(canvas) : text_;
  if (shown_.empty()) return;
  std::vector<std::string> lines;
  for (size_t start = 0;;) {
    size_t lf = shown_.find('\n', start);
    std::string line = shown_.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    if (lf == std::string::npos) break;
    start = lf + 1;
  }
  int lineHeight = 0;
  for (const auto& line : lines) {
    if (!line.empty()) {
      lineHeight =
          std::max(lineHeight, canvas.MeasureText(line, fontFamily_, fontSize_, bold_, italic_).height);
    }
  }
  if (lineHeight == 0) lineHeight = fontSize_;
  Color color = TextColor();
  int spare = rect_.height - static_cast<int>(lines.size()) * lineHeight;
  int y = spare > 1 ? rect_.y + spare / 2 : rect_.y;
  for (const auto& line : lines) {
    if (!line.empty()) {
      int width = canvas.MeasureText(line, fontFamily_, fontSize_, bold_, italic_).width;
      int x = alignment_ == 1   ? rect_.x + (rect_.width - width) / 2
              : alignment_ == 2 ? rect_.x + rect_.width - width
                                : rect_.x;
      canvas.DrawText(line, {x, y}, color, fontFamily_, fontSize_, bold_, italic_);
    }
    y += lineHeight;
  }
}

}  // namespace Vy
