#include "app/link_repair.h"

#include "download/download_manager.h"

namespace app {

bool RepairLinks(std::u16string* downloadLink, std::u16string* fallbackLink) {
  bool usable = LinkParses(*downloadLink);
  if (!usable) {
    *downloadLink = u"http://" + *downloadLink;
    usable = LinkParses(*downloadLink);
  }
  // The fallback is mended whether or not the download link parses: it is the
  // link the engine turns to when the first one yields no size, and a bare
  // "host/path" there would otherwise make that fallback fail for certain.
  if (LinkParses(*fallbackLink)) return true;
  if (fallbackLink->empty()) return usable;
  *fallbackLink = u"http://" + *fallbackLink;
  return LinkParses(*fallbackLink) || usable;
}

}  // namespace app
