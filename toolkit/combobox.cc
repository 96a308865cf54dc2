#include "toolkit/combobox.h"

#include <algorithm>

#include "toolkit/window.h"

namespace Vy {

CComboBox::CComboBox() : theme_(CThemeRegistry::Instance().Theme("combobox")) {
  rect_ = {0, 0, 180, 30};
}

void CComboBox::SetItems(const std::vector<std::string>& items) {
  items_ = items;
  if (selected_ >= Count()) selected_ = Count() - 1;
  if (items_.empty()) {
    selected_ = -1;
    Close();
  }
  firstVisible_ = std::clamp(firstVisible_, 0, MaxFirstVisible());
  Invalidate();
}

void CComboBox::AddItem(const std::string& text) {
  items_.push_back(text);
  Invalidate();
}

void CComboBox::ClearItems() {
  items_.clear();
  selected_ = -1;
  firstVisible_ = 0;
  Close();
  Invalidate();
}

void CComboBox::SetSelectedIndex(int index) {
  if (index < -1 || index >= Count()) return;
  selected_ = index;
  Invalidate();
  if (onSelectionChanged_) onSelectionChanged_(index);
}

std::string CComboBox::SelectedText() const {
  return selected_ >= 0 ? items_[selected_] : std::string();
}

void CComboBox::SetMaxVisibleItems(int n) {
  maxVisible_ = std::max(n, 1);
  firstVisible_ = std::clamp(firstVisible_, 0, MaxFirstVisible());
}

void CComboBox::ShowSelection() {
  if (selected_ < 0) {
    firstVisible_ = 0;
  } else if (selected_ < firstVisible_) {
    firstVisible_ = selected_;
  } else if (selected_ >= firstVisible_ + maxVisible_) {
    firstVisible_ = selected_ - maxVisible_ + 1;
  }
  firstVisible_ = std::clamp(firstVisible_, 0, MaxFirstVisible());
}

void CComboBox::Open() {
  if (open_ || items_.empty()) return;
  open_ = true;
  hoveredItem_ = -1;
  ShowSelection();
  if (CWindow* window = Window()) window->SetOverlay(this);
  Invalidate();
}

void CComboBox::Close() {
  if (!open_) return;
  open_ = false;
  hoveredItem_ = -1;
  if (CWindow* window = Window(); window && window->Overlay() == this) window->SetOverlay(nullptr);
  Invalidate();
}

Rect CComboBox::ListRect() {
  int rows = std::min(maxVisible_, Count());
  int height = rows * RowHeight();
  int y = rect_.Bottom();
  CWindow* window = Window();
  if (fixedRowHeight_ == 0 && window && y + height > window->Bounds().height && rect_.y - height >= 0) {
    y = rect_.y - height;
  }
  return {rect_.x, y, rect_.width, height};
}

int CComboBox::ItemAt(int x, int y) {
  Rect list = ListRect();
  if (!list.Contains(x, y)) return -1;
  int index = (y - list.y) / RowHeight() + firstVisible_;
  return index >= 0 && index < Count() ? index : -1;
}

void CComboBox::Paint(CCanvas& canvas) {
  const int state = !enabled_  ? kStateDisabled
                    : pressed_ ? kStatePressed
                    : hovered_ ? kStateHover
                               : kStateNormal;
  const CStyle& style = theme_.ForState(state);
  auto color = [&style](const char* name) { return style.GetColor(name, Color{}); };
  canvas.FillRoundRect(rect_, 4.0f, color("background-color"));
  canvas.DrawRoundRect(rect_, 4.0f, color(focused_ || open_ ? "focus-color" : "border-color"), 1.0f);

  bool hasText = selected_ >= 0;
  const std::string& text = hasText ? items_[selected_] : placeholder_;
  if (!text.empty()) {
    int size = TextSize();
    Size extent = canvas.MeasureText(text, "system", size, false, false);
    canvas.Save();
    canvas.SetClip({rect_.x + 2, rect_.y + 2, std::max(rect_.width - 22, 8), std::max(rect_.height - 4, 8)});
    canvas.DrawText(text, {rect_.x + 8, rect_.y + (rect_.height - extent.height) / 2},
                    color(hasText ? "color" : "placeholder-color"), "system", size, false, false);
    canvas.Restore();
  }
  int zone = rect_.Right() - 18;
  canvas.DrawLine({zone, rect_.y + 6}, {zone, rect_.Bottom() - 6}, color("separator-color"), 1.0f);
  int cx = zone + 9, cy = rect_.y + rect_.height / 2;
  canvas.DrawLine({cx - 4, cy - 2}, {cx, cy + 2}, color("arrow-color"), 1.5f);
  canvas.DrawLine({cx, cy + 2}, {cx + 4, cy - 2}, color("arrow-color"), 1.5f);

  if (!open_) return;
  const CStyle& listStyle = theme_.ForState(kStateNormal);
  auto listColor = [&listStyle](const char* name) { return listStyle.GetColor(name, Color{}); };
  Rect list = ListRect();
  int rowHeight = RowHeight();
  canvas.FillRect(list, listColor("list-background-color"));
  int rows = std::min(maxVisible_, Count() - firstVisible_);
  for (int k = 0; k < rows; ++k) {
    int index = firstVisible_ + k;
    Rect row{list.x, list.y + k * rowHeight, list.width, rowHeight};
    if (index == hoveredItem_)
      canvas.FillRect(row, listColor("list-hover-color"));
    else if (index == selected_)
      canvas.FillRect(row, listColor("list-selection-color"));
    Size extent = canvas.MeasureText(items_[index], "system", TextSize(), false, false);
    canvas.Save();
    canvas.SetClip({row.x + 2, row.y, std::max(row.width - 4, 1), row.height});
    canvas.DrawText(items_[index], {row.x + 8, row.y + (rowHeight - extent.height) / 2}, listColor("color"),
                    "system", TextSize(), false, false);
    canvas.Restore();
    if (k + 1 < rows) {
      canvas.DrawLine({row.x + 1, row.Bottom() - 1}, {row.Right() - 1, row.Bottom() - 1},
                      listColor("list-separator-color"), 1.0f);
    }
  }
  canvas.DrawRect(list, listColor("list-border-color"), 1.0f);
}

void CComboBox::OnEvent(Event& e) {
  bool inside = rect_.Contains(e.x, e.y);
  switch (e.kind) {
    case kMouseMove: {
      bool changed = hovered_ != inside;
      hovered_ = inside;
      int item = open_ ? ItemAt(e.x, e.y) : -1;
      if (open_ && item != hoveredItem_) {
        hoveredItem_ = item;
        changed = true;
      }
      if (changed) Invalidate();
      if (inside || item >= 0) e.handled = true;
      return;
    }
    case kMouseDown: {
      if (e.button != kLeftButton) return;
      if (open_) {
        int item = ItemAt(e.x, e.y);
        if (item >= 0 || inside) e.handled = true;
        Close();
        if (item >= 0) SetSelectedIndex(item);
        return;
      }
      if (!inside) return;
      e.handled = true;
      pressed_ = true;
      Open();
      return;
    }
    case kMouseUp:
      if (pressed_) {
        pressed_ = false;
        InvalidateSelf();
      }
      if (inside || open_) e.handled = true;
      return;
    case kWheel: {
      if (!open_) return;
      e.handled = true;
      int first = std::clamp(firstVisible_ - NormalizeWheelSteps(e.wheelSteps), 0, MaxFirstVisible());
      if (first != firstVisible_) {
        firstVisible_ = first;
        Invalidate();
      }
      return;
    }
    case kKeyPressed: HandleKey(e); return;
    case kFocusGained:
      focused_ = true;
      InvalidateSelf();
      return;
    case kFocusLost:
      pressed_ = false;
      focused_ = false;
      Close();
      InvalidateSelf();
      return;
    default: return;
  }
}

void CComboBox::HandleKey(Event& e) {
  if (items_.empty()) return;
  switch (e.key) {
    case kKeyEscape:
    case kKeyEnter:
      if (!open_) return;
      e.handled = true;
      Close();
      return;
    case kKeyUp:
    case kKeyDown: {
      e.handled = true;
      int index =
          selected_ < 0 ? (e.key == kKeyDown ? 0 : Count() - 1) : selected_ + (e.key == kKeyDown ? 1 : -1);
      index = std::clamp(index, 0, Count() - 1);
      Open();
      selected_ = index;
      ShowSelection();
      SetSelectedIndex(index);
      return;
    }
    default: return;
  }
}

}  // namespace Vy
