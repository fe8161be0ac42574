// <wininet.h> for the files that call WinINet. WinINet is delay-loaded (CMakeLists.txt): its
// calls must reach the delay-load library's stubs, not the import slots behind them. Declared
// as imports, the 32-bit calls go to the slots directly, and GNU ld leaves a 32-bit program's
// delay-load slots empty when they are reached that way, so the first call jumps to address 0.
// Declared as plain functions, both widths call the stubs, which load the library on first use.
#pragma once

#include <windows.h>

#pragma push_macro("DECLSPEC_IMPORT")
#undef DECLSPEC_IMPORT
#define DECLSPEC_IMPORT
#include <wininet.h>
#pragma pop_macro("DECLSPEC_IMPORT")
