#include "kit_check.h"

namespace kit {

void CheckOnline(Report& report) { report.online = true; }

}  // namespace kit
