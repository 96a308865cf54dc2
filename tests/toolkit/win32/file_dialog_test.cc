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

// DialogAnswer finds the thread's open file dialog from a timer and hands it to `act`.
class DialogAnswer {
 public:
  explicit DialogAnswer(std::function<void(HWND)> act) {
    current_ = std::move(act);
    timer_ = SetTimer(nullptr, 0, 20, &DialogAnswer::Tick);
  }
  ~DialogAnswer() {
    KillTimer(nullptr, timer_);
    current_ = nullptr;
  }

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND w, LPARAM out) {
          wchar_t name[16] = {};
          GetClassNameW(w, name, 16);
          if (std::wstring(name) != L"#32770" || !IsWindowVisible(w)) return TRUE;
          *reinterpret_cast<HWND*>(out) = w;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    if (found && current_) {
      auto act = std::move(current_);
      current_ = nullptr;
      act(found);
    }
  }
  static inline std::function<void(HWND)> current_;
  UINT_PTR timer_;
};

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
  OpenFileResult chosen;
  {
    DialogAnswer answer([&](HWND dialog) {
      wchar_t text[128] = {};
      GetWindowTextW(dialog, text, 128);
      title = text;
      HWND combo = GetDlgItem(dialog, 0x470);  // the file type list
      for (LRESULT i = 0, n = SendMessageW(combo, CB_GETCOUNT, 0, 0); i < n; ++i) {
        wchar_t item[128] = {};
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        types.emplace_back(item);
      }
      PostMessageW(dialog, WM_COMMAND, IDOK, 0);  // the preset name is the answer
    });
    chosen = ShowOpenFileDialog({"Elegir certificado", Narrow(file), "*.pfx;*.p12"});
  }
  EXPECT_TRUE(chosen.chosen) << chosen.error;
  EXPECT_EQ(chosen.path, Narrow(file));
  EXPECT_EQ(chosen.error, "");
  EXPECT_EQ(title, L"Elegir certificado");
  EXPECT_EQ(types, (std::vector<std::wstring>{L"Archivos (*.pfx, *.p12)", L"Archivos PFX (*.pfx)",
                                              L"Archivos P12 (*.p12)", L"Todos los archivos (*)"}));

  OpenFileResult cancelled;
  {
    DialogAnswer answer([&](HWND dialog) {
      wchar_t text[128] = {};
      GetWindowTextW(dialog, text, 128);
      title = text;
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    cancelled = ShowOpenFileDialog({"", "", "*.pdf"});
  }
  EXPECT_FALSE(cancelled.chosen);
  EXPECT_EQ(cancelled.path, "");
  EXPECT_EQ(cancelled.error, "") << "a cancel is not an error";
  EXPECT_EQ(title, L"Abrir archivo");

  DeleteFileW(file.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace Vy
