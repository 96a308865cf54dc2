#pragma once

#include <functional>
#include <string>
#include <vector>

#include "toolkit/callback.h"
#include "toolkit/control.h"
#include "toolkit/style.h"

namespace Vy {

// CComboBox is a closed field showing the selected item; its drop-down list is the window's
// overlay while open.
class CComboBox : public CControl {
 public:
  CComboBox();

  template <typename T>
  void OnSelectionChanged(T* object, void (T::*method)(int)) {
    onSelectionChanged_ = Bind(object, method);
  }
  void OnSelectionChanged(std::function<void(int)> callback) { onSelectionChanged_ = std::move(callback); }

  void SetItems(const std::vector<std::string>& items);
  void AddItem(const std::string& text);
  void ClearItems();
  const std::vector<std::string>& Items() const { return items_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // SetSelectedIndex accepts -1 .. count - 1 and always notifies, also when unchanged.
  void SetSelectedIndex(int index);
  int SelectedIndex() const { return selected_; }
  std::string SelectedText() const;
  void SetMaxVisibleItems(int n);
  void SetPlaceholder(const std::string& text) { placeholder_ = text, InvalidateSelf(); }
  void SetFontSize(int size) { fontSize_ = size < 1 ? 13 : size, InvalidateSelf(); }
  // SetRowHeight gives the list fixed rows of `height` pixels with 13-pixel text that always
  // open below the field; 0 returns to rows sized from the font.
  void SetRowHeight(int height) { fixedRowHeight_ = height < 0 ? 0 : height, InvalidateSelf(); }
  // SetTheme replaces the colours (the "combobox" theme by default); a colour the theme lacks
  // paints black.
  void SetTheme(const CTheme& theme) { theme_ = theme, InvalidateSelf(); }

  void Open();
  void Close();
  bool IsOpen() const { return open_; }
  int HoveredItem() const { return hoveredItem_; }
  int FirstVisible() const { return firstVisible_; }
  // ListRect is where the open list is drawn, in window coordinates.
  Rect ListRect();

  void Paint(CCanvas& canvas) override;
  void OnEvent(Event& event) override;
  bool IsOverlay() const override { return open_; }
  bool AcceptsFocus() const override { return true; }

 private:
  int RowHeight() const { return fixedRowHeight_ > 0 ? fixedRowHeight_ : fontSize_ + 13; }
  int TextSize() const { return fixedRowHeight_ > 0 ? 13 : fontSize_; }
  int MaxFirstVisible() const { return std::max(Count() - maxVisible_, 0); }
  int ItemAt(int x, int y);
  void ShowSelection();
  void HandleKey(Event& event);

  CTheme theme_;
  std::vector<std::string> items_;
  int selected_ = -1;
  int hoveredItem_ = -1;
  int firstVisible_ = 0;
  int maxVisible_ = 8;
  int fontSize_ = 13;
  int fixedRowHeight_ = 0;
  std::string placeholder_;
  bool open_ = false;
  bool hovered_ = false;
  bool pressed_ = false;
  bool focused_ = false;
  std::function<void(int)> onSelectionChanged_;
};

}  // namespace Vy
