#pragma once

#include "toolkit/window.h"

namespace Vy {
class CButton;
class CComboBox;
class CListView;
}  // namespace Vy

// CGalleryWindow shows every toolkit control in its looks.
class CGalleryWindow : public Vy::CWindow {
 public:
  CGalleryWindow();
  bool OnInit() override;

  // Controls a screenshot stages with the mouse.
  Vy::CComboBox* openCombo = nullptr;
  Vy::CListView* cards = nullptr;

 private:
  void AddSection(const char* title, int y);
  void AddButtons(int y);
  void AddLabels(int y);
  void AddEdits(int y);
  void AddLists(int y);
  void Clicked() {}
};
