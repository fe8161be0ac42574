#pragma once

namespace kestrion {

// The first thing every program does: from now on the system's libraries are taken from the
// system folder only, never from the program's own folder or the current one, where a file
// of the same name may have been put (a Downloads folder, a zip unpacked beside others).
// The libraries that are not always taken from there are delay-loaded, so none of them is
// loaded before this. Nothing to do elsewhere.
void RestrictLibrarySearch();

}  // namespace kestrion
