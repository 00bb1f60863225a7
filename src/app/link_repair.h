// The link check made before the download starts, shared by the installer window
// and the kit checker so that both see the links the engine will be given.
#pragma once

#include <string>

namespace app {

// Each link that does not parse gets "http://" put in front of it, the download
// link even when it still does not parse then (the engine receives what was tried
// last). An empty fallback stays empty: there is nothing to mend. True when at
// least one of the two links parses afterwards, i.e. the engine has something it
// can use; false means "Unrecognized URL".
bool RepairLinks(std::u16string* downloadLink, std::u16string* fallbackLink);

}  // namespace app
