#include "toolkit/listview.h"

#include <algorithm>

#include "core/text.h"
#include "toolkit/utf8.h"
#include "toolkit/window.h"

namespace Vy {
namespace {

constexpr Color kBackground{255, 255, 255, 255};
constexpr Color kStripe{245, 245, 250, 255};
constexpr Color kSelectedRow{0, 120, 215, 60};
constexpr Color kHoveredRow{0, 120, 215, 30};
constexpr Color kText{0, 0, 0, 255};
constexpr Color kHeader{230, 230, 230, 255};
constexpr Color kGrid{220, 220, 220, 255};
constexpr Color kTrack{238, 238, 238, 255};
constexpr Color kThumb{170, 170, 170, 255};
constexpr Color kFocusFrame{0, 120, 215, 255};

constexpr Color kCircleColors[8] = {{16, 43, 94, 255},  {22, 116, 184, 255}, {20, 122, 98, 255},
                                    {163, 74, 27, 255}, {112, 59, 142, 255}, {157, 23, 43, 255},
                                    {0, 117, 143, 255}, {192, 90, 0, 255}};

struct CardColors {
  Color background, border, title, label, value;
};

CardColors CardColorsFor(bool alternate, bool selected, bool hovered) {
  CardColors c;
  if (!alternate) {
    c.background = selected  ? Color{232, 241, 255, 255}
                   : hovered ? Color{246, 249, 255, 255}
                             : Color{255, 255, 255, 255};
    c.border = selected  ? Color{9, 89, 204, 255}
               : hovered ? Color{140, 162, 202, 255}
                         : Color{222, 227, 234, 255};
    c.title = {13, 24, 44, 255};
    c.label = {104, 112, 130, 255};
    c.value = {30, 35, 52, 255};
  } else {
    c.background = selected  ? Color{96, 112, 135, 255}
                   : hovered ? Color{38, 50, 76, 255}
                             : Color{232, 241, 255, 255};
    c.border = selected ? Color{200, 215, 235, 255} : Color{140, 162, 202, 255};
    c.title = {255, 255, 255, 255};
    c.label = {200, 210, 225, 255};
    c.value = {230, 241, 255, 255};
  }
  return c;
}

char32_t Upper(char32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;  // Latin-1 letters: á, é, ñ ...
  return cp;
}

bool IsBlank(char32_t cp) {
  return cp == ' ' || cp == '\t';
}

}  // namespace

void CListView::SetColumns(const std::vector<std::string>& titles) {
  columns_ = titles;
  while (widths_.size() < columns_.size()) widths_.push_back(150);
  ApplyCardHeight();
  Invalidate();
}

void CListView::SetColumnWidth(int index, int width) {
  if (index < 0 || static_cast<size_t>(index) >= widths_.size()) return;
  widths_[index] = width;
  Invalidate();
}

void CListView::SetRowHeight(int height) {
  height = std::max(height, 16);
  tableRowHeight_ = height;
  rowHeight_ = height;
  if (mode_ == kCards) cardHeight_ = height;
  ScrollTo(firstRow_);
  Invalidate();
}

void CListView::SetHeaderHeight(int height) {
  headerHeight_ = std::max(height, 20);
  Invalidate();
}

void CListView::SetShowHeader(bool show) {
  showHeader_ = show;
  Invalidate();
}

void CListView::SetStriped(bool striped) {
  striped_ = striped;
  Invalidate();
}

void CListView::SetCardHeight(int height) {
  cardHeight_ = std::max(height, 0);
  ApplyCardHeight();
  Invalidate();
}

void CListView::SetAlternateCardColors(bool alternate) {
  alternateCards_ = alternate;
  Invalidate();
}

int CListView::AutomaticCardHeight() const {
  int lines = std::max(static_cast<int>(columns_.size()) - 1, 1);
  return std::max(20 + (5 + 6) * 2 + lines * 16, 16);
}

void CListView::ApplyCardHeight() {
  if (mode_ == kCards) rowHeight_ = cardHeight_ > 0 ? cardHeight_ : AutomaticCardHeight();
}

void CListView::SetMode(int mode) {
  if (mode < kTable || mode > kCards) return;
  mode_ = mode;
  firstRow_ = 0;
  if (mode_ == kCards)
    ApplyCardHeight();
  else
    rowHeight_ = tableRowHeight_;
  Invalidate();
}

void CListView::SetMultiSelect(bool multi) {
  multiSelect_ = multi;
  if (!multi && selection_.size() > 1) {
    // erase rather than resize(1): GCC 12 reports a false -Warray-bounds on the latter.
    selection_.erase(selection_.begin() + 1, selection_.end());
    selected_ = selection_.front();
  }
  Invalidate();
}

void CListView::SetItemPainter(RowPainter painter) {
  painter_ = std::move(painter);
  Invalidate();
}

void CListView::InsertItem(int index, const Item& item) {
  if (index < 0 || index > Count()) return;
  items_.insert(items_.begin() + index, item);
  if (selected_ >= index) ++selected_;
  // The other selected rows move with their items too.
  for (int& s : selection_) {
    if (s >= index) ++s;
  }
  Invalidate();
}

void CListView::SetItem(int index, const Item& item) {
  if (index < 0 || index >= Count()) return;
  items_[index] = item;
  Invalidate();
}

void CListView::RemoveItem(int index) {
  if (index < 0 || index >= Count()) return;
  items_.erase(items_.begin() + index);
  if (selected_ >= index) selected_ = selected_ - 1 >= 0 ? selected_ - 1 : -1;
  if (multiSelect_) {
    std::erase(selection_, index);
    for (int& s : selection_) {
      if (s > index) --s;
    }
  } else {
    selection_.clear();
    if (selected_ >= 0) selection_.push_back(selected_);
  }
  if (hovered_ >= Count()) hovered_ = -1;
  firstRow_ = std::clamp(firstRow_, 0, MaxFirstRow());
  Invalidate();
}

void CListView::Clear() {
  items_.clear();
  selection_.clear();
  selected_ = -1;
  hovered_ = -1;
  firstRow_ = 0;
  Invalidate();
}

void CListView::SetSelectedIndex(int index) {
  if (index < -1 || index >= Count()) return;
  selected_ = index;
  selection_.clear();
  if (index >= 0) {
    selection_.push_back(index);
    EnsureVisible(index);
  }
  Notify();
  Invalidate();
}

bool CListView::IsSelected(int index) const {
  return std::find(selection_.begin(), selection_.end(), index) != selection_.end();
}

CListView::Item CListView::GetItem(int index) const {
  return index >= 0 && index < Count() ? items_[index] : Item{};
}

void CListView::ScrollTo(int first) {
  first = std::clamp(first, 0, MaxFirstRow());
  if (first == firstRow_) return;
  firstRow_ = first;
  Invalidate();
}

void CListView::EnsureVisible(int index) {
  if (index < 0 || index >= Count()) return;
  int first = firstRow_;
  if (index < first) first = index;
  if (index >= first + RowsPerPage()) first = index - RowsPerPage() + 1;
  ScrollTo(first);
}

Rect CListView::BodyRect() const {
  int header = HeaderShown() ? headerHeight_ : 0;
  return {rect_.x, rect_.y + header, rect_.width, rect_.height - header};
}

int CListView::RowsPerPage() const {
  return std::max(BodyRect().height / rowHeight_, 1);
}

bool CListView::Scrolls() const {
  return TotalHeight() > BodyRect().height;
}

int CListView::RowAt(int x, int y) const {
  Rect body = BodyRect();
  if (!body.Contains(x, y)) return -1;
  int row = (y - body.y) / rowHeight_ + firstRow_;
  return row >= 0 && row < Count() ? row : -1;
}

Rect CListView::TrackRect() const {
  Rect body = BodyRect();
  return {rect_.Right() - 12, body.y, 12, body.height};
}

int CListView::ThumbLength() const {
  int body = BodyRect().height;
  int total = std::max(TotalHeight(), 1);
  return std::min(std::max(static_cast<int>(static_cast<int64_t>(body) * body / total), 24), body);
}

Rect CListView::ThumbRect() const {
  Rect body = BodyRect();
  int total = TotalHeight();
  int length = ThumbLength();
  int range = total - body.height;
  int top = body.y;
  if (range > 0) {
    top += static_cast<int>(static_cast<int64_t>(body.height - length) *
                            std::min(rowHeight_ * firstRow_, range) / range);
  }
  return {rect_.Right() - 12, top, 12, length};
}

void CListView::Notify() {
  if (onSelectionChanged_) onSelectionChanged_(selected_);
}

void CListView::Paint(CCanvas& canvas) {
  canvas.FillRect(rect_, kBackground);
  if (HeaderShown()) PaintHeader(canvas);
  Rect body = BodyRect();
  canvas.Save();
  canvas.SetClip(body);
  for (int k = 0, index = firstRow_; index < Count() && k * rowHeight_ < body.height; ++k, ++index) {
    Rect row{rect_.x, body.y + k * rowHeight_, rect_.width, rowHeight_};
    if (mode_ == kCards) {
      PaintCard(canvas, index, row);
      continue;
    }
    PaintRow(canvas, index, row);
    if (index + 1 < Count())
      canvas.DrawLine({row.x, row.Bottom() - 1}, {row.Right(), row.Bottom() - 1}, kGrid, 1.0f);
  }
  canvas.Restore();
  if (Scrolls()) {
    Rect track = TrackRect();
    Rect thumb = ThumbRect();
    canvas.FillRect(track, kTrack);
    canvas.FillRect({rect_.Right() - 10, thumb.y + 1, 8, std::max(thumb.height - 2, 8)}, kThumb);
  }
  if (mode_ != kCards) canvas.DrawRect(rect_, kGrid, 1.0f);
  if (CWindow* window = Window(); window && window->Focused() == this)
    canvas.DrawRect(rect_, kFocusFrame, 2.0f);
}

void CListView::PaintHeader(CCanvas& canvas) {
  canvas.FillRect({rect_.x, rect_.y, rect_.width, headerHeight_}, kHeader);
  canvas.DrawLine({rect_.x, rect_.y + headerHeight_ - 1}, {rect_.Right(), rect_.y + headerHeight_ - 1}, kGrid,
                  1.0f);
  int x = rect_.x;
  for (size_t c = 0; c < columns_.size(); ++c) {
    int width = ColumnWidth(c);
    canvas.Save();
    canvas.SetClip({x, rect_.y, std::max(width - 6, 8), headerHeight_});
    canvas.DrawText(columns_[c], {x + 6, rect_.y + (headerHeight_ - 14) / 2}, kText, "system", 13, true,
                    false);
    canvas.Restore();
    if (c + 1 < columns_.size()) {
      canvas.DrawLine({x + width - 4, rect_.y + 4}, {x + width - 4, rect_.y + headerHeight_ - 4}, kGrid,
                      1.0f);
    }
    x += width;
  }
}

void CListView::PaintRow(CCanvas& canvas, int index, const Rect& row) {
  const Item& item = items_[index];
  bool selected = IsSelected(index);
  bool hovered = index == hovered_;
  if (painter_) {
    painter_(canvas, item, row, index, selected, hovered);
    return;
  }
  Color fill = selected                     ? kSelectedRow
               : hovered                    ? kHoveredRow
               : striped_ && index % 2 == 1 ? kStripe
                                            : kBackground;
  if (fill.a != 0) canvas.FillRect(row, fill);
  auto drawCell = [&](const std::string& text, const Rect& clip) {
    if (text.empty()) return;
    int height = canvas.MeasureText(text, "system", 13, false, false).height;
    canvas.Save();
    canvas.SetClip(clip);
    canvas.DrawText(text, {clip.x + 6, row.y + (row.height - height) / 2}, kText, "system", 13, false, false);
    canvas.Restore();
  };
  if (mode_ == kTable && !columns_.empty()) {
    int x = row.x;
    for (size_t c = 0; c < columns_.size(); ++c) {
      int width = ColumnWidth(c);
      const std::string empty;
      const std::string& text = c == 0 ? item.text : c - 1 < item.cells.size() ? item.cells[c - 1] : empty;
      drawCell(text, {x, row.y, std::max(width - 6, 8), row.height});
      if (c + 1 < columns_.size()) {
        canvas.DrawLine({x + width - 4, row.y + 4}, {x + width - 4, row.Bottom() - 4}, kGrid, 1.0f);
      }
      x += width;
    }
  } else {
    drawCell(item.text, {row.x, row.y, row.width - 2, row.height});
  }
}

std::string CListView::Initials(const std::string& title) {
  std::vector<char32_t> cps;
  for (size_t i = 0; i < title.size();) {
    char32_t cp = DecodeUtf8(title, &i);
    if (cp != kInvalidUtf8) cps.push_back(cp);
  }
  size_t first = 0;
  while (first < cps.size() && IsBlank(cps[first])) ++first;
  if (first >= cps.size()) return {};
  std::string out;
  AppendUtf8(&out, Upper(cps[first]));
  size_t second = first + 1;
  size_t blank = second;
  while (blank < cps.size() && !IsBlank(cps[blank])) ++blank;
  if (blank < cps.size()) {
    second = blank;
    while (second < cps.size() && IsBlank(cps[second])) ++second;
  }
  if (second < cps.size()) AppendUtf8(&out, Upper(cps[second]));
  return out;
}

std::vector<std::pair<std::string, std::string>> CListView::CardLines(const Item& item) const {
  static const char* const kDefaultLabels[] = {"Emisor:", "Validez:", "Serie:", "DNI:"};
  size_t count = std::min<size_t>(std::max<int>(static_cast<int>(columns_.size()) - 1, 1), item.cells.size());
  std::vector<std::pair<std::string, std::string>> lines;
  for (size_t k = 0; k < count; ++k) {
    std::string label = k + 1 < columns_.size() && !columns_[k + 1].empty()
                            ? columns_[k + 1] + ":"
                            : kDefaultLabels[std::min<size_t>(k, 3)];
    std::string value = item.cells[k].empty() ? "(---)" : item.cells[k];
    if (value.size() > 34) {
      // Cut at a character boundary so that no UTF-8 sequence is split.
      size_t cut = 31;
      while (cut > 0 && IsContinuation(static_cast<unsigned char>(value[cut]))) --cut;
      value = value.substr(0, cut) + "...";
    }
    lines.emplace_back(std::move(label), std::move(value));
  }
  return lines;
}

void CListView::PaintCard(CCanvas& canvas, int index, const Rect& row) {
  const Item& item = items_[index];
  bool selected = IsSelected(index);
  bool hovered = index == hovered_;
  Rect card{row.x + 8, row.y + 5, row.width - 16 - 14, row.height - 10};
  if (card.Empty()) return;
  CardColors colors = CardColorsFor(alternateCards_, selected, hovered);
  canvas.FillRoundRect(card, 8.0f, colors.background);
  canvas.DrawRoundRect(card, 8.0f, colors.border, selected ? 2.0f : 1.0f);

  int size = std::max(std::min(38, card.height - 12), 18);
  Rect circle{card.x + 10, card.y + (card.height - size) / 2, size, size};
  canvas.FillEllipse(circle, kCircleColors[index % 8]);
  std::string initials = Initials(item.text);
  if (!initials.empty()) {
    Size extent = canvas.MeasureText(initials, "system", 12, true, false);
    canvas.DrawText(initials, {circle.x + (size - extent.width) / 2, circle.y + (size - extent.height) / 2},
                    {255, 255, 255, 255}, "system", 12, true, false);
  }

  int textX = circle.Right() + 10;
  Rect column{textX, card.y, std::max(card.Right() - 10 - textX, 0), card.height};
  canvas.Save();
  canvas.SetClip(column);
  int titleY = card.y + 6;
  canvas.DrawText(item.text.empty() ? "(sin cert)" : item.text, {textX, titleY}, colors.title, "system", 14,
                  true, false);
  int y = titleY + 20;
  for (const auto& [label, value] : CardLines(item)) {
    if (y + 16 > card.Bottom()) break;
    canvas.DrawText(label, {textX, y}, colors.label, "system", 12, false, false);
    int labelWidth = canvas.MeasureText(label, "system", 12, false, false).width;
    canvas.DrawText(value, {textX + labelWidth + 8, y}, colors.value, "system", 12, false, false);
    y += 16;
  }
  canvas.Restore();
}

void CListView::SelectRow(int row, uint32_t modifiers) {
  if (multiSelect_ && (modifiers & kModControl)) {
    if (IsSelected(row))
      std::erase(selection_, row);
    else
      selection_.push_back(row);
  } else if (multiSelect_ && (modifiers & kModShift)) {
    int from = selected_ >= 0 ? selected_ : row;
    selection_.clear();
    for (int i = std::min(from, row); i <= std::max(from, row); ++i) selection_.push_back(i);
  } else {
    selection_.assign(1, row);
  }
  selected_ = row;
  Notify();
  Invalidate();
}

void CListView::OnEvent(Event& e) {
  switch (e.kind) {
    case kMouseMove: {
      if (draggingThumb_) {
        e.handled = true;
        Rect body = BodyRect();
        int room = body.height - ThumbLength();
        double ratio =
            room > 0 ? std::clamp(static_cast<double>(e.y - grabOffset_ - body.y) / room, 0.0, 1.0) : 0.0;
        // The end of the track reaches the last row even when the range is not a whole
        // number of rows.
        ScrollTo(ratio >= 1.0 ? MaxFirstRow()
                              : static_cast<int>((TotalHeight() - body.height) * ratio / rowHeight_));
        return;
      }
      int row = RowAt(e.x, e.y);
      if (row != hovered_) {
        hovered_ = row;
        Invalidate();
      }
      return;
    }
    case kMouseDown: {
      if (e.button != kLeftButton) return;
      if (Scrolls() && TrackRect().Contains(e.x, e.y)) {
        e.handled = true;
        Rect thumb = ThumbRect();
        if (!thumb.Contains(e.x, e.y)) {
          grabOffset_ = thumb.height / 2;
          draggingThumb_ = true;
          Event move = e;
          move.kind = kMouseMove;
          OnEvent(move);
        }
        grabOffset_ = e.y - ThumbRect().y;
        draggingThumb_ = true;
        return;
      }
      int row = RowAt(e.x, e.y);
      if (row < 0) return;
      e.handled = true;
      SelectRow(row, e.modifiers);
      return;
    }
    case kMouseUp:
      if (!draggingThumb_) return;
      draggingThumb_ = false;
      e.handled = true;
      return;
    case kDoubleClick:
      if (RowAt(e.x, e.y) >= 0) e.handled = true;
      return;
    case kWheel:
      e.handled = true;
      ScrollBy(-3 * std::clamp(NormalizeWheelSteps(e.wheelSteps), -3, 3));
      return;
    case kKeyPressed: HandleKey(e); return;
    case kFocusGained:
    case kFocusLost: Invalidate(); return;
    default: return;
  }
}

void CListView::HandleKey(Event& e) {
  if (items_.empty()) return;
  int index = selected_;
  switch (e.key) {
    case kKeyUp: index -= 1; break;
    case kKeyDown: index += 1; break;
    case kKeyHome: index = 0; break;
    case kKeyEnd: index = Count() - 1; break;
    case kKeyPageUp: index -= RowsPerPage(); break;
    case kKeyPageDown: index += RowsPerPage(); break;
    default: return;
  }
  e.handled = true;
  index = std::clamp(index, 0, Count() - 1);
  if (index == selected_) return;
  if (multiSelect_ && (e.modifiers & kModShift) && selected_ >= 0) {
    selection_.clear();
    for (int i = std::min(selected_, index); i <= std::max(selected_, index); ++i) selection_.push_back(i);
  } else {
    selection_.assign(1, index);
  }
  selected_ = index;
  EnsureVisible(index);
  Notify();
  Invalidate();
}

}  // namespace Vy
