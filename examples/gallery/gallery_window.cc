#include "examples/gallery/gallery_window.h"

#include <string>

#include "toolkit/button.h"
#include "toolkit/combobox.h"
#include "toolkit/edit.h"
#include "toolkit/label.h"
#include "toolkit/listview.h"
#include "toolkit/style.h"

using namespace Vy;

namespace {

// LookTheme gives every state of a button one look of the default theme, so that looks that
// normally need the mouse can be shown side by side.
CTheme LookTheme(int state) {
  CTheme theme;
  for (auto& style : theme.styles) style = CThemeRegistry::Instance().Default().ForState(state);
  return theme;
}

CListView::Item Certificate(const std::string& holder, const std::string& issuer, const std::string& validity,
                            const std::string& serial) {
  CListView::Item item;
  item.text = holder;
  item.cells = {issuer, validity, serial};
  return item;
}

}  // namespace

CGalleryWindow::CGalleryWindow() {
  SetTitle("Galeria Vy");
  SetClientSize({1120, 800});
}

bool CGalleryWindow::OnInit() {
  CLabel* heading = AddLabel("Galeria de controles Vy", {20, 10, 600, 30});
  heading->SetStyle("font-size: 20; font-weight-bold: true; color: #0d182c;");
  AddButtons(50);
  AddLabels(140);
  AddEdits(250);
  AddLists(330);
  return true;
}

void CGalleryWindow::SendMouse(int kind, int x, int y) {
  Event e;
  e.kind = kind;
  e.x = x;
  e.y = y;
  Dispatch(e);
}

void CGalleryWindow::Stage() {
  Rect combo = openCombo->Bounds();
  for (int kind : {kMouseMove, kMouseDown, kMouseUp})
    SendMouse(kind, combo.x + combo.width / 2, combo.y + combo.height / 2);
  SendMouse(kMouseMove, cards->Bounds().x + cards->Bounds().width / 2, cards->Bounds().y + 90 + 45);
}

void CGalleryWindow::AddSection(const char* title, int y) {
  CLabel* label = AddLabel(title, {20, y, 1080, 20});
  label->SetStyle("font-size: 13; font-weight-bold: true; color: #4a5468;");
}

void CGalleryWindow::AddButtons(int y) {
  AddSection("Botones: normal, encima, pulsado, marcado, deshabilitado, plano, estilo propio", y);
  const int top = y + 26;
  int x = 20;
  auto next = [&](const char* text) {
    CButton* b = AddButton(text, {x, top, 140, 34});
    b->OnClick(this, &CGalleryWindow::Clicked);
    x += 154;
    return b;
  };
  next("Normal");
  next("Encima")->SetTheme(LookTheme(kStateHover));
  next("Pulsado")->SetTheme(LookTheme(kStatePressed));
  CButton* checked = next("Marcado");
  checked->SetToggle(true);
  checked->SetChecked(true);
  next("Deshabilitado")->SetEnabled(false);
  CButton* flat = next("Plano");
  flat->SetFlat(true);
  flat->SetStyle("background-color: transparent; color: #0959cc; border-color: #0959cc; border-width: 1.0;");
  CButton* custom = next("Firmar");
  custom->SetStyle(BuildStyleText({22, 116, 184}, {255, 255, 255}, {16, 43, 94}, true, 14) +
                   " border-radius: 8.0; border-width: 2.0;");
}

