// zarn-kit pack writes resources with Windows' own resource writer: on Linux it is
// zarn-kit.exe under Wine that packs (make kit builds the single-file installer
// with the resource compiler instead).
#include <cstdio>

#include "kit_exe.h"

namespace kit {

int Pack(const std::vector<std::u16string>&) {
  std::fprintf(stderr, "zarn-kit pack runs on Windows: use zarn-kit.exe (under Wine on Linux), or make kit\n");
  return 3;
}

}  // namespace kit
