#pragma once

namespace kestrion {

// Makes the console show the UTF-8 the program writes (a Windows console otherwise reads it
// in its own code page); nothing to do elsewhere.
void PrepareConsoleOutput();

}  // namespace kestrion
