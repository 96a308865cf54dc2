// The file-open dialog of the system, answered from a timer while it runs its own loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "toolkit/file_dialog.h"
#include "toolkit/win32/wide.h"

namespace Vy {
namespace {

// Answering shows the dialog and, from a timer of its modal loop, hands it to `act` once.
std::function<void(HWND)> g_act;
OpenFileResult Answering(const OpenFileRequest& request, std::function<void(HWND)> act) {
  g_act = std::move(act);
  UINT_PTR timer = SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = FindWindowW(L"#32770", nullptr);
    if (!g_act || !dialog || !IsWindowVisible(dialog)) return;
    auto act = std::move(g_act);
    g_act = nullptr;
    act(dialog);
  });
  OpenFileResult result = ShowOpenFileDialog(request);
  KillTimer(nullptr, timer);
  return result;
}

std::wstring Title(HWND w) {
  wchar_t text[128] = {};
  GetWindowTextW(w, text, 128);
  return text;
}

std::wstring TempFolder() {
  wchar_t buffer[MAX_PATH];
  DWORD n = GetTempPathW(MAX_PATH, buffer);
  return std::wstring(buffer, n) + L"vy-dialog-\u00f1\\";
}

TEST(FileDialog, ChoosesAFileWithAccentsAndCancels) {
  std::wstring folder = TempFolder();
  std::wstring file = folder + L"a\u00f1o \u00f1and\u00fa.p12";
  CreateDirectoryW(folder.c_str(), nullptr);
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);

  std::wstring title;
  std::vector<std::wstring> types;
  OpenFileResult chosen = Answering({"Elegir certificado", Narrow(file), "*.pfx;*.p12"}, [&](HWND dialog) {
    title = Title(dialog);
    HWND combo = GetDlgItem(dialog, 0x470);  // the file type list
    for (LRESULT i = 0, n = SendMessageW(combo, CB_GETCOUNT, 0, 0); i < n; ++i) {
      wchar_t item[128] = {};
      SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      types.emplace_back(item);
    }
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);  // the preset name is the answer
  });
  EXPECT_TRUE(chosen.chosen) << chosen.error;
  EXPECT_EQ(chosen.path, Narrow(file));
  EXPECT_EQ(title, L"Elegir certificado");
  EXPECT_EQ(types, (std::vector<std::wstring>{L"Archivos (*.pfx, *.p12)", L"Archivos PFX (*.pfx)",
                                              L"Archivos P12 (*.p12)", L"Todos los archivos (*)"}));

  OpenFileResult cancelled = Answering({"", "", "*.pdf"}, [&](HWND dialog) {
    title = Title(dialog);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_FALSE(cancelled.chosen);
  EXPECT_EQ(cancelled.path, "");
  EXPECT_EQ(cancelled.error, "") << "a cancel is not an error";
  EXPECT_EQ(title, L"Abrir archivo");

  DeleteFileW(file.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace Vy
