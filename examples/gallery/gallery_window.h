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

  // Stage is what a screenshot shows: the mouse opens the drop-down with a click and rests
  // on the second card. The events go through the window's own dispatch.
  void Stage();

 private:
  void AddSection(const char* title, int y);
  void AddButtons(int y);
  void AddLabels(int y);
  void AddEdits(int y);
  void AddLists(int y);
  void Clicked() {}
  void SendMouse(int kind, int x, int y);

  Vy::CComboBox* openCombo = nullptr;
  Vy::CListView* cards = nullptr;
};
