#include "settings/program_registry.h"
#include "settings/registry_file.h"

namespace kestrion {

std::unique_ptr<Registry> OpenProgramRegistry() {
  return std::make_unique<Registry>(
      std::make_unique<RegistryFileBackend>(DefaultRegistryFilePath()));
}

}  // namespace kestrion
