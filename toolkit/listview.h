#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "toolkit/callback.h"
#include "toolkit/control.h"

namespace Vy {

// CListView is a scrolling list shown as a table with a header, a plain list, or cards, with
// single or multiple selection and an optional custom row painter (table and list modes;
// cards are always drawn by the card painter).
class CListView : public CControl {
 public:
  struct Item {
    std::string text;  // first column, list text or card title
    std::string secondText;
    std::vector<std::string> cells;  // further columns, or card detail values
    uint64_t userData = 0;
  };
  enum Mode { kTable = 0, kList = 1, kCards = 2 };
  using RowPainter =
      std::function<void(CCanvas&, const Item&, const Rect&, int index, bool selected, bool hovered)>;

  CListView() { rect_ = {0, 0, 300, 200}; }

  template <typename T>
  void OnSelectionChanged(T* object, void (T::*method)(int)) {
    onSelectionChanged_ = Bind(object, method);
  }
  void OnSelectionChanged(std::function<void(int)> callback) { onSelectionChanged_ = std::move(callback); }

  void SetColumns(const std::vector<std::string>& titles);
  void SetColumnWidth(int index, int width);
  void SetRowHeight(int height);
  void SetHeaderHeight(int height);
  void SetShowHeader(bool show);
  void SetStriped(bool striped);
  void SetCardHeight(int height);
  void SetAlternateCardColors(bool alternate);
  void SetMode(int mode);
  void SetMultiSelect(bool multi);
  void SetItemPainter(RowPainter painter);

  void InsertItem(int index, const Item& item);
  void AddItem(const Item& item) { InsertItem(Count(), item); }
  void SetItem(int index, const Item& item);
  void RemoveItem(int index);
  void Clear();
  // SetSelectedIndex accepts -1 .. count - 1, scrolls the row into view and notifies.
  void SetSelectedIndex(int index);
  int SelectedIndex() const { return selected_; }
  const std::vector<int>& SelectedIndices() const { return selection_; }
  bool IsSelected(int index) const;
  Item GetItem(int index) const;
  int Count() const { return static_cast<int>(items_.size()); }

  void ScrollTo(int first);
  void ScrollToTop() { ScrollTo(0); }
  void ScrollToBottom() { ScrollTo(MaxFirstRow()); }
  void EnsureVisible(int index);
  void ScrollBy(int rows) { ScrollTo(firstRow_ + rows); }

  int Mode() const { return mode_; }
  int RowHeight() const { return rowHeight_; }
  int FirstRow() const { return firstRow_; }
  int HoveredIndex() const { return hovered_; }
  const std::vector<std::string>& Columns() const { return columns_; }
  // AutomaticCardHeight is the card height used when none is set.
  int AutomaticCardHeight() const;
  // Geometry, in window coordinates.
  Rect BodyRect() const;
  Rect TrackRect() const;
  Rect ThumbRect() const;
  bool Scrolls() const;
  int RowAt(int x, int y) const;
  int RowsPerPage() const;

  void Paint(CCanvas& canvas) override;
  void OnEvent(Event& event) override;
  bool AcceptsFocus() const override { return true; }

  // CardTexts gives a card's initials and its detail lines (label, value), as drawn.
  static std::string Initials(const std::string& title);
  std::vector<std::pair<std::string, std::string>> CardLines(const Item& item) const;

 private:
  bool HeaderShown() const { return mode_ == kTable && showHeader_; }
  int ColumnWidth(size_t index) const { return index < widths_.size() ? widths_[index] : 150; }
  int TotalHeight() const { return Count() * rowHeight_; }
  int MaxFirstRow() const { return std::max(Count() - RowsPerPage(), 0); }
  int ThumbLength() const;
  void ApplyCardHeight();
  void PaintHeader(CCanvas& canvas);
  void PaintRow(CCanvas& canvas, int index, const Rect& row);
  void PaintCard(CCanvas& canvas, int index, const Rect& row);
  void SelectRow(int index, uint32_t modifiers);
  void HandleKey(Event& event);
  void Notify();

  std::vector<Item> items_;
  std::vector<std::string> columns_;
  std::vector<int> widths_{200};
  int mode_ = kTable;
  int selected_ = -1;
  std::vector<int> selection_;
  bool multiSelect_ = false;
  int hovered_ = -1;
  int firstRow_ = 0;
  int rowHeight_ = 28;
  int headerHeight_ = 30;
  bool showHeader_ = true;
  bool striped_ = true;
  int tableRowHeight_ = 28;
  int cardHeight_ = 0;
  bool alternateCards_ = false;
  bool draggingThumb_ = false;
  int grabOffset_ = 0;
  std::function<void(int)> onSelectionChanged_;
  RowPainter painter_;
};

}  // namespace Vy
