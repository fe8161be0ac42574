#include "app/library_search.h"

namespace kestrion {

void RestrictLibrarySearch() {}

}  // namespace kestrion
