#include "settings/program_registry.h"
#include "settings/registry_win.h"

namespace kestrion {

std::unique_ptr<Registry> OpenProgramRegistry() {
  return std::make_unique<Registry>(MakeCurrentUserRegistry());
}

}  // namespace kestrion
