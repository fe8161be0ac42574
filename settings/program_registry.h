#pragma once

#include <memory>

#include "settings/registry.h"

namespace kestrion {

// An accessor of the current user's own store: the registry on Windows, the settings file
// elsewhere.
std::unique_ptr<Registry> OpenProgramRegistry();

}  // namespace kestrion
