// Started by core_tests with the words of arguments_words.h: exits 0 when Utf8Arguments gives
// them back exactly. The program has no UTF-8 manifest, so its narrow argv cannot hold them.
#include <cstdlib>

#include "core/arguments.h"
#include "tests/core/arguments_words.h"

int main(int argc, char** argv) {
  Utf8Arguments arguments(argc, argv);
  if (arguments.Count() != 1 + static_cast<int>(std::size(kArgumentWords))) return 2;
  for (size_t i = 0; i < std::size(kArgumentWords); ++i)
    if (arguments.Vector()[i + 1] != std::string(kArgumentWords[i])) return 3;
  return 0;
}
