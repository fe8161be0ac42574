#include "app/console.h"

#include <windows.h>

namespace kestrion {

void PrepareConsoleOutput() { SetConsoleOutputCP(CP_UTF8); }

}  // namespace kestrion
