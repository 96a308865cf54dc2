#pragma once

#include <string>
#include <vector>

#include "examples/TalvenNet/palette.h"
#include "examples/TalvenNet/text_fit.h"
#include "toolkit/edit.h"
#include "toolkit/window.h"

namespace Vy {
class CButton;
}

// Message kinds: they change only the colour of the dialog's button.
enum MessageKind { kMessageInfo = 0, kMessageNotice = 1, kMessageError = 2 };

// CWrapLabel is text word-wrapped to its width, drawn from the top.
class CWrapLabel : public Vy::CControl {
 public:
  void SetText(const std::string& text) { text_ = text, InvalidateSelf(); }
  const std::string& Text() const { return text_; }
  void SetFont(const Font& font) { font_ = font, InvalidateSelf(); }
  void SetColor(Vy::Color color) { color_ = color, InvalidateSelf(); }
  void Paint(Vy::CCanvas& canvas) override;
  bool IsHitTestVisible() const override { return false; }

 private:
  std::string text_;
  Font font_;
  Vy::Color color_{24, 32, 46, 255};
};

// CMsgDialog shows one result or error: sized from the text's lines, an "Aceptar" button
// coloured by the kind. Enter and the button close it with 1, Escape with 2.
class CMsgDialog : public Vy::CDialog {
 public:
  CMsgDialog(Vy::CWindow* parent, const Palette& palette, const std::string& title, const std::string& text,
             int kind);
  // SizeFor is the dialog's client size for a text: 7 pixels per character of the longest
  // line + 60 (360 to 760) by 19 per line + 100 (140 to 520).
  static Vy::Size SizeFor(const std::string& text);

  bool OnInit() override;
  void OnKeyDown(uint16_t key, uint32_t modifiers) override;
  void Paint(Vy::CCanvas& canvas) override;
  const std::string& Text() const { return text_; }
  int Kind() const { return kind_; }
  Vy::CButton* Button() const { return button_; }

 private:
  const Palette& palette_;
  std::string text_;
  int kind_;
  Vy::CButton* button_ = nullptr;
};

// ShowMessage shows a message dialog modally and returns its result.
int ShowMessage(Vy::CWindow* parent, const Palette& palette, const std::string& title,
                const std::string& text, int kind);

// CPinBox is the PIN field: masked, digits only, at most 8 of them.
class CPinBox : public Vy::CEdit {
 public:
  CPinBox();
  ~CPinBox() override;
  void OnEvent(Vy::Event& event) override;
};

// CPinDialog asks for the signature PIN. It opens with an empty box (a filled-in one would be
// sent as the voter's PIN and spend one of the card's tries); the caret blinks on timer 2.
class CPinDialog : public Vy::CDialog {
 public:
  CPinDialog(Vy::CWindow* parent, const Palette& palette, const std::string& prompt);
  ~CPinDialog() override;

  bool OnInit() override;
  void OnKeyDown(uint16_t key, uint32_t modifiers) override;
  void OnTimer(unsigned id) override;
  void OnFocus() override;
  void OnBlur() override;
  // Pin is the typed PIN once the dialog has closed with 1.
  const std::string& Pin() const { return pin_; }
  CPinBox* Box() const { return box_; }
  bool CaretShown() const { return caretShown_; }

 private:
  void Accept();
  void Forward(int kind);

  const Palette& palette_;
  std::string prompt_;
  std::string pin_;
  CPinBox* box_ = nullptr;
  bool caretShown_ = true;
};

// AskPin shows the PIN dialog; it returns the PIN, or empty when it was cancelled or nothing
// was typed.
std::string AskPin(Vy::CWindow* parent, const Palette& palette, const std::string& prompt);

// CGuideText is the help text: wrapped once to its width, scrolled by whole lines.
class CGuideText : public Vy::CControl {
 public:
  explicit CGuideText(std::string text) : text_(std::move(text)) {}
  void Paint(Vy::CCanvas& canvas) override;
  void OnEvent(Vy::Event& event) override;
  // Scroll moves three lines per wheel step, up for positive steps, within the bounds.
  void Scroll(int wheelSteps);
  int FirstLine() const { return first_; }
  int LineCount() const { return static_cast<int>(lines_.size()); }
  // LastFirstLine is the largest first line: the line count less the lines that fit.
  int LastFirstLine() const;
  void SetColor(Vy::Color color) { color_ = color; }

 private:
  std::string text_;
  std::vector<std::string> lines_;
  bool wrapped_ = false;
  int lineHeight_ = 15;
  int first_ = 0;
  Vy::Color color_{24, 32, 46, 255};
};

// CPicture draws an image file, or a rounded box with a word when the file cannot be drawn.
class CPicture : public Vy::CControl {
 public:
  CPicture(std::string path, std::string word, Vy::Point wordAt)
      : path_(std::move(path)), word_(std::move(word)), wordAt_(wordAt) {}
  void Paint(Vy::CCanvas& canvas) override;
  bool IsHitTestVisible() const override { return false; }
  void SetColors(Vy::Color fill, Vy::Color ink) { fill_ = fill, ink_ = ink; }

 private:
  std::string path_;
  std::string word_;
  Vy::Point wordAt_;
  Vy::Color fill_{0, 100, 180, 255};
  Vy::Color ink_{255, 255, 255, 255};
};

// GuideText is the help dialog's 41 lines, joined by line feeds.
const std::string& GuideText();

// CHelpDialog is the usage guide with the DNIe picture.
class CHelpDialog : public Vy::CDialog {
 public:
  CHelpDialog(Vy::CWindow* parent, const Palette& palette);
  bool OnInit() override;
  void OnKeyDown(uint16_t key, uint32_t modifiers) override;
  void OnMouseWheel(uint32_t modifiers, int steps, Vy::Point point) override;
  CGuideText* Guide() const { return guide_; }

 private:
  const Palette& palette_;
  CGuideText* guide_ = nullptr;
};