void CGalleryWindow::AddLabels(int y) {
  AddSection("Etiquetas: alineadas, varias lineas, fondo oscuro, deshabilitada", y);
  const int top = y + 26;
  const char* aligns[] = {"left", "center", "right"};
  for (int i = 0; i < 3; ++i) {
    CLabel* label = AddLabel(std::string("Texto ") + (i == 0   ? "a la izquierda"
                                                      : i == 1 ? "centrado"
                                                               : "a la derecha"),
                             {20 + i * 190, top, 180, 28});
    label->SetStyle(std::string("background-color: #e3e8f0; text-align: ") + aligns[i] + ";");
  }
  AddLabel("Primera linea\r\nSegunda linea\nTercera linea", {600, top, 170, 66});
  CLabel* dark = AddLabel("Texto claro sobre fondo oscuro", {790, top, 310, 28});
  dark->SetBackground({16, 43, 94, 255});
  dark->SetAlignment(1);
  CLabel* disabled = AddLabel("Etiqueta deshabilitada", {20, top + 36, 250, 24});
  disabled->SetEnabled(false);
  CLabel* italic = AddLabel("Cursiva serif en rojo", {300, top + 36, 250, 24});
  italic->SetStyle("font-family: serif; font-style-italic: true; font-size: 15; color: #9d172b;");
  CLabel* mono = AddLabel("monoespaciada 0123", {790, top + 36, 310, 24});
  mono->SetStyle("font-family: monospace; text-align: right;");
}

void CGalleryWindow::AddEdits(int y) {
  AddSection("Campos: marcador, seleccion, contrasena, solo digitos, deshabilitado", y);
  const int top = y + 26;
  CEdit* placeholder = AddEdit("", {20, top, 200, 30});
  placeholder->SetPlaceholder("Escriba su nombre");
  CEdit* selection = AddEdit("Firma digital", {240, top, 200, 30});
  selection->SetSelection(0, 5);
  CEdit* password = AddEdit("", {460, top, 200, 30});
  password->SetPassword(true);
  password->SetText("contraseña");
  CEdit* digits = AddEdit("", {680, top, 200, 30});
  digits->SetDigitsOnly(true);
  digits->SetText("12345678");
  CEdit* disabled = AddEdit("Solo lectura", {900, top, 200, 30});
  disabled->SetEnabled(false);
}

void CGalleryWindow::AddLists(int y) {
  AddSection("Lista desplegable abierta; listas en modo lista, tabla y tarjetas", y);
  const int top = y + 26;
  CListView* plain = AddListView({20, top + 44, 220, 400});
  plain->SetMode(CListView::kList);
  for (const char* text : {"Primera pagina", "Todas las paginas", "Ultima pagina", "Paginas especificas",
                           "Sin sello visible", "Lector 1", "Lector 2", "Archivo PKCS#12"}) {
    CListView::Item item;
    item.text = text;
    plain->AddItem(item);
  }
  plain->SetSelectedIndex(6);

  openCombo =
      AddComboBox({"Primera pagina", "Todas las paginas", "Ultima pagina", "Paginas especificas", "Ninguna"},
                  {20, top, 220, 30});
  openCombo->SetSelectedIndex(1);

  CListView* table = AddListView({260, top, 840, 190});
  table->SetColumns({"Titular", "Emisor", "Validez", "Serie"});
  table->SetColumnWidth(0, 260);
  table->SetColumnWidth(1, 240);
  table->SetColumnWidth(2, 200);
  const char* names[] = {"ANA MARIA QUISPE", "JOSE LUIS HUAMAN", "ROSA ELENA TORRES", "CARLOS ÑAHUI",
                         "LUCIA PAREDES",    "MIGUEL ROJAS",     "SOFIA CCAHUANA",    "PEDRO CASTILLO"};
  for (int i = 0; i < 8; ++i) {
    table->AddItem(Certificate(names[i], "ECEP-RENIEC CA Class 1", "2025-01-10 / 2029-01-10",
                               "0" + std::to_string(1234567 + i * 7919)));
  }
  table->SetSelectedIndex(2);

  cards = AddListView({260, top + 210, 840, 230});
  cards->SetColumns({"Titular", "Emisor", "Validez", "Serie"});
  cards->SetMode(CListView::kCards);
  cards->AddItem(
      Certificate("ANA MARIA QUISPE", "ECEP-RENIEC CA Class 1", "2025-01-10 / 2029-01-10", "01AB34"));
  cards->AddItem(
      Certificate("JOSE LUIS HUAMAN", "", "2024-06-01 / 2028-06-01", "4F2A9C7D11E05B3A8D6C2E9F0A1B3C5D7E9F"));
  cards->AddItem(Certificate("", "Autoridad de prueba", "2026-01-01 / 2027-01-01", "77"));
  cards->SetSelectedIndex(0);
}
