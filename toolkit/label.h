#pragma once

#include <string>

#include "toolkit/canvas.h"
#include "toolkit/control.h"

namespace Vy {

// CLabel is static text, one or more lines; it never receives mouse events. A one-line label
// may shorten a text too wide for it (SetElided, SetTextWithPath) instead of letting the edge
// cut it.
class CLabel : public CControl {
 public:
  CLabel() { rect_ = {0, 0, 140, 20}; }

  void SetText(const std::string& text);
  const std::string& Text() const { return text_; }
  // SetTextWithPath shows before + path + after on one line; when it does not fit, the path
  // loses characters from its middle, down to "…" and its file name, which stays whole; past
  // that the line is ended with "…". The label is elided from then on.
  void SetTextWithPath(const std::string& before, const std::string& path, const std::string& after);
  // SetElided ends a one-line text too wide for the label with "…" instead of cutting it.
  void SetElided(bool elided);
  // ShownText is the text as the last paint drew it (shortened or not).
  const std::string& ShownText() const { return shown_; }
  void SetTextColor(Color color);
  // SetFontSize turns sizes below 1 into 12.
  void SetFontSize(int size);
  void SetFontFamily(const std::string& family);
  void SetBold(bool bold);
  void SetItalic(bool italic);
  // SetAlignment: 0 left, 1 centre, 2 right.
  void SetAlignment(int alignment);
  void SetBackground(Color color);
  // SetStyle applies only the properties present in the style text.
  void SetStyle(const std::string& styleText);

  int FontSize() const { return fontSize_; }
  int Alignment() const { return alignment_; }
  bool IsBold() const { return bold_; }
  // TextColor is the colour the text is painted in now.
  Color TextColor();

  void Paint(CCanvas& canvas) override;
  bool IsHitTestVisible() const override { return false; }

 private:
  // Fit shortens the one-line text to the label's width, as SetTextWithPath says.
  std::string Fit(CCanvas& canvas) const;
  int Width(CCanvas& canvas, const std::string& text) const;

  std::string text_;
  std::string shown_;
  bool elided_ = false;
  size_t pathStart_ = 0, pathLength_ = 0;
  std::string fontFamily_ = "system";
  int fontSize_ = 13;
  bool bold_ = false;
  bool italic_ = false;
  int alignment_ = 0;
  Color textColor_{30, 30, 30, 255};
  bool explicitColor_ = false;
  Color background_{0, 0, 0, 0};
};

// ElideEnd gives `text` when it fits `width` pixels in the font, else its longest beginning
// followed by "…" that does (just "…" when nothing does).
std::string ElideEnd(CCanvas& canvas, const std::string& text, const std::string& family, int size, bool bold,
                     int width);

}  // namespace Vy
