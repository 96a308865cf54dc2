#include <conio.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>

#include "core/bytes.h"
#include "core/text.h"
#include "examples/quillmark/progress.h"
#include "examples/quillmark/secrets.h"

bool AskSecret(const std::string& prompt, std::string* secret, std::string*) {
  SecureClear(secret);
  std::fputs(prompt.c_str(), stderr);
  std::u16string typed;
  for (wint_t c = _getwch(); c != L'\r' && c != L'\n' && c != WEOF; c = _getwch()) {
    if (c == L'\b') {
      if (!typed.empty()) typed.pop_back();
    } else {
      typed.push_back(char16_t(c));
    }
  }
  std::fputs("\n", stderr);
  *secret = Utf16ToUtf8(typed);
  if (!typed.empty()) SecureClear(typed.data(), typed.size() * sizeof(char16_t));
  return true;
}

void ForgetVariable(const std::string& variable) {
  _putenv_s(variable.c_str(), "");
}

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}
