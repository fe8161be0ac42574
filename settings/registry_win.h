#pragma once

#include <memory>

#include "settings/registry.h"

namespace kestrion {

// The current user's registry, through the wide functions.
std::unique_ptr<RegistryBackend> MakeCurrentUserRegistry();

}  // namespace kestrion
