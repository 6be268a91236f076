#include "verified_update_lookup.h"

#include <new>

#include "check_for_updates.h"
#include "update_catalogue.h"

namespace zvu {
namespace {

// 64 hexadecimal digits, as the catalogue gives a sha256. Anything else
// cannot be verified, so the update counts as listed without one.
bool IsWellFormedDigest(const std::string& digest) {
  if (digest.size() != 64) return false;
  for (char c : digest) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  return true;
}

}  // namespace

bool ServiceCatalogueSource::Fetch(std::string& text, HANDLE stopEvent) {
  return FetchCatalogueText(text, stopEvent);
}

LookupOutcome LookUpUpdate(const std::string& catalogueText, const InstallRequest& request,
                           UpdateEntry* found) {
  if (catalogueText.empty()) return LookupOutcome::kNotListed;
  try {
    UpdateCatalogue catalogue;
    // A partly read catalogue is not trusted for an installation.
    if (!catalogue.ParseCatalogue(catalogueText)) return LookupOutcome::kNotListed;
    for (const UpdateEntry& update : catalogue.ApplicableUpdates()) {
      if (update.name != request.product || !(update.version == request.version)) continue;
      if (!IsWellFormedDigest(update.sha256)) return LookupOutcome::kNoDigest;
      if (!update.IsApplicableUpdate()) return LookupOutcome::kNotApplicable;
      *found = update;
      return LookupOutcome::kVerified;
    }
  } catch (const std::bad_alloc&) {
  }
  return LookupOutcome::kNotListed;
}

LookupOutcome FindRequestedUpdate(InstallCatalogueSource& source, const InstallRequest& request,
                                  HANDLE stopEvent, UpdateEntry* found) {
  const LookupOutcome held = LookUpUpdate(source.Held(), request, found);
  if (held != LookupOutcome::kNotListed) return held;
  std::string fetched;
  if (!source.Fetch(fetched, stopEvent)) return LookupOutcome::kNotListed;
  return LookUpUpdate(fetched, request, found);
}

}  // namespace zvu
