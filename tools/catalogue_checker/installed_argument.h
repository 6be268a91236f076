#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "catalogue_entry.h"

namespace zvu {

// One installed product as the checker is told of it.
struct InstalledProduct {
  std::string name;
  ProductVersion version;
};

// Reads "NAME=a.b.c.d": a non-empty name, then four unsigned 32-bit decimal
// numbers separated by dots, nothing else. nullopt for anything else.
std::optional<InstalledProduct> ParseInstalledArgument(std::string_view argument);

}  // namespace zvu
