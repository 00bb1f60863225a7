// The kit a single-file installer carries as resources (config/kit_resources.h).
#pragma once

#include "config/kit_files.h"

namespace app {

// Fills kit from the program's own resources when it carries a configuration:
// true, and kit->embedded is set. A program without one (the plain build) gets
// false and kit untouched. Whether the resource exists is the whole test.
bool LoadEmbeddedKit(KitFiles* kit);

}  // namespace app
