#include "app/console.h"

namespace kestrion {

void PrepareConsoleOutput() {}

}  // namespace kestrion
